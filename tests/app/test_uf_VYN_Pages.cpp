#include "PagesFixture.h"
#include "XvfbRun.h"

#include "app/Panel.h"

#include <QImage>
#include <QMap>
#include <QTemporaryDir>

namespace {

const QString Invalid = Utf("Neplatný nebo momentálně nedostupný hostitel.");

// All setup records, for comparing before and after.
QByteArray Records(TDataManager& m)
{
    QByteArray all;
    for (int i = 0; i < m.Count(); ++i)
        if (m.GetPacket(i)->PacketType() == ptSetup)
            all += m.GetPacket(i)->GetDataAsString();
    return all;
}

} // namespace

TEST_F(PagesTest, EveryControlStartsOnItsPageWithItsStateAndTheLimitsOfItsItem)
{
    // text: null is not checked; maxLength 0 is not checked; min > max: no range.
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
        auto* control = w->findChild<QWidget*>(row.name);
        ASSERT_TRUE(control);
        EXPECT_TRUE(w->findChild<QWidget*>(row.page)->isAncestorOf(control));
        EXPECT_EQ(Enabled(control), row.enabled);
        QString text;
        if (auto* e = qobject_cast<QLineEdit*>(control)) {
            text = e->text();
            EXPECT_TRUE(!row.maxLength || e->maxLength() == row.maxLength) << e->maxLength();
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
            EXPECT_EQ(std::tuple(s->minimum(), s->maximum(), s->value()), std::tuple(row.min, row.max, row.value));
        } else if (auto* u = qobject_cast<TUpDown*>(control)) {
            EXPECT_EQ(std::tuple(u->Min(), u->Max(), u->Position()), std::tuple(row.min, row.max, row.value));
        }
        if (row.text) {
            EXPECT_EQ(text, Utf(row.text));
        }
    }
    EXPECT_EQ(w->cmdSMTP_GIP->Hint(), Utf("Převést symbolickou adresu na IP adresu (musí být dostupná)"));
    EXPECT_EQ(w->cmdHTTP_GIP->Hint(), Utf("Zjistit automaticky IP adresu serveru (musí být dostupný)"));
}

TEST_F(PagesTest, ItemsShowInTheirControlsAndUnchangedPagesGiveBackEveryByte)
{
    M().ApplyDefaults();
    const std::pair<const char*, Variant> items[] = {
        {"vyn_name", "Kotelna"},          {"email_smtp", "10.0.0.25"},     {"snmp_manager", "10.0.0.162"},
        {"email_from", "vyn@vyn.test"},   {"email_to", "obsluha@vyn.test"}, {"unit_port", int32_t(10002)},
        {"send_interval", int32_t(60)},   {"min_temp", int32_t(-55)},      {"max_temp", int32_t(255)},
        {"allow_email", true},            {"allow_trap", true},            {"read_community", "cti"},
        {"write_community", "pis"},       {"http_host_name", "web.vyn.test"}, {"http_get_port", int32_t(8080)},
        {"http_get_path", "t.php"},       {"http_get_ip", "10.1.2.5"},     {"enable_http_get", true},
        {"snmp_trap_period", int32_t(5)}, {"tcp_mode", int32_t(1)},        {"tcp_keep_connection", true},
        {"remote_ip", "10.0.0.7"},        {"remote_port", int32_t(9000)},  {"web_port", int32_t(8081)},
        {"guid", "{G}"},                  {"email_period", int32_t(300)},  {"hystereze", int32_t(15)},
        {"SetupRecord0.unit_ip", "10.0.0.9"}, {"SetupRecord0.num_host_bits", int32_t(8)},
        {"SetupRecord0.gateway_ip", "10.0.0.1"},
        // A URL port of 0 would come back as 80 (the rebuilt URL leaves it out).
        {"soap_port", int32_t(80)},
    };
    for (const auto& [item, value] : items)
        Set(item, value);
    w->FDevIP = StrToIPAddr(QStringLiteral("10.0.0.8"));
    const QByteArray before = Records(M());
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
    // The groups follow their switches, also when loading set them.
    for (QWidget* c : std::initializer_list<QWidget*>{w->txtSMTPServer, w->txtKATime, w->txtHttpIP, w->txtRemoteIP})
        EXPECT_TRUE(Enabled(c)) << c->objectName().toStdString();
    EXPECT_FALSE(Enabled(w->seSourcePort));
    ASSERT_TRUE(w->ControlsToData());
    EXPECT_EQ(Records(M()).toHex(' '), before.toHex(' '));

    // Without a host name the URL names the address; a mode the list lacks
    // shows no item, disables all four TCP controls and is kept; no device
    // IP hides the current address.
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
    EXPECT_FALSE(w->lblCurrentIP->isVisibleTo(w->pnlNetSet));
    ASSERT_TRUE(w->ControlsToData());
    EXPECT_EQ(Int("tcp_mode"), 2);
}

TEST_F(PagesTest, ARefusedControlShowsItsPageAndFocusAndKeepsWhatWasWritten)
{
    struct Row {
        const char* name;
        std::function<void()> edit;
        QString text;
        const char* page;
        const char* focused; // null: none
        const char* written; // an item of the same run before the failure, written with "x"
        const char* kept;    // an item the walk did not reach
    };
    const auto get = [&](const char* url) {
        w->chEnableURLGet->setChecked(true);
        w->txtGetURL->setText(Utf(url));
    };
    const QString network = Utf("Síťové nastavení není v pořádku.");
    const QString tooLong = Utf("Text je příliš dlouhý (nejvýše %1 znaků).");
    const auto badPort = [](const char* port) { return Utf("Port %1 není v rozsahu 1 až 65535.").arg(port); };
    const auto unavailable = [](const char* host) {
        return Utf("Server %1 je momentálně nedostupný. Prosím vyplňte ručně IP adresu.").arg(host);
    };
    const Row rows[] = {
        {"SMTP name", [&] { w->chSendEmail->setChecked(true); w->txtSMTPServer->setText("x.invalid"); },
         "x.invalid\r\n" + Invalid, "pnlEmail", "txtSMTPServer", "vyn_name", "email_from"},
        {"temperature", [&] { w->txtMinTemp->setText("abc"); }, Utf("Hodnota abc není číslo."), "pnlEmail",
         "txtMinTemp", "vyn_name", "min_temp"},
        {"temperature copy", [&] { w->txtHystereze2->setText("1,2,3"); }, Utf("Hodnota 1,2,3 není číslo."),
         "pnlSNMP", "txtHystereze2", "email_from", "allow_trap"},
        {"SNMP name", [&] { w->chSendTrap->setChecked(true); w->txtSNMPManager->setText("y.invalid"); },
         "y.invalid\r\n" + Invalid, "pnlSNMP", "txtSNMPManager", "write_community", "snmp_trap_period"},
        {"keep-alive 1:", [&] { w->chSendTrap->setChecked(true); w->txtKATime->setText("1:"); },
         "Bad format of SNMP Keep-Alive period", "pnlSNMP", "txtKATime", "write_community", "snmp_trap_period"},
        // Traps off: the range holds all the same; the edit cannot take the focus.
        {"keep-alive 61:00", [&] { w->txtKATime->setText("61:00"); },
         "SNMP Keep-Alive period must be between 0 and 3600", "pnlSNMP", nullptr, "write_community", "unit_port"},
        {"remote address",
         [&] {
             w->cbTCPType->setCurrentIndex(1);
             emit w->cbTCPType->activated(1);
             w->txtRemoteIP->setText("10.0.0.x");
         },
         "10.0.0.x\r\n" + Invalid, "pnlTCP", "txtRemoteIP", "write_community", "remote_ip"},
        {"GET scheme", [&] { get("ftp://x/y"); }, "Invalid HTTP prefix ftp://", "pnlGET", "txtGetURL", "guid",
         "http_host_name"},
        {"port 70000", [&] { get("http://h:70000/p"); }, badPort("70000"), "pnlGET", "txtGetURL", "guid",
         "http_host_name"},
        {"port 0", [&] { get("h:0/p"); }, badPort("0"), "pnlGET", "txtGetURL", "guid", "http_host_name"},
        {"host of 31 bytes", [&] { get("http://abcdefghijklmnopqrstuvwxyz12345/p"); }, tooLong.arg(30), "pnlGET",
         "txtGetURL", "guid", "http_host_name"},
        {"path of 41 bytes", [&] { get("http://h/abcdefghijklmnopqrstuvwxyz0123456789abcde"); }, tooLong.arg(40),
         "pnlGET", "txtGetURL", "guid", "http_host_name"},
        {"GET server", [&] { get("http://x/p"); w->txtHttpIP->setText("z.invalid"); }, unavailable("z.invalid"),
         "pnlGET", "txtHttpIP", "http_host_name", "http_get_path"},
        {"GET address", [&] { get("http://x/p"); w->txtHttpIP->setText("10.0.0.x"); }, unavailable("10.0.0.x"),
         "pnlGET", "txtHttpIP", "http_host_name", "http_get_ip"},
        {"network", [&] { w->IPSet->SetValues("0.0.0.0", "255.255.255.0", "0.0.0.0"); }, network, "pnlNetSet",
         nullptr, "guid", "SetupRecord0.gateway_ip"},
        {"mask with holes", [&] { w->IPSet->SetValues("10.0.0.9", "255.0.255.0", "10.0.0.1"); }, network,
         "pnlNetSet", nullptr, "guid", "SetupRecord0.unit_ip"},
        {"short address", [&] { w->IPSet->SetValues("10.1", "255.0.0.0", "10.0.0.1"); }, network, "pnlNetSet",
         nullptr, "guid", "SetupRecord0.unit_ip"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        w = std::make_unique<TfVYN>(nullptr, ini);
        w->show();
        M().ApplyDefaults();
        Set("SetupRecord0.unit_ip", "10.0.0.8");
        Set("SetupRecord0.gateway_ip", "10.0.0.77");
        Set("remote_ip", "10.0.0.6");
        w->DataToControls();
        // The model differs from the pages where a written value would show.
        Set("min_temp", int32_t(-25));
        Set("allow_trap", true);
        for (QLineEdit* edit : {w->txtVYNName, w->txtFromEmail, w->txtWriteCommunity, w->txtID})
            edit->setText(QStringLiteral("x"));
        w->txtKATime->setText(QStringLiteral("2:00"));
        w->seSourcePort->setValue(10005);
        row.edit();
        const Variant kept = M().GetValue(QString::fromLatin1(row.kept));
        EXPECT_EQ(ExceptionText([&] { w->ControlsToData(); }), row.text);
        EXPECT_EQ(w->pnlSettingsHold->children().last(), w->findChild<QWidget*>(row.page));
        EXPECT_TRUE(w->findChild<QWidget*>(row.page)->isEnabled());
        EXPECT_FALSE(w->pnlSettingsHold->isHidden());
        if (row.focused) {
            EXPECT_EQ(w->focusWidget(), w->findChild<QWidget*>(row.focused));
        }
        EXPECT_EQ(Text(row.written), "x");
        EXPECT_EQ(M().GetValue(QString::fromLatin1(row.kept)), kept) << row.kept;
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
        {"e-mail off, unresolvable SMTP name kept out", [&] { w->txtSMTPServer->setText("x.invalid"); },
         [&] { EXPECT_EQ(Text("email_smtp"), "10.0.0.25"); }},
        {"SMTP name resolved into the edit",
         [&] { w->chSendEmail->setChecked(true); w->txtSMTPServer->setText("smtp.vyn.test"); },
         [&] { EXPECT_EQ(std::pair(w->txtSMTPServer->text(), Text("email_smtp")), std::pair(Utf("10.1.2.3"), Utf("10.1.2.3"))); }},
        {"empty SNMP manager", [&] { w->chSendTrap->setChecked(true); w->txtSNMPManager->clear(); },
         [&] { EXPECT_EQ(std::pair(w->txtSNMPManager->text(), Text("snmp_manager")), std::pair(Utf("0.0.0.0"), Utf("0.0.0.0"))); }},
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
         [&] { EXPECT_EQ(std::pair(w->txtHttpIP->text(), Text("http_get_ip")), std::pair(Utf("10.1.2.5"), Utf("10.1.2.5"))); }},
        {"GET off, another scheme ignored", [&] { w->txtGetURL->setText("ftp://x/y"); },
         [&] { EXPECT_EQ(std::pair(Text("http_host_name"), Int("http_get_port")), std::pair(Utf("old"), 81)); }},
        // SOAP on: the URL's host goes into the header, resolved into the IP
        // field even over an address, and its port into the item.
        {"SOAP URL",
         [&] {
             w->chEnableSOAP->setChecked(true);
             w->txtSOAP_URL->setText("http://web.vyn.test:8080/s");
             w->txtSoapIP->setText("1.2.3.4");
         },
         [&] {
             EXPECT_EQ(w->GetSoapHeaderHost(), "web.vyn.test");
             EXPECT_EQ(w->GetSoapPostPath(), "/s");
             EXPECT_EQ(std::pair(Text("soap_ip"), Int("soap_port")), std::pair(Utf("10.1.2.5"), 8080));
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
        const QImage shot = QImage(dir.filePath(f[1])).copy(f[2].toInt(), f[3].toInt(), f[4].toInt(), f[5].toInt());
        ASSERT_FALSE(shot.isNull()) << line.toStdString();
        // Not blank: some of the page is not its background.
        int drawn = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                drawn += shot.pixel(x, y) != shot.pixel(0, 0);
        EXPECT_GT(drawn, shot.width() * shot.height() / 200) << line.toStdString();
        shots.insert(f[1], shot);
    }
    EXPECT_TRUE(bad.isEmpty()) << bad.join(u'\n').toStdString();
    // Eight pages and the wizard in both languages, each different in English.
    ASSERT_EQ(shots.size(), 18);
    for (auto it = shots.cbegin(); it != shots.cend(); ++it)
        if (it.key().startsWith(QLatin1String("cs_"))) {
            EXPECT_NE(it.value(), shots.value(QStringLiteral("en_") + it.key().mid(3))) << it.key().toStdString();
        }
}
