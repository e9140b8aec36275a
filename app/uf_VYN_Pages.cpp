// The settings pages and their mapping onto the model's items.
#include "app/uf_VYN.h"

#include "app/MyUtils.h"
#include "app/Panel.h"
#include "app/UpDown.h"
#include "app/ufrm_IPSet.h"
#include "app/ufrm_LMenuH.h"
#include "lang/uLanguage.h"
#include "model/u_DevData.h"
#include "platform/Exception.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QSpinBox>

namespace {

QString Lang(const char* Key, const QString& Default)
{
    return Language.GetText(QString::fromUtf8(Key), Default);
}

// "%d" and "%s" in a translated text, filled in order.
QString Fill(QString Text, const QStringList& Args)
{
    for (const QString& arg : Args) {
        const qsizetype d = Text.indexOf(QStringLiteral("%d"));
        const qsizetype s = Text.indexOf(QStringLiteral("%s"));
        qsizetype at = d < 0 ? s : (s < 0 ? d : std::min(d, s));
        if (at < 0)
            break;
        Text.replace(at, 2, arg);
    }
    return Text;
}

QString InvalidHostText(const QString& Host)
{
    return Host + QStringLiteral("\r\n")
        + Lang("NeplatnyHostitel", QStringLiteral("Neplatný nebo momentálně nedostupný hostitel."));
}

QString ServerUnavailableText(const QString& Host)
{
    return Fill(Lang("ServersJeMomenta",
                     QStringLiteral("Server %s je momentálně nedostupný. Prosím vyplňte ručně IP adresu.")),
                {Host});
}

TfVYN::THostResolver& ResolverSlot()
{
    static TfVYN::THostResolver resolver;
    return resolver;
}

class TWaitCursor
{
public:
    TWaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

void SetTextIfChanged(QLineEdit* Edit, const QString& Text)
{
    if (Edit->text() != Text)
        Edit->setText(Text);
}

bool IsAddress(const QString& Text, uint32_t* Value = nullptr)
{
    uint32_t ip = 0;
    const bool ok = TryStrictStrToIP(Text, ip);
    if (Value)
        *Value = ip;
    return ok;
}

// The model's side of the walk: values by item name, with the checks the
// record fields need.
class TItems
{
public:
    explicit TItems(TDataManager& Model) : M(Model) {}

    QString Text(const QString& Name) const { return FromDeviceText(M.GetValue(Name).ToText()); }
    int32_t Int(const QString& Name) const { return M.GetValue(Name).ToInt32(); }
    bool Bool(const QString& Name) const { return M.GetValue(Name).ToBool(); }

    // A text that does not fit its field is refused, not cut.
    void CheckText(const QString& Name, const QString& Value) const
    {
        if (const TDataItem* item = M.FindItem(Name); item && ToDeviceText(Value).size() > item->GetByteSize())
            throw Exception(Fill(Lang("TextJePrilisDlouh", QStringLiteral("Text je příliš dlouhý (nejvýše %d znaků).")),
                                 {QString::number(item->GetByteSize())}));
    }
    void SetText(const QString& Name, const QString& Value)
    {
        CheckText(Name, Value);
        M.SetValue(Name, Variant(ToDeviceText(Value)));
    }
    // Only a strict dotted address reaches an address item.
    void SetAddress(const QString& Name, const QString& Value)
    {
        uint32_t ip = 0;
        if (!IsAddress(Value, &ip))
            throw Exception(InvalidHostText(Value));
        M.SetValue(Name, Variant(ToDeviceText(IPAddrToStr(ip))));
    }
    void SetInt(const QString& Name, int32_t Value) { M.SetValue(Name, Variant(Value)); }
    void SetBool(const QString& Name, bool Value) { M.SetValue(Name, Variant(Value)); }

    TDataManager& M;
};

// A URL of the pages: an http address whose port, when given, is one a
// record can hold.
void ParsePageURL(const QString& URL, QString& Host, uint16_t& Port, QString& Path)
{
    ParseURL(URL, Host, Port, Path);
    QString rest = URL.trimmed();
    if (const qsizetype scheme = rest.indexOf(QStringLiteral("://")); scheme >= 0)
        rest = rest.mid(scheme + 3);
    const QString hostPart = rest.left(rest.indexOf(u'/'));
    const qsizetype colon = hostPart.indexOf(u':');
    if (colon < 0)
        return;
    const QString portText = hostPart.mid(colon + 1);
    bool ok = false;
    const int port = portText.toInt(&ok);
    if (!ok || port < 1 || port > 65535)
        throw Exception(Fill(Lang("NeplatnyPort", QStringLiteral("Port %s není v rozsahu 1 až 65535.")), {portText}));
}

} // namespace

void TfVYN::SetHostResolver(THostResolver Resolver)
{
    ResolverSlot() = std::move(Resolver);
}

void TfVYN::BuildSettingsPages()
{
    BuildPageCommon();
    BuildPageAlarms();
    BuildPageSending();
    BuildPageNet();
    for (const auto& [item, page] : MenuPages())
        item->OnClick = [this](QObject* Sender) { LMenuClick(Sender); };
    lmTempSet->OnClick = [this](QObject* Sender) { LMenuClick(Sender); };
    WireEditing();
}

std::vector<std::pair<TfrmLMenuH*, QWidget*>> TfVYN::MenuPages() const
{
    return {{lmCommon, pnlCommon}, {lmEmail, pnlEmail}, {lmSNMP, pnlSNMP}, {lmTCP, pnlTCP},
            {lmGet, pnlGET},       {lmSoap, pnlSOAP},   {lmNetSet, pnlNetSet}};
}

// ---------------------------------------------------------------- limits

bool TfVYN::SetControlLimits()
{
    const auto item = [this](const char* name) { return FDataManager->FindItem(QString::fromLatin1(name)); };
    const auto length = [&](QLineEdit* edit, const char* name) {
        if (const TDataItem* i = item(name))
            edit->setMaxLength(i->GetByteSize());
    };
    const auto band = [&](TUpDown* ud, const char* name) {
        if (const TDataItem* i = item(name)) {
            ud->SetMin(int16_t(i->MinValue()));
            ud->SetMax(int16_t(i->MaxValue()));
        }
    };
    const auto range = [&](QSpinBox* spin, const char* name) {
        if (const TDataItem* i = item(name))
            spin->setRange(int32_t(i->MinValue()), int32_t(i->MaxValue()));
    };
    length(txtVYNName, "vyn_name");
    band(udMinTemp, "min_temp");
    band(udMaxTemp, "max_temp");
    range(seSourcePort, "unit_port");
    range(seInterval, "send_interval");
    length(txtToEmail, "email_to");
    length(txtFromEmail, "email_from");
    length(txtReadCommunity, "read_community");
    length(txtWriteCommunity, "write_community");
    length(txtID, "guid");
    if (txtID2)
        txtID2->setMaxLength(txtID->maxLength());
    // Every spin edit holds what its item holds: the e-mail period and the
    // ports would otherwise wrap in their 16-bit fields.
    range(seEmailPeriod, "email_period");
    range(seWebPort, "web_port");
    range(seRemotePort, "remote_port");
    return true;
}

// ---------------------------------------------------------------- to controls

bool TfVYN::DataToControls()
{
    const TItems v(*FDataManager);
    ShowCurrentIP(0);
    txtVYNName->setText(v.Text(QStringLiteral("vyn_name")));
    txtSMTPServer->setText(v.Text(QStringLiteral("email_smtp")));
    txtSNMPManager->setText(v.Text(QStringLiteral("snmp_manager")));
    txtFromEmail->setText(v.Text(QStringLiteral("email_from")));
    txtToEmail->setText(v.Text(QStringLiteral("email_to")));
    seSourcePort->setValue(v.Int(QStringLiteral("unit_port")));
    seInterval->setValue(v.Int(QStringLiteral("send_interval")));
    udMinTemp->SetPosition(v.Int(QStringLiteral("min_temp")));
    udMinTempClick(udMinTemp);
    udMaxTemp->SetPosition(v.Int(QStringLiteral("max_temp")));
    udMaxTempClick(udMaxTemp);
    chSendEmail->setChecked(v.Bool(QStringLiteral("allow_email")));
    chSendTrap->setChecked(v.Bool(QStringLiteral("allow_trap")));
    txtReadCommunity->setText(v.Text(QStringLiteral("read_community")));
    txtWriteCommunity->setText(v.Text(QStringLiteral("write_community")));
    const QString hostName = v.Text(QStringLiteral("http_host_name"));
    txtGetURL->setText(BuildURL(hostName.isEmpty() ? v.Text(QStringLiteral("http_get_ip")) : hostName,
                                uint16_t(v.Int(QStringLiteral("http_get_port"))),
                                v.Text(QStringLiteral("http_get_path"))));
    txtHttpIP->setText(v.Text(QStringLiteral("http_get_ip")));
    chEnableURLGet->setChecked(v.Bool(QStringLiteral("enable_http_get")));
    txtKATime->setText(SecondsToTimeText(v.Int(QStringLiteral("snmp_trap_period"))));
    if (chEnableSOAP)
        chEnableSOAP->setChecked(v.Bool(QStringLiteral("enable_soap")));
    // A mode the list does not hold shows no item; saving keeps it.
    const int mode = v.Int(QStringLiteral("tcp_mode"));
    cbTCPType->setCurrentIndex(mode >= 0 && mode < cbTCPType->count() ? mode : -1);
    cbTCPTypeChange();
    chKeepConn->setChecked(v.Bool(QStringLiteral("tcp_keep_connection")));
    txtRemoteIP->setText(v.Text(QStringLiteral("remote_ip")));
    seRemotePort->setValue(v.Int(QStringLiteral("remote_port")));
    seWebPort->setValue(v.Int(QStringLiteral("web_port")));
    txtID->setText(v.Text(QStringLiteral("guid")));
    seEmailPeriod->setValue(v.Int(QStringLiteral("email_period")));
    udHystereze->SetPosition(v.Int(QStringLiteral("hystereze")));
    udHysterezeClick(udHystereze);
    if (txtSOAP_URL) {
        const QString headerHost = GetSoapHeaderHost();
        txtSOAP_URL->setText(BuildURL(headerHost.isEmpty() ? v.Text(QStringLiteral("soap_ip")) : headerHost,
                                      uint16_t(v.Int(QStringLiteral("soap_port"))), GetSoapPostPath()));
    }
    if (txtSoapIP)
        txtSoapIP->setText(v.Text(QStringLiteral("soap_ip")));
    SyncSoapHeaderFromURL();
    // By packet: "setip_record" has items of the same names.
    IPSet->SetValues(v.Text(QStringLiteral("SetupRecord0.unit_ip")),
                     IPAddrToStr(TARPManager::HostBitsToMask(v.Int(QStringLiteral("SetupRecord0.num_host_bits")))),
                     v.Text(QStringLiteral("SetupRecord0.gateway_ip")));
    ShowCurrentIP(FDevIP);
    return true;
}

// ---------------------------------------------------------------- to items

void TfVYN::PageMenuOf(QWidget* Page)
{
    FErrorPage = Page;
    FErrorMenu = nullptr;
    for (const auto& [item, page] : MenuPages())
        if (page == Page)
            FErrorMenu = item;
    FErrorControl = nullptr;
}

void TfVYN::SetCurrentControl(QWidget* Control)
{
    FErrorControl = Control;
}

bool TfVYN::ControlsToData()
{
    FErrorPage = nullptr;
    FErrorMenu = nullptr;
    FErrorControl = nullptr;
    // The save button takes no focus, so a number still being typed into a
    // spin edit is taken here.
    for (QSpinBox* spin : findChildren<QSpinBox*>())
        spin->interpretText();

    TItems m(*FDataManager);
    // A step of a switchable function fails only while the function is on.
    const auto guarded = [&](const QString& Switch, const std::function<void()>& Step) {
        try {
            Step();
        } catch (const std::exception&) {
            if (m.Bool(Switch))
                throw;
        }
    };
    const auto text = [&](const QString& Name, QLineEdit* Edit) {
        SetCurrentControl(Edit);
        m.SetText(Name, Edit->text());
        SetCurrentControl(nullptr);
    };
    // A band value the operator typed must be readable, or the save would
    // quietly store the old one.
    const auto readable = [&](QLineEdit* Edit) {
        SetCurrentControl(Edit);
        if (!TempTextToTenths(Edit->text()))
            throw Exception(Fill(Lang("NeplatnaTeplota", QStringLiteral("Hodnota %s není číslo.")), {Edit->text()}));
        SetCurrentControl(nullptr);
    };

    try {
        PageMenuOf(pnlCommon);
        text(QStringLiteral("vyn_name"), txtVYNName);
        m.SetInt(QStringLiteral("web_port"), seWebPort->value());

        PageMenuOf(pnlEmail);
        m.SetBool(QStringLiteral("allow_email"), chSendEmail->isChecked());
        SetCurrentControl(txtSMTPServer);
        guarded(QStringLiteral("allow_email"), [&] {
            if (ResolveEditHost(txtSMTPServer, true, QString()))
                m.SetAddress(QStringLiteral("email_smtp"), txtSMTPServer->text());
        });
        SetCurrentControl(nullptr);
        text(QStringLiteral("email_from"), txtFromEmail);
        text(QStringLiteral("email_to"), txtToEmail);
        readable(txtMinTemp);
        m.SetInt(QStringLiteral("min_temp"), udMinTemp->Position());
        readable(txtMaxTemp);
        m.SetInt(QStringLiteral("max_temp"), udMaxTemp->Position());
        m.SetInt(QStringLiteral("email_period"), seEmailPeriod->value());
        readable(txtHystereze);
        m.SetInt(QStringLiteral("hystereze"), udHystereze->Position());

        PageMenuOf(pnlSNMP);
        for (QLineEdit* copy : {txtMinTemp2, txtMaxTemp2, txtHystereze2})
            readable(copy);
        m.SetBool(QStringLiteral("allow_trap"), chSendTrap->isChecked());
        text(QStringLiteral("read_community"), txtReadCommunity);
        text(QStringLiteral("write_community"), txtWriteCommunity);
        SetCurrentControl(txtSNMPManager);
        guarded(QStringLiteral("allow_trap"), [&] {
            if (ResolveEditHost(txtSNMPManager, true, QString()))
                m.SetAddress(QStringLiteral("snmp_manager"), txtSNMPManager->text());
        });
        SetCurrentControl(txtKATime);
        int seconds = 0;
        try {
            seconds = TimeTextToSeconds(txtKATime->text());
        } catch (const std::exception&) {
            throw Exception(Lang("BadFormatOfSNMPK", QStringLiteral("Bad format of SNMP Keep-Alive period")));
        }
        if (const TDataItem* period = FDataManager->FindItem(QStringLiteral("snmp_trap_period"))) {
            const int32_t min = int32_t(period->MinValue());
            const int32_t max = int32_t(period->MaxValue());
            if (min < max && (seconds < min || seconds > max))
                throw Exception(Fill(Lang("SNMPKeepAlivePer",
                                          QStringLiteral("SNMP Keep-Alive period must be between %d and %d")),
                                     {QString::number(min), QString::number(max)}));
        }
        m.SetInt(QStringLiteral("snmp_trap_period"), seconds);

        PageMenuOf(pnlTCP);
        m.SetInt(QStringLiteral("unit_port"), seSourcePort->value());
        // A mode the list does not hold stays as the device has it.
        if (cbTCPType->currentIndex() >= 0)
            m.SetInt(QStringLiteral("tcp_mode"), cbTCPType->currentIndex());
        m.SetBool(QStringLiteral("tcp_keep_connection"), chKeepConn->isChecked());
        m.SetInt(QStringLiteral("remote_port"), seRemotePort->value());
        m.SetInt(QStringLiteral("send_interval"), seInterval->value());
        SetCurrentControl(txtRemoteIP);
        {
            // Text that is neither an address nor a known name would reach
            // the device as the broadcast address. It matters only for the
            // active connection; otherwise the stored address stays.
            QString host = txtRemoteIP->text();
            if (ResolveHost(host, false, QString())) {
                SetTextIfChanged(txtRemoteIP, host);
                m.SetAddress(QStringLiteral("remote_ip"), host);
            } else if (cbTCPType->currentIndex() == 1) {
                throw Exception(InvalidHostText(host));
            }
        }

        PageMenuOf(pnlGET);
        m.SetBool(QStringLiteral("enable_http_get"), chEnableURLGet->isChecked());
        text(QStringLiteral("guid"), txtID);
        SetCurrentControl(txtGetURL);
        guarded(QStringLiteral("enable_http_get"), [&] {
            QString host;
            QString path;
            uint16_t port = 80;
            ParsePageURL(txtGetURL->text(), host, port, path);
            m.CheckText(QStringLiteral("http_host_name"), host);
            m.CheckText(QStringLiteral("http_get_path"), path);
            m.SetText(QStringLiteral("http_host_name"), host);
            SetCurrentControl(txtHttpIP);
            uint32_t ip = 0;
            if (!IsAddress(txtHttpIP->text(), &ip) || ip == 0 || ip == 0xFFFFFFFFu) {
                QString resolved = txtHttpIP->text();
                if (!ResolveHost(resolved, false, QString()))
                    throw Exception(ServerUnavailableText(txtHttpIP->text()));
                SetTextIfChanged(txtHttpIP, resolved);
            }
            m.SetAddress(QStringLiteral("http_get_ip"), txtHttpIP->text());
            m.SetInt(QStringLiteral("http_get_port"), port);
            m.SetText(QStringLiteral("http_get_path"), path);
        });

        if (chEnableSOAP && txtSOAP_URL && txtSoapIP) {
            PageMenuOf(pnlSOAP);
            m.SetBool(QStringLiteral("enable_soap"), chEnableSOAP->isChecked());
            SetCurrentControl(txtSOAP_URL);
            guarded(QStringLiteral("enable_soap"), [&] {
                QString host;
                QString path;
                uint16_t port = 80;
                ParsePageURL(txtSOAP_URL->text(), host, port, path);
                const QString headerHost = GetSoapHeaderHost();
                if (!host.isEmpty() && host != headerHost)
                    SyncSoapHeaderFromURL();
                else if (host.isEmpty())
                    host = headerHost;
                SetCurrentControl(txtSoapIP);
                uint32_t ip = 0;
                QString resolved = host;
                if (!IsAddress(txtSoapIP->text(), &ip) || ip == 0 || ip == 0xFFFFFFFFu) {
                    if (!ResolveHost(resolved, false, QString()))
                        throw Exception(ServerUnavailableText(host));
                    SetTextIfChanged(txtSoapIP, resolved);
                } else if (ResolveHost(resolved, false, QString())) {
                    SetTextIfChanged(txtSoapIP, resolved);
                }
                m.SetInt(QStringLiteral("soap_port"), port);
            });
            // Not an address only while SOAP is off (the step above fills
            // it otherwise): the stored address stays.
            SetCurrentControl(txtSoapIP);
            const QString soapIP = txtSoapIP->text().isEmpty() ? QStringLiteral("0.0.0.0") : txtSoapIP->text();
            if (IsAddress(soapIP))
                m.SetAddress(QStringLiteral("soap_ip"), soapIP);
            else if (m.Bool(QStringLiteral("enable_soap")))
                throw Exception(InvalidHostText(soapIP));
        }

        PageMenuOf(pnlNetSet);
        // Addresses typed here are read strictly, and the mask must be one
        // unbroken run of ones.
        const bool maskGiven = !IPSet->GetAutoMask() && !IPSet->txtMask->text().isEmpty();
        const bool valid = IPSet->Validate() && IsAddress(IPSet->txtIP->text())
            && (!maskGiven || (IsAddress(IPSet->txtMask->text()) && IsContiguousMask(IPSet->GetMask())))
            && (IPSet->txtGate->text().isEmpty() || IsAddress(IPSet->txtGate->text()));
        if (!valid)
            throw Exception(Lang("Síťovénastavení", QStringLiteral("Síťové nastavení není v pořádku.")));
        m.M.SetValue(QStringLiteral("SetupRecord0.unit_ip"), Variant(uint32_t(IPSet->GetIP())));
        m.M.SetValue(QStringLiteral("SetupRecord0.gateway_ip"), Variant(uint32_t(IPSet->GetGateway())));
        m.SetInt(QStringLiteral("SetupRecord0.num_host_bits"), int32_t(TARPManager::MaskToHostBits(IPSet->GetMask())));
    } catch (...) {
        ShowErrorPlace();
        throw;
    }
    return true;
}

void TfVYN::ShowErrorPlace()
{
    // The failure itself matters more than where it is shown.
    try {
        if (FErrorMenu)
            LMenuClick(FErrorMenu);
        if (FErrorPage)
            ShowPage(FErrorPage, true);
    } catch (...) {
    }
    try {
        if (FErrorControl)
            FErrorControl->setFocus(Qt::OtherFocusReason);
    } catch (...) {
    }
}

// ---------------------------------------------------------------- hosts

bool TfVYN::ResolveHost(QString& Host, bool Raise, const QString& ErrorText)
{
    const TWaitCursor wait;
    if (Host.isEmpty()) {
        Host = QStringLiteral("0.0.0.0");
        return true;
    }
    if (IsAddress(Host))
        return true;
    const THostResolver& resolver = ResolverSlot();
    const uint32_t ip = resolver ? resolver(Host) : TARPManager::ResolveHostName(Host);
    if (ip != 0) {
        Host = TARPManager::IPToStr(ip);
        return true;
    }
    if (Raise)
        throw Exception(ErrorText.isEmpty() ? InvalidHostText(Host) : ErrorText);
    return false;
}

bool TfVYN::ResolveEditHost(QLineEdit* Edit, bool Raise, const QString& ErrorText)
{
    QString host = Edit->text();
    if (!ResolveHost(host, Raise, ErrorText))
        return false;
    if (Edit->text() != host)
        Edit->setText(host);
    return true;
}
