#include "app/uf_VYN.h"

#include "app/MyUtils.h"
#include "app/VYN16App.h"
#include "app/Panel.h"
#include "app/ufrm_LMenuH.h"
#include "app/ufrm_TlacMenu.h"
#include "app/ufrm_Tlacitko.h"
#include "lang/uLanguage.h"
#include "link/uf_DataSender.h"
#include "model/u_DevData.h"
#include "model/uf_DM.h"
#include "platform/Exception.h"
#include "platform/IniFile.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <limits>

TfDM* fDM = nullptr;

namespace {

const QString MappingFileName = QStringLiteral("VYN.dmi");
const QString LastSection = QStringLiteral("last");
const QString LastIPKey = QStringLiteral("ip");
const QString LastMACKey = QStringLiteral("mac");
const QString DefaultLastIP = QStringLiteral("192.168.1.254");
const QString DefaultLastMAC = QStringLiteral("00-00-00-00-00-00");

} // namespace

TTcpClient::TTcpClient(QObject* parent, const QString& name)
    : QObject(parent)
{
    setObjectName(name);
}

void TfVYN::TDataModuleOwner::Create()
{
    Reset();
    FModule = std::make_unique<TfDM>();
    fDM = FModule.get();
}

TfVYN::TDataModuleOwner::~TDataModuleOwner()
{
    Reset();
}

void TfVYN::TDataModuleOwner::Reset()
{
    if (fDM == FModule.get())
        fDM = nullptr;
    FModule.reset();
}

TfVYN::TfVYN(QWidget* Owner, const QString& SettingsFile)
    : QWidget(Owner, Qt::Window), FSettingsFile(SettingsFile.isEmpty() ? DefaultSettingsFile() : SettingsFile)
{
    setObjectName(QStringLiteral("fVYN"));
    BuildLayout();

    FDM.Create();
    LoadMappingDocument();

    const QDomElement mapping = fDM->XML.DocumentElement().firstChildElement(QStringLiteral("device_mapping"));
    if (mapping.isNull())
        FailMapping(QStringLiteral("DeviceMappingNot"), QStringLiteral("Device mapping not found."));
    if (!mapping.hasAttribute(QStringLiteral("device_type")))
        FailMapping(QStringLiteral("DeviceTypeNotSpe"), QStringLiteral("Device type not specified."));
    if (mapping.attribute(QStringLiteral("device_type")) != QLatin1String("VYN"))
        FailMapping(QStringLiteral("WrongDeviceType"), QStringLiteral("Wrong device type."));
    const QDomElement manager = mapping.firstChildElement(QStringLiteral("datamanager"));
    if (manager.isNull())
        FailMapping(QStringLiteral("DataManagerNotDe"), QStringLiteral("Data manager not defined."));

    FDataManager = std::make_unique<TDataManager>(manager);
    SetControlLimits();

    // The create event follows a constructor that completed.
    FormCreate();
}

TfVYN::~TfVYN()
{
    // Destroying the widgets moves the focus, and a page's focus-out handler
    // would then run on a window already half gone: let it run now.
    if (QWidget* focused = QApplication::focusWidget(); focused && isAncestorOf(focused))
        focused->clearFocus();
    FDataManager.reset();
    FDM.Reset();
}

QString TfVYN::DefaultSettingsFile()
{
    return ProgramFolder() + QStringLiteral("vyn.ini");
}

// A replacement document in the working directory takes the place of the
// built-in one. A failure counts only when it leaves no document to check.
void TfVYN::LoadMappingDocument()
{
    try {
        if (QFileInfo(MappingFileName).isFile())
            fDM->XML.LoadFromFile(MappingFileName);
        fDM->XML.Open();
    } catch (const std::exception&) {
        if (fDM->XML.DocumentElement().isNull()) {
            PostCloseRequest();
            throw;
        }
    }
}

// The window asks to be closed before it reports the failure, so that a
// caller which carries on with the window still sees it go.
void TfVYN::FailMapping(const QString& Key, const QString& Default)
{
    PostCloseRequest();
    throw Exception(Language.GetText(Key, Default));
}

void TfVYN::PostCloseRequest()
{
    // Qt drops the request together with the window when the window is
    // destroyed first.
    QCoreApplication::postEvent(this, new QCloseEvent);
}

void TfVYN::FormCreate()
{
    SetLanguageIniName(FSettingsFile);
    lmTempSet->SetInactive(true);
    // Qt keeps a tool tip up for at least 10 s already; nothing to set for
    // the hint pause.
    DeselectLMenu();
    FDeviceLoaded = false;
    UpdateDeviceState();

    for (TfrmTlacMenu* item : {menuIP, menuMAC, menuSetIP}) {
        item->SetOnMouseEnter([this](QObject* sender) { TopMenuEnter(sender); });
        item->SetOnMouseLeave([this](QObject* sender) { TopMenuLeave(sender); });
    }
    WireDeviceCommands();
    WireSaveCommands();

    LoadLanguageFromIni(FSettingsFile);
    LanguageLoaded();

    try {
        FLastMAC = {};
        FLastIP = 0;
        const platform::IniFile ini(FSettingsFile);
        FLastIP = StrToIPAddr(ini.ReadString(LastSection, LastIPKey, DefaultLastIP));
        // Only a whole MAC counts: a partly readable one was never accepted
        // by the search and must not come back as a made-up address.
        std::array<uint8_t, 6> mac{};
        if (StrToMAC(ini.ReadString(LastSection, LastMACKey, DefaultLastMAC), mac))
            FLastMAC = mac;
    } catch (const std::exception&) {
        // An unreadable remembered address only costs the proposal.
    }

    mSelAdaptClick(mSelAdapt);
}

void TfVYN::FormClose()
{
    timMerit->stop();
    if (tcpMerit->Connected())
        tcpMerit->Disconnect();

    SaveLanguageToIni(FSettingsFile);

    platform::IniFile ini(FSettingsFile);
    if (FLastIP != 0)
        ini.WriteString(LastSection, LastIPKey, IPAddrToStr(FLastIP));
    if (!IsZeroMAC(FLastMAC))
        ini.WriteString(LastSection, LastMACKey, MACToStr(FLastMAC));
}

void TfVYN::closeEvent(QCloseEvent* event)
{
    // A road still runs on this window's model; it ends first.
    if (FRoadBusy) {
        event->ignore();
        return;
    }
    try {
        FormClose();
    } catch (const std::exception& e) {
        // The settings could not be stored; say so, but let the operator
        // leave all the same.
        ShowException(e);
    }
    event->accept();
}

void TfVYN::TopMenuEnter(QObject* Sender)
{
    // The panel's tool tip is the hint as the operator sees it, translated
    // by the language file.
    if (auto* item = qobject_cast<TfrmTlacMenu*>(Sender))
        lblTitulek->setText(item->Tlac->Hint());
}

void TfVYN::TopMenuLeave(QObject*)
{
    lblTitulek->clear();
}

QString TfVYN::SecondsToTimeText(int Seconds)
{
    const qint64 s = Seconds;
    const QString sign = s < 0 ? QStringLiteral("-") : QString();
    const qint64 magnitude = s < 0 ? -s : s;
    return sign + QString::number(magnitude / 60) + u':' + QStringLiteral("%1").arg(magnitude % 60, 2, 10, QLatin1Char('0'));
}

int TfVYN::TimeTextToSeconds(const QString& Text)
{
    const auto badFormat = [] {
        return Exception(Language.GetText(QStringLiteral("BadTimeFormat"), QStringLiteral("Bad time format")));
    };
    const auto part = [&](const QString& text) -> qint64 {
        const std::optional<int32_t> value = TryStrToInt32(text.toUtf8());
        if (!value)
            throw badFormat();
        return *value;
    };

    qint64 seconds = 0;
    if (!Text.contains(u':')) {
        seconds = part(Text);
    } else {
        QStringList parts;
        Split(Text, QStringLiteral(":"), parts);
        if (parts.size() == 2)
            seconds = part(parts[0]) * 60 + part(parts[1]);
        else if (parts.size() == 3)
            seconds = (part(parts[0]) * 60 + part(parts[1])) * 60 + part(parts[2]);
        else
            throw badFormat();
    }
    // A sum beyond the integer range is no time the device could hold.
    if (seconds < std::numeric_limits<int>::min() || seconds > std::numeric_limits<int>::max())
        throw badFormat();
    return int(seconds);
}

void TfVYN::SelectLMenu(TfrmLMenuH* Item)
{
    QWidget* parent = Item ? Item->parentWidget() : pnlLMenu;
    if (!parent)
        return;
    for (TfrmLMenuH* child : parent->findChildren<TfrmLMenuH*>(Qt::FindDirectChildrenOnly))
        child->SetSelected(child == Item);
}

void TfVYN::DeselectLMenu()
{
    for (TfrmLMenuH* child : pnlLMenu->findChildren<TfrmLMenuH*>(Qt::FindDirectChildrenOnly))
        child->SetSelected(false);
    SelectLMenu(nullptr);
    pnlSettingsHold->hide();
}

void TfVYN::mSelAdaptClick(QObject* Sender)
{
    auto* item = qobject_cast<QAction*>(Sender);
    if (!item)
        return;
    LocalAdapterIP = item->data().toUInt();
    if (LocalAdapterIP == 0)
        lblCurrentAdapter->setText(
            Language.GetText(QStringLiteral("SelectAdapter"), QStringLiteral("Zvolte síťový adaptér.")));
    else
        lblCurrentAdapter->setText(item->text());
}
