#include "PagesFixture.h"
#include "XvfbRun.h"

#include <QImage>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

const QString Invalid = QString::fromUtf8("Neplatný nebo momentálně nedostupný hostitel.");

QString Utf(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

TEST_F(PagesTest, EveryControlStartsOnItsPageWithItsStateAndTheLimitsOfItsItem)
{
    // name, page, text (null: not checked), enabled, max length (0: not
    // checked), range and value (min > max: not checked).
    struct Row {
        const char* name;
        const char* page;
        const char* text;
        bool enabled;
        int maxLength;
        int min, max, value;
    };
    const Row rows[] = {
        {"txtVYNName", "pnlCommon", "VYN", true, 23, 1, 0, 0},
        {"seWebPort", "pnlCommon", nullptr, true, 0, 0, 65535, 80},
        {"chSendEmail", "pnlEmail", "Zasílat teplotu na e-mail (při překročení limitů)", true, 0, 1, 0, 0},
        {"txtSMTPServer", "pnlEmail", "0.0.0.0", false, 0, 1, 0, 0},
        {"cmdSMTP_GIP", "pnlEmail", "@", false, 0, 1, 0, 0},
        {"seEmailPeriod", "pnlEmail", nullptr, false, 0, 0, 65535, 0},
        {"txtFromEmail", "pnlEmail", "", false, 48, 1, 0, 0},
        {"txtToEmail", "pnlEmail", "", false, 48, 1, 0, 0},
        {"txtMinTemp", "pnlEmail", "-999,9", true, 0, 1, 0, 0},
        {"udMinTemp", "pnlEmail", nullptr, true, 0, -9999, 9999, -9999},
        {"txtMaxTemp", "pnlEmail", "999,9", true, 0, 1, 0, 0},
        {"udMaxTemp", "pnlEmail", nullptr, true, 0, -9999, 9999, 9999},
        {"txtHystereze", "pnlEmail", "1", true, 0, 1, 0, 0},
        {"udHystereze", "pnlEmail", nullptr, true, 0, 0, 100, 10},
        {"chSendTrap", "pnlSNMP", "Zasílat SNMP trapy", true, 0, 1, 0, 0},
        {"txtSNMPManager", "pnlSNMP", "0.0.0.0", false, 0, 1, 0, 0},
        {"cmdSNMP_GIP", "pnlSNMP", "@", false, 0, 1, 0, 0},
        {"txtReadCommunity", "pnlSNMP", "", false, 15, 1, 0, 0},
        {"txtWriteCommunity", "pnlSNMP", "", false, 15, 1, 0, 0},
        {"txtKATime", "pnlSNMP", "0:00", false, 15, 1, 0, 0},
        {"lblKATime", "pnlSNMP", "Keep-alive trap period", true, 0, 1, 0, 0},
        {"txtMinTemp2", "pnlSNMP", "-999,9", true, 0, 1, 0, 0},
        {"udMinTemp2", "pnlSNMP", nullptr, true, 0, -9999, 9999, -9999},
        {"txtMaxTemp2", "pnlSNMP", "999,9", true, 0, 1, 0, 0},
        {"udMaxTemp2", "pnlSNMP", nullptr, true, 0, -9999, 9999, 9999},
        {"txtHystereze2", "pnlSNMP", "1", true, 0, 1, 0, 0},
        {"udHystereze2", "pnlSNMP", nullptr, true, 0, 0, 100, 10},
        {"cbTCPType", "pnlTCP", "Pasivní", true, 0, 1, 0, 0},
        {"seSourcePort", "pnlTCP", nullptr, true, 0, 1, 65535, 10001},
        {"txtRemoteIP", "pnlTCP", "", false, 0, 1, 0, 0},
        {"seRemotePort", "pnlTCP", nullptr, false, 0, 0, 65535, 0},
        {"chKeepConn", "pnlTCP", "Udržovat spojení", false, 0, 1, 0, 0},
        {"seInterval", "pnlTCP", nullptr, true, 0, 0, 65535, 10},
        {"chEnableURLGet", "pnlGET", "Zasílat teplotu na HTTP server", true, 0, 1, 0, 0},
        {"txtGetURL", "pnlGET", "", false, 0, 1, 0, 0},
        {"cmdHTTP_GIP", "pnlGET", "@", false, 0, 1, 0, 0},
        {"txtHttpIP", "pnlGET", "", false, 0, 1, 0, 0},
        {"seInterval2", "pnlGET", nullptr, true, 0, 2, 3600, 10},
        {"txtID", "pnlGET", "", true, 40, 1, 0, 0},
        {"IPSet", "pnlNetSet", nullptr, true, 0, 1, 0, 0},
        {"lblCurrentIP", "pnlNetSet", "Současná IP adresa : ", true, 0, 1, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QWidget* control = Find(row.name);
        ASSERT_TRUE(control);
        EXPECT_TRUE(Find(row.page)->isAncestorOf(control));
        EXPECT_EQ(Enabled(control), row.enabled);
        QString text;
        if (auto* e = qobject_cast<QLineEdit*>(control)) {
            text = e->text();
            if (row.maxLength) {
                EXPECT_EQ(e->maxLength(), row.maxLength);
            }
        } else if (auto* c = qobject_cast<QCheckBox*>(control)) {
            text = c->text();
            EXPECT_FALSE(c->isChecked());
        } else if (auto* l = qobject_cast<QLabel*>(control)) {
            text = l->text();
            EXPECT_EQ(l->textFormat(), Qt::PlainText);
        } else if (auto* b = qobject_cast<TfrmTlacitko*>(control)) {
            text = b->Caption();
        } else if (auto* cb = qobject_cast<QComboBox*>(control)) {
            text = cb->currentText();
            EXPECT_EQ(cb->count(), 2);
            EXPECT_EQ(cb->itemText(1), Utf("Aktivní"));
        } else if (auto* s = qobject_cast<QSpinBox*>(control)) {
            EXPECT_EQ(s->minimum(), row.min);
            EXPECT_EQ(s->maximum(), row.max);
            EXPECT_EQ(s->value(), row.value);
        } else if (auto* u = qobject_cast<TUpDown*>(control)) {
            EXPECT_EQ(u->Min(), row.min);
            EXPECT_EQ(u->Max(), row.max);
            EXPECT_EQ(u->Position(), row.value);
        }
        if (row.text) {
            EXPECT_EQ(text, Utf(row.text));
        }
    }
    EXPECT_EQ(w->cmdSMTP_GIP->Hint(), Utf("Převést symbolickou adresu na IP adresu (musí být dostupná)"));
    EXPECT_EQ(w->cmdHTTP_GIP->Hint(), Utf("Zjistit automaticky IP adresu serveru (musí být dostupný)"));
}

TEST_F(PagesTest, DataToControlsShowsEachItemInItsControls)
{
    Set("vyn_name", "Kotelna");
    Set("email_smtp", "10.0.0.25");
    Set("snmp_manager", "10.0.0.162");
    Set("email_from", "vyn@vyn.test");
    Set("email_to", "obsluha@vyn.test");
    Set("unit_port", int32_t(10002));
    Set("send_interval", int32_t(60));
    Set("min_temp", int32_t(-55));
    Set("max_temp", int32_t(255));
    Set("allow_email", true);
    Set("allow_trap", true);
    Set("read_community", "cti");
    Set("write_community", "pis");
    Set("http_host_name", "web.vyn.test");
    Set("http_get_port", int32_t(8080));
    Set("http_get_path", "t.php");
    Set("http_get_ip", "10.1.2.5");
    Set("enable_http_get", true);
    Set("snmp_trap_period", int32_t(5));
    Set("tcp_mode", int32_t(1));
    Set("tcp_keep_connection", true);
    Set("remote_ip", "10.0.0.7");
    Set("remote_port", int32_t(9000));
    Set("web_port", int32_t(8081));
    Set("guid", "{G}");
    Set("email_period", int32_t(300));
    Set("hystereze", int32_t(15));
    Set("SetupRecord0.unit_ip", "10.0.0.9");
    Set("SetupRecord0.num_host_bits", int32_t(8));
    Set("SetupRecord0.gateway_ip", "10.0.0.1");
    w->FDevIP = StrToIPAddr(QStringLiteral("10.0.0.8"));
    ASSERT_TRUE(w->DataToControls());

    const std::pair<QLineEdit*, const char*> texts[] = {
        {w->txtVYNName, "Kotelna"},         {w->txtSMTPServer, "10.0.0.25"},
        {w->txtSNMPManager, "10.0.0.162"},  {w->txtFromEmail, "vyn@vyn.test"},
        {w->txtToEmail, "obsluha@vyn.test"}, {w->txtMinTemp, "-5,5"},
        {w->txtMinTemp2, "-5,5"},           {w->txtMaxTemp, "25,5"},
        {w->txtMaxTemp2, "25,5"},           {w->txtReadCommunity, "cti"},
        {w->txtWriteCommunity, "pis"},      {w->txtGetURL, "http://web.vyn.test:8080/t.php"},
        {w->txtHttpIP, "10.1.2.5"},         {w->txtKATime, "0:05"},
        {w->txtRemoteIP, "10.0.0.7"},       {w->txtID, "{G}"},
        {w->txtHystereze, "1,5"},           {w->txtHystereze2, "1,5"},
        {w->IPSet->txtIP, "10.0.0.9"},      {w->IPSet->txtMask, "255.255.255.0"},
        {w->IPSet->txtGate, "10.0.0.1"},
    };
    for (const auto& [edit, text] : texts)
        EXPECT_EQ(edit->text(), Utf(text)) << edit->objectName().toStdString();
    const std::pair<QSpinBox*, int> values[] = {{w->seSourcePort, 10002}, {w->seInterval, 60},
                                                {w->seInterval2, 60},     {w->seRemotePort, 9000},
                                                {w->seWebPort, 8081},     {w->seEmailPeriod, 300}};
    for (const auto& [spin, value] : values)
        EXPECT_EQ(spin->value(), value) << spin->objectName().toStdString();
    const std::pair<TUpDown*, int> positions[] = {{w->udMinTemp, -55}, {w->udMinTemp2, -55}, {w->udMaxTemp, 255},
                                                  {w->udMaxTemp2, 255}, {w->udHystereze, 15}, {w->udHystereze2, 15}};
    for (const auto& [ud, position] : positions)
        EXPECT_EQ(ud->Position(), position) << ud->objectName().toStdString();
    for (QCheckBox* box : {w->chSendEmail, w->chSendTrap, w->chEnableURLGet, w->chKeepConn})
        EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
    EXPECT_EQ(w->cbTCPType->currentIndex(), 1);
    EXPECT_FALSE(w->IPSet->GetAutoMask());
    EXPECT_EQ(w->lblCurrentIP->text(), Utf("Současná IP adresa : 10.0.0.8"));
    EXPECT_TRUE(w->lblCurrentIP->isVisibleTo(w->pnlNetSet));
    // The groups follow their switches, also when loading set them.
    EXPECT_TRUE(Enabled(w->txtSMTPServer));
    EXPECT_TRUE(Enabled(w->txtKATime));
    EXPECT_TRUE(Enabled(w->txtHttpIP));
    EXPECT_TRUE(Enabled(w->txtRemoteIP));
    EXPECT_FALSE(Enabled(w->seSourcePort));

    // Without a host name the URL names the address; a mode the list lacks
    // shows no item and disables all four TCP controls; no device IP hides
    // the current address.
    Set("http_host_name", "");
    Set("http_get_port", int32_t(80));
    Set("tcp_mode", int32_t(2));
    Set("SetupRecord0.num_host_bits", int32_t(0));
    w->FDevIP = 0;
    w->DataToControls();
    EXPECT_EQ(w->txtGetURL->text(), Utf("http://10.1.2.5/t.php"));
    EXPECT_EQ(w->cbTCPType->currentIndex(), -1);
    for (QWidget* c : std::initializer_list<QWidget*>{w->seSourcePort, w->txtRemoteIP, w->seRemotePort, w->chKeepConn})
        EXPECT_FALSE(Enabled(c)) << c->objectName().toStdString();
    EXPECT_TRUE(w->IPSet->GetAutoMask());
    EXPECT_EQ(w->lblCurrentIP->text(), Utf("Současná IP adresa :"));
    EXPECT_FALSE(w->lblCurrentIP->isVisibleTo(w->pnlNetSet));
}

TEST_F(PagesTest, UnchangedPagesGiveBackEveryRecordByte)
{
    M().ApplyDefaults();
    Set("vyn_name", "Sklep");
    Set("allow_email", true);
    Set("email_smtp", "10.0.0.25");
    Set("allow_trap", true);
    Set("snmp_manager", "10.0.0.162");
    Set("snmp_trap_period", int32_t(90));
    Set("enable_http_get", true);
    Set("http_host_name", "web.vyn.test");
    Set("http_get_ip", "10.1.2.5");
    Set("http_get_port", int32_t(8080));
    Set("http_get_path", "a/b.php");
    Set("tcp_mode", int32_t(2));
    Set("remote_ip", "10.0.0.7");
    Set("min_temp", int32_t(-125));
    Set("max_temp", int32_t(305));
    Set("hystereze", int32_t(25));
    Set("email_period", int32_t(1200));
    Set("SetupRecord0.unit_ip", "10.0.0.9");
    Set("SetupRecord0.gateway_ip", "10.0.0.1");
    Set("SetupRecord0.num_host_bits", int32_t(8));
    // A URL port of 0 comes back as 80 (the rebuilt URL leaves it out).
    Set("soap_port", int32_t(80));
    const QByteArray before = Records();
    w->DataToControls();
    ASSERT_TRUE(w->ControlsToData());
    EXPECT_EQ(Records().toHex(' '), before.toHex(' '));
    // The mode the list does not hold was kept.
    EXPECT_EQ(Int("tcp_mode"), 2);
}

TEST_F(PagesTest, AFailedSaveShowsThePageAndControlAndKeepsWhatWasWritten)
{
    struct Row {
        const char* name;
        std::function<void()> edit;
        QString text;
        const char* page;
        const char* focused; // null: none
        std::function<bool()> writtenBefore; // an item written earlier in the same run
        const char* notWritten;              // one the walk did not reach
    };
    const Row rows[] = {
        {"SMTP name", [&] { w->chSendEmail->setChecked(true); w->txtSMTPServer->setText("x.invalid"); },
         "x.invalid\r\n" + Invalid, "pnlEmail", "txtSMTPServer", [&] { return M().GetValue("allow_email").ToBool(); }, "email_from"},
        {"SNMP name", [&] { w->chSendTrap->setChecked(true); w->txtSNMPManager->setText("y.invalid"); },
         "y.invalid\r\n" + Invalid, "pnlSNMP", "txtSNMPManager", [&] { return Text("write_community") == "zapis"; }, "snmp_trap_period"},
        {"keep-alive 1:", [&] { w->chSendTrap->setChecked(true); w->txtKATime->setText("1:"); }, "Bad format of SNMP Keep-Alive period", "pnlSNMP",
         "txtKATime", [&] { return Text("write_community") == "zapis"; }, "snmp_trap_period"},
        {"keep-alive 61:00", [&] { w->txtKATime->setText("61:00"); },
         "SNMP Keep-Alive period must be between 0 and 3600", "pnlSNMP", nullptr /* disabled: traps off */,
         [&] { return Text("write_community") == "zapis"; }, "unit_port"},
        {"GET scheme", [&] { w->chEnableURLGet->setChecked(true); w->txtGetURL->setText("ftp://x/y"); },
         "Invalid HTTP prefix ftp://", "pnlGET", "txtGetURL", [&] { return Text("guid") == "{X}"; }, "http_host_name"},
        {"GET server",
         [&] { w->chEnableURLGet->setChecked(true); w->txtGetURL->setText("http://h/p"); w->txtHttpIP->setText("z.invalid"); },
         Utf("Server z.invalid je momentálně nedostupný. Prosím vyplňte ručně IP adresu."), "pnlGET", "txtHttpIP",
         [&] { return Text("http_host_name") == "h"; }, "http_get_path"},
        {"network", [&] { w->IPSet->SetValues("0.0.0.0", "255.255.255.0", "0.0.0.0"); },
         Utf("Síťové nastavení není v pořádku."), "pnlNetSet", nullptr,
         [&] { return Int("send_interval") == 77; }, "SetupRecord0.gateway_ip"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        w = std::make_unique<TfVYN>(nullptr, ini);
        w->show();
        M().ApplyDefaults();
        Set("SetupRecord0.unit_ip", "10.0.0.9");
        Set("SetupRecord0.gateway_ip", "10.0.0.77");
        w->DataToControls();
        w->txtVYNName->setText("Nove");
        w->seInterval->setValue(77);
        w->txtWriteCommunity->setText("zapis");
        w->txtID->setText("{X}");
        w->txtKATime->setText("2:00");
        w->txtFromEmail->setText("from@vyn.test");
        w->txtGetURL->setText("http://h/p");
        w->seSourcePort->setValue(10005);
        row.edit();
        const Variant before = M().GetValue(QString::fromLatin1(row.notWritten));
        EXPECT_EQ(ExceptionText([&] { w->ControlsToData(); }), row.text);
        EXPECT_TRUE(w->findChild<QWidget*>(row.page)->isEnabled());
        EXPECT_EQ(w->pnlSettingsHold->children().last(), w->findChild<QWidget*>(row.page));
        EXPECT_FALSE(w->pnlSettingsHold->isHidden());
        if (row.focused) {
            EXPECT_EQ(w->focusWidget(), w->findChild<QWidget*>(row.focused));
        }
        EXPECT_EQ(Text("vyn_name"), "Nove");
        EXPECT_TRUE(row.writtenBefore());
        EXPECT_EQ(M().GetValue(QString::fromLatin1(row.notWritten)), before) << row.notWritten;
    }
}

TEST_F(PagesTest, InputsThatWouldReachTheDeviceWrongAreRefusedWithTheirPlace)
{
    struct Row {
        const char* name;
        std::function<void()> edit;
        QString text;
        const char* page;
        const char* focused;
        const char* keptItem; // keeps its value
    };
    const auto get = [&](const char* url) {
        w->chEnableURLGet->setChecked(true);
        w->txtGetURL->setText(QString::fromUtf8(url));
    };
    const QString tooLong = Utf("Text je příliš dlouhý (nejvýše %1 znaků).");
    const Row rows[] = {
        {"remote address",
         [&] {
             w->cbTCPType->setCurrentIndex(1);
             emit w->cbTCPType->activated(1);
             w->txtRemoteIP->setText("10.0.0.x");
         },
         "10.0.0.x\r\n" + Invalid, "pnlTCP", "txtRemoteIP", "remote_ip"},
        {"GET address", [&] { get("http://h/p"); w->txtHttpIP->setText("10.0.0.x"); },
         Utf("Server 10.0.0.x je momentálně nedostupný. Prosím vyplňte ručně IP adresu."), "pnlGET", "txtHttpIP",
         "http_get_ip"},
        {"port 70000", [&] { get("http://h:70000/p"); }, Utf("Port 70000 není v rozsahu 1 až 65535."), "pnlGET",
         "txtGetURL", "http_get_port"},
        {"port 0", [&] { get("http://h:0/p"); }, Utf("Port 0 není v rozsahu 1 až 65535."), "pnlGET", "txtGetURL",
         "http_host_name"},
        {"port -1", [&] { get("h:-1"); }, Utf("Port -1 není v rozsahu 1 až 65535."), "pnlGET", "txtGetURL",
         "http_get_port"},
        {"host of 31 bytes", [&] { get("http://abcdefghijklmnopqrstuvwxyz12345/p"); }, tooLong.arg(30), "pnlGET",
         "txtGetURL", "http_host_name"},
        {"path of 41 bytes", [&] { get("http://h/abcdefghijklmnopqrstuvwxyz0123456789abcde"); }, tooLong.arg(40),
         "pnlGET", "txtGetURL", "http_host_name"},
        {"mask with holes", [&] { w->IPSet->SetValues("10.0.0.9", "255.0.255.0", "10.0.0.1"); },
         Utf("Síťové nastavení není v pořádku."), "pnlNetSet", nullptr, "SetupRecord0.unit_ip"},
        {"short address", [&] { w->IPSet->SetValues("10.1", "255.0.0.0", "10.0.0.1"); },
         Utf("Síťové nastavení není v pořádku."), "pnlNetSet", nullptr, "SetupRecord0.unit_ip"},
        {"temperature", [&] { w->txtMinTemp->setText("abc"); }, Utf("Hodnota abc není číslo."), "pnlEmail",
         "txtMinTemp", "min_temp"},
        {"temperature copy", [&] { w->txtHystereze2->setText("1,2,3"); }, Utf("Hodnota 1,2,3 není číslo."), "pnlSNMP",
         "txtHystereze2", "allow_trap"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        w = std::make_unique<TfVYN>(nullptr, ini);
        w->show();
        M().ApplyDefaults();
        Set("SetupRecord0.unit_ip", "10.0.0.8");
        Set("remote_ip", "10.0.0.6");
        Set("min_temp", int32_t(-15));
        w->DataToControls();
        Set("min_temp", int32_t(-25));
        Set("allow_trap", true);
        const Variant kept = M().GetValue(QString::fromLatin1(row.keptItem));
        row.edit();
        EXPECT_EQ(ExceptionText([&] { w->ControlsToData(); }), row.text);
        EXPECT_EQ(w->pnlSettingsHold->children().last(), w->findChild<QWidget*>(row.page));
        if (row.focused) {
            EXPECT_EQ(w->focusWidget(), w->findChild<QWidget*>(row.focused));
        }
        EXPECT_EQ(M().GetValue(QString::fromLatin1(row.keptItem)), kept) << row.keptItem;
    }
}

TEST_F(PagesTest, SavedValuesTakeTheirStoredForm)
{
    struct Row {
        const char* name;
        std::function<void()> edit;
        std::function<void()> check;
    };
    const Row rows[] = {
        {"e-mail off, unresolvable SMTP name kept out",
         [&] { w->txtSMTPServer->setText("x.invalid"); }, [&] { EXPECT_EQ(Text("email_smtp"), "10.0.0.25"); }},
        {"SMTP name resolved into the edit",
         [&] { w->chSendEmail->setChecked(true); w->txtSMTPServer->setText("smtp.vyn.test"); },
         [&] {
             EXPECT_EQ(w->txtSMTPServer->text(), "10.1.2.3");
             EXPECT_EQ(Text("email_smtp"), "10.1.2.3");
         }},
        {"empty SNMP manager",
         [&] { w->chSendTrap->setChecked(true); w->txtSNMPManager->clear(); },
         [&] {
             EXPECT_EQ(w->txtSNMPManager->text(), "0.0.0.0");
             EXPECT_EQ(Text("snmp_manager"), "0.0.0.0");
         }},
        {"keep-alive 1:30", [&] { w->txtKATime->setText("1:30"); }, [&] { EXPECT_EQ(Int("snmp_trap_period"), 90); }},
        {"keep-alive 90", [&] { w->txtKATime->setText("90"); }, [&] { EXPECT_EQ(Int("snmp_trap_period"), 90); }},
        {"keep-alive 0:01:00", [&] { w->txtKATime->setText("0:01:00"); },
         [&] { EXPECT_EQ(Int("snmp_trap_period"), 60); }},
        {"keep-alive 1:75", [&] { w->txtKATime->setText("1:75"); }, [&] { EXPECT_EQ(Int("snmp_trap_period"), 135); }},
        {"GET URL parts",
         [&] {
             w->chEnableURLGet->setChecked(true);
             w->txtGetURL->setText("H:8080/x");
             w->txtHttpIP->setText("0.0.0.0");
         },
         [&] {
             EXPECT_EQ(Text("http_host_name"), "H");
             EXPECT_EQ(Int("http_get_port"), 8080);
             EXPECT_EQ(Text("http_get_path"), "x");
             EXPECT_EQ(Text("http_get_ip"), "0.0.0.0");
         }},
        {"GET server name resolved",
         [&] {
             w->chEnableURLGet->setChecked(true);
             w->txtGetURL->setText("http://web.vyn.test/");
             w->txtHttpIP->setText("web.vyn.test");
         },
         [&] {
             EXPECT_EQ(w->txtHttpIP->text(), "10.1.2.5");
             EXPECT_EQ(Text("http_get_ip"), "10.1.2.5");
         }},
        {"GET off, another scheme ignored", [&] { w->txtGetURL->setText("ftp://x/y"); },
         [&] {
             EXPECT_EQ(Text("http_host_name"), "old");
             EXPECT_EQ(Int("http_get_port"), 81);
         }},
        {"temperature beyond the band", [&] { w->txtMinTemp->setText("-2000"); },
         [&] { EXPECT_EQ(Int("min_temp"), -9999); }},
        {"spin text typed but not confirmed", [&] { w->seWebPort->findChild<QLineEdit*>()->setText("8088"); },
         [&] { EXPECT_EQ(Int("web_port"), 8088); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        w = std::make_unique<TfVYN>(nullptr, ini);
        M().ApplyDefaults();
        Set("SetupRecord0.unit_ip", "10.0.0.8");
        Set("email_smtp", "10.0.0.25");
        Set("http_host_name", "old");
        Set("http_get_port", int32_t(81));
        w->DataToControls();
        row.edit();
        ASSERT_NO_THROW(w->ControlsToData());
        row.check();
    }
}

TEST(SettingsScreens, EveryPageAndTheWizardFitOnARealDisplayInBothLanguages)
{
    QTemporaryDir dir;
    const XvfbRun run = RunOnXvfb(SETTINGS_SCREENS_PATH, dir.path(), 90000);
    ASSERT_RAN_ON_XVFB(run);

    QStringList bad;
    QMap<QString, QImage> shots;
    for (const QString& line : run.Out.split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1String("BAD "))) {
            bad << line;
            continue;
        }
        const QStringList f = line.split(u' ');
        ASSERT_EQ(f.size(), 6) << line.toStdString();
        const QImage shot = QImage(dir.filePath(f[1]))
                                .copy(QRect(f[2].toInt(), f[3].toInt(), f[4].toInt(), f[5].toInt()));
        ASSERT_FALSE(shot.isNull()) << line.toStdString();
        // Not blank: some of the page is not its background.
        const QRgb ground = shot.pixel(0, 0);
        int drawn = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                drawn += shot.pixel(x, y) != ground;
        EXPECT_GT(drawn, shot.width() * shot.height() / 200) << line.toStdString();
        shots.insert(f[1], shot);
    }
    EXPECT_TRUE(bad.isEmpty()) << bad.join(u'\n').toStdString();
    // Eight pages and the wizard, each in both languages, each looking
    // different in English.
    ASSERT_EQ(shots.size(), 18);
    for (auto it = shots.cbegin(); it != shots.cend(); ++it)
        if (it.key().startsWith(QLatin1String("cs_"))) {
            EXPECT_NE(it.value(), shots.value(QStringLiteral("en_") + it.key().mid(3))) << it.key().toStdString();
        }
}
