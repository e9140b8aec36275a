// Finding a device and loading its records.
#include "app/uf_VYN.h"

#include "app/MyUtils.h"
#include "app/Panel.h"
#include "app/RoadWindow.h"
#include "app/VYN16App.h"
#include "app/uf_InputIP.h"
#include "app/ufrm_TlacMenu.h"
#include "app/ufrm_Tlacitko.h"
#include "lang/uLanguage.h"
#include "link/u_ARPTx.h"
#include "link/uf_DataSender.h"
#include "model/u_DevData.h"
#include "model/u_DevData_Text.h"
#include "platform/Exception.h"
#include "platform/HttpClient.h"
#include "platform/MessageBox.h"

#include <QCheckBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>
#include <exception>

namespace {

const QString DefaultProposedIP = QStringLiteral("192.168.1.254");
// The port the device's TCP server listens on unless the model says
// otherwise.
constexpr quint16 DefaultMeritPort = 10001;
// The identity every supported device reports.
constexpr int32_t SupportedDevIdPrefix = 0xEE03;

// Operator-typed MAC text: a failed or partial parse must not touch the
// device's address, and a pair that is no hex number is just bad text.
bool TryParseMAC(const QString& Text, std::array<uint8_t, 6>& MAC)
{
    std::array<uint8_t, 6> parsed{};
    try {
        if (!StrToMAC(Text, parsed))
            return false;
    } catch (const std::exception&) {
        return false;
    }
    MAC = parsed;
    return true;
}

enum class TIdentity { Supported, WrongDevice, WrongVersion };

// The versions this program is made for, by device type.
TIdentity CheckVersion(int32_t Type, int32_t Version)
{
    switch (Type) {
    case 201: return Version == 16 || Version == 17 ? TIdentity::Supported : TIdentity::WrongVersion;
    case 317: return Version == 2 ? TIdentity::Supported : TIdentity::WrongVersion;
    default: return TIdentity::WrongDevice;
    }
}

// A translated text may carry other percent signs; only "%s" is ours.
QString WithVersion(const QString& Text, int32_t Version)
{
    QString result = Text;
    return result.replace(QStringLiteral("%s"), QString::number(Version / 10) + u'.' + QString::number(Version % 10));
}

bool DefaultInputQuery(QWidget* Owner, const QString& Title, const QString& Prompt, QString& Text)
{
    bool ok = false;
    const QString typed = QInputDialog::getText(Owner, Title, Prompt, QLineEdit::Normal, Text, &ok);
    if (ok)
        Text = typed;
    return ok;
}

// The document the device stores, into the window's editor. False with the
// failure's text when it could not be fetched.
bool FetchSoapDocument(TfVYN& Main, TfDataSender& Window, const QString& IPText, QString& Error)
{
    // One paint of the whole window shows the caption and the empty bar,
    // which would otherwise paint itself at once on its own change.
    {
        Window.setUpdatesEnabled(false);
        const auto enable = qScopeGuard([&] { Window.setUpdatesEnabled(true); });
        Window.Progressbar->setValue(Window.Progressbar->minimum());
        Window.PrepareTransfer2(IPText);
        Window.SetCaption(Lang("StahujiSOAPDokum", "Stahuji SOAP dokument ..."));
    }
    Main.FProgressBar = Window.Progressbar;
    Window.repaint();
    Main.FProgressPainted.start();

    const QString url = QStringLiteral("http://") + IPText + u':' +
                        QString::fromLatin1(Main.FDataManager->GetValue(QStringLiteral("web_port")).ToText()) +
                        QStringLiteral("/postsoap.xml");
    platform::HttpOptions options;
    options.ReadTimeoutMs = 10000;
    options.LocalAddress = LocalAdapterIP;
    QByteArray body;
    try {
        body = platform::HttpGet(url, options, Main.SoapTransferEvents(true));
    } catch (const std::exception& e) {
        Main.FProgressBar = nullptr;
        Window.Progressbar->setRange(0, 100);
        Main.FDeviceSoapDoc.clear();
        Error = ExceptionText(e);
        return false;
    }
    Main.FProgressBar = nullptr;
    Window.Progressbar->setRange(0, 100);
    Main.FDeviceSoapDoc = body;
    Main.SetSoapDocument(Main.FDeviceSoapDoc);
    return true;
}

} // namespace

TfVYN::TInputQuery TfVYN::InputQueryHook;

void TfVYN::WireDeviceCommands()
{
    menuIP->OnClick = [this](QObject*) { Guarded([this] { menuIPTlacClick(); }); };
    menuMAC->OnClick = [this](QObject*) { Guarded([this] { menuMACTlacClick(); }); };
    cmdLoadVals->OnClick = [this](QObject*) { Guarded([this] { cmdLoadValsTlacClick(); }); };
}

void TfVYN::menuIPTlacClick()
{
    if (RoadBusy())
        return;
    TRoadGuard road(*this);

    QString text = DefaultProposedIP;
    if (FLastIP != 0)
        text = IPAddrToStr(FLastIP);
    else if (FDevIP != 0)
        text = IPAddrToStr(FDevIP);
    uint16_t port = DevicePort;
    bool portFlag = false;
    if (!TfInputIP::ExecutePort(text, port, portFlag, Lang("Vyhledánízaříze", "Vyhledání zařízení"),
                                Lang("ZadejteIPadres", "Zadejte IP adresu zařízení:"),
                                Lang("NestandardniPort", "Nestandardní port"),
                                QString()))
        return;
    DevicePort = portFlag ? port : DefaultDevicePort;

    // The lenient routines would read "10.1" or octal parts as some other
    // device's address.
    uint32_t ip = 0;
    if (text.isEmpty() || !TryStrictStrToIP(text, ip) || !TARPManager::IsValidIP(text)) {
        ShowMessageBox(Lang("Totoneníplatná", "Toto není platná IP adresa"), platform::MB_ICONEXCLAMATION,
                       Lang("Upozornění", "Upozornění"), this);
        return;
    }
    FDevIP = ip;
    FLastIP = FDevIP;
    FindDevice(FDevIP, nullptr, {});
    DeselectLMenu();
    UpdateDeviceState();
}

void TfVYN::menuMACTlacClick()
{
    if (RoadBusy())
        return;
    TRoadGuard road(*this);

    QString text;
    if (!IsZeroMAC(FLastMAC))
        text = MACToStr(FLastMAC);
    else if (!IsZeroMAC(FDevMAC))
        text = MACToStr(FDevMAC);
    const TInputQuery& query = InputQueryHook ? InputQueryHook : TInputQuery(DefaultInputQuery);
    if (!query(this, Lang("Vyhledánízaříze0", "Vyhledání zařízení"),
               Lang("ZadejteMACadre", "Zadejte MAC adresu zařízení:"), text))
        return;

    std::array<uint8_t, 6> mac{};
    if (!TryParseMAC(text, mac)) {
        ShowMessageBox(Lang("Totoneníplatná0", "Toto není platná MAC adresa"), platform::MB_ICONEXCLAMATION,
                       Lang("Upozornění0", "Upozornění"), this);
        return;
    }
    FDevMAC = mac;
    FLastMAC = FDevMAC;
    FindDevice(0, nullptr, FDevMAC);
    DeselectLMenu();
    UpdateDeviceState();
}

void TfVYN::cmdLoadValsTlacClick()
{
    if (RoadBusy())
        return;
    TRoadGuard road(*this);
    FindDevice(FDevIP, nullptr, FDevMAC);
    UpdateDeviceState();
}

bool TfVYN::FindDevice(uint32_t IP, TfDataSender* Sender, const std::array<uint8_t, 6>& MAC)
{
    // The save and set-IP roads call in with their own guard held.
    TRoadGuard road(*this);

    bool result = false;
    FDeviceLoaded = false;
    FDevMAC = MAC;
    FDevIP = IP;
    if (chEditSoapDoc)
        chEditSoapDoc->setChecked(false);
    FMeritFailCount = 0;
    if (IsZeroMAC(MAC) && IP == 0)
        return false;

    const TRoadWindow window(this, Sender, FDataManager.get());

    try {
        if (!IsZeroMAC(MAC)) {
            if (IP == 0) {
                window->show();
                DevicePort = DefaultDevicePort;
                QString found;
                window->FindIPByMAC(MACToStr(FDevMAC), QString(), found, false);
                if (found.isEmpty() || !TARPManager::IsValidIP(found)) {
                    window.Message(found.isEmpty() ? Lang("Zařízenínebylo2", "Zařízení nebylo nalezeno")
                                                   : Lang("ChybnáIPadresa", "Chybná IP adresa."),
                                   0, platform::MB_ICONHAND);
                    window.CloseOwn();
                    return false;
                }
                FDevIP = StrToIP(found);
            }
        } else {
            window->CloseSocket();
            window->show();
            window->Port = DevicePort;
            QString found;
            window->FindMACByIP(IPToStr(FDevIP), QString(), found, false);
            if (found.isEmpty() || !TryParseMAC(found, FDevMAC)) {
                window.Message(found.isEmpty() ? Lang("Zařízenínebylo1", "Zařízení nebylo nalezeno")
                                               : Lang("ChybnáMACadres", "Chybná MAC adresa."),
                               0, platform::MB_ICONHAND);
                window.CloseOwn();
                return false;
            }
        }

        const QString ipText = IPToStr(FDevIP);
        window->show();
        window->CloseSocket();
        window->Port = DevicePort;
        window->PrepareTransfer(ipText);
        window->ReadAllRecords();
        FDeviceLoaded = window->RecordsDone >= window->RecordsTotal;
        result = FDeviceLoaded;

        FDeviceSoapDoc.clear();
        bool hasSoap = false;
        if (FDataManager && FDataManager->FindItem(QStringLiteral("soap_file_available")))
            hasSoap = FDataManager->GetValue(QStringLiteral("soap_file_available")).ToBool();
        SetSoapDocument(QByteArray());

        if (FDeviceLoaded) {
            if (txtSOAP_URL)
                txtSOAP_URL->clear();
            if (txtSoapIP)
                txtSoapIP->clear();
            QString error;
            if (hasSoap && !FetchSoapDocument(*this, *window, ipText, error))
                window.Message(Lang("NepodariloSeStah", "Nepodařilo se stáhnout SOAP dokument ze zařízení.") +
                                   QStringLiteral("\r\n") + error,
                               10, platform::MB_ICONEXCLAMATION);
        } else {
            QString text = Lang("Komunikaceseza", "Komunikace se zařízením selhala!");
            if (!ARPManager().IsLocalSubnet(FDevIP))
                text = Lang("Komunikaceseza0", "Komunikace se zařízením selhala!") + QStringLiteral("\r\n") +
                       Lang("Pravděpodobnoup", "Pravděpodobnou příčinou je nekompatibilní síťové nastavení "
                                                  "zařízení (IP: ") +
                       ipText + u')';
            window.Message(text, 0, platform::MB_ICONEXCLAMATION);
        }
        window.CloseOwn();
    } catch (const std::exception& e) {
        FProgressBar = nullptr;
        window.Message(ExceptionText(e), 0, platform::MB_ICONHAND);
        window.CloseOwn();
    }
    return result;
}

void TfVYN::UpdateDeviceState()
{
    try {
        const auto has = [this](const char* Path) {
            return FDataManager && FDataManager->FindItem(QString::fromLatin1(Path));
        };
        const auto value = [this](const char* Path) {
            return FDataManager->GetValue(QString::fromLatin1(Path)).ToInt32();
        };
        // A model that does not describe the identity loads any device.
        if (FDeviceLoaded && has("SetupRecord4.device_type") && has("SetupRecord4.devid_prefix")) {
            const TIdentity identity =
                value("SetupRecord4.devid_prefix") != SupportedDevIdPrefix
                    ? TIdentity::WrongDevice
                    : CheckVersion(value("SetupRecord4.device_type"), value("SetupRecord4.device_version"));
            if (identity == TIdentity::WrongDevice) {
                FDeviceLoaded = false;
                ShowMessageBox(Lang("NespravneZarizeni", "Nastavovací software není určen pro toto zařízení."),
                               platform::MB_ICONHAND, Lang("Chyba", "Error"), this);
            } else if (identity == TIdentity::WrongVersion) {
                FDeviceLoaded = false;
                ShowMessageBox(WithVersion(Lang("NespravnaVerzeZarizeni",
                                                   "Nastavovací software není určen pro tuto verzi VYN (%s)."),
                                           value("SetupRecord4.device_version")),
                               platform::MB_ICONEXCLAMATION, Lang("Chyba", "Error"), this);
            }
        }

        if (FDeviceLoaded) {
            pnlDevSetup->raise();
            pnlDevSetup->show();
            pnlNone->hide();
            lblMACTitle->setText(MACToStr(FDevMAC).toUpper());
            DataToControls();
            try {
                cmdMerit->SetCaption(Lang("Měřit", "Měřit"));
                cmdMerit->show();
                lblMerit->clear();
                lblMerit->hide();
                timMerit->stop();
                if (tcpMerit->Connected())
                    tcpMerit->Disconnect();
                tcpMerit->Host = IPToStr(FDevIP);
                tcpMerit->Port = DefaultMeritPort;
                if (has("unit_port"))
                    tcpMerit->Port = quint16(value("unit_port"));
            } catch (const std::exception&) {
                // The temperature display is an extra; the device stays loaded.
            }
            return;
        }
    } catch (const std::exception&) {
        FDeviceLoaded = false;
        pnlNone->raise();
        pnlNone->show();
        pnlDevSetup->hide();
        throw;
    }

    pnlNone->raise();
    pnlNone->show();
    pnlDevSetup->hide();
    try {
        cmdMerit->hide();
        lblMerit->hide();
        timMerit->stop();
        if (tcpMerit->Connected())
            tcpMerit->Disconnect();
    } catch (const std::exception&) {
        // Nothing of the temperature display may keep the window from its
        // no-device look.
    }
}
