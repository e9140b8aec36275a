#include "PagesFixture.h"
#include "DeviceIdentity.h"
#include "XvfbRun.h"

#include "app/Panel.h"

#include <QImage>
#include <QStyle>
#include <QTest>
#include <QTemporaryDir>

#include <functional>
#include <map>

namespace {

const QString Invalid = Utf("Neplatný nebo momentálně nedostupný hostitel.");

// What a control shows, with the length or range it takes: "VYN [23]",
// "80 0..65535", "Pasivní of Pasivní,Aktivní".
QString State(QWidget* c)
{
    if (auto* e = qobject_cast<QLineEdit*>(c))
        return e->maxLength() < 32767 ? QStringLiteral("%1 [%2]").arg(e->text()).arg(e->maxLength()).trimmed()
                                      : e->text();
    if (auto* s = qobject_cast<QSpinBox*>(c))
        return QStringLiteral("%1 %2..%3").arg(s->value()).arg(s->minimum()).arg(s->maximum());
    if (auto* u = qobject_cast<TUpDown*>(c))
        return QStringLiteral("%1 %2..%3").arg(u->Position()).arg(u->Min()).arg(u->Max());
    if (auto* cb = qobject_cast<QComboBox*>(c))
        return cb->currentText() + QStringLiteral(" of ") + cb->itemText(0) + u',' + cb->itemText(1);
    if (auto* b = qobject_cast<QCheckBox*>(c))
        return b->text();
    if (auto* l = qobject_cast<QLabel*>(c))
        return l->text();
    if (auto* b = qobject_cast<TfrmTlacitko*>(c))
        return b->Caption();
    return QString();
}

} // namespace

TEST_F(PagesTest, EveryControlStartsOnItsPageWithItsStateAndTheLimitsOfItsItem)
{
    struct Row {
        const char* name;
        const char* page;
        bool enabled;
        const char* state;
    };
    const Row rows[] = {
        {"txtVYNName", "pnlCommon", true, "VYN [23]"}, {"seWebPort", "pnlCommon", true, "80 0..65535"},
        {"chSendEmail", "pnlEmail", true, "Zasílat teplotu na e-mail (při překročení limitů)"},
        {"txtSMTPServer", "pnlEmail", false, "0.0.0.0"}, {"cmdSMTP_GIP", "pnlEmail", false, "@"},
        {"seEmailPeriod", "pnlEmail", false, "0 0..65535"}, {"txtFromEmail", "pnlEmail", false, "[48]"},
        {"txtToEmail", "pnlEmail", false, "[48]"}, {"txtMinTemp", "pnlEmail", true, "-999,9"},
        {"udMinTemp", "pnlEmail", true, "-9999 -9999..9999"}, {"txtMaxTemp", "pnlEmail", true, "999,9"},
        {"udMaxTemp", "pnlEmail", true, "9999 -9999..9999"}, {"txtHystereze", "pnlEmail", true, "1"},
        {"udHystereze", "pnlEmail", true, "10 0..100"}, {"chSendTrap", "pnlSNMP", true, "Zasílat SNMP trapy"},
        {"txtSNMPManager", "pnlSNMP", false, "0.0.0.0"}, {"cmdSNMP_GIP", "pnlSNMP", false, "@"},
        {"txtReadCommunity", "pnlSNMP", false, "[15]"}, {"txtWriteCommunity", "pnlSNMP", false, "[15]"},
        {"txtKATime", "pnlSNMP", false, "0:00 [15]"}, {"lblKATime", "pnlSNMP", true, "Keep-alive trap period"},
        {"txtMinTemp2", "pnlSNMP", true, "-999,9"}, {"udMinTemp2", "pnlSNMP", true, "-9999 -9999..9999"},
        {"txtMaxTemp2", "pnlSNMP", true, "999,9"}, {"udMaxTemp2", "pnlSNMP", true, "9999 -9999..9999"},
        {"txtHystereze2", "pnlSNMP", true, "1"}, {"udHystereze2", "pnlSNMP", true, "10 0..100"},
        {"cbTCPType", "pnlTCP", true, "Pasivní of Pasivní,Aktivní"}, {"seSourcePort", "pnlTCP", true, "10001 1..65535"},
        {"txtRemoteIP", "pnlTCP", false, ""}, {"seRemotePort", "pnlTCP", false, "0 0..65535"},
        {"chKeepConn", "pnlTCP", false, "Udržovat spojení"}, {"seInterval", "pnlTCP", true, "10 0..65535"},
        {"chEnableURLGet", "pnlGET", true, "Zasílat teplotu na HTTP server"}, {"txtGetURL", "pnlGET", false, ""},
        {"cmdHTTP_GIP", "pnlGET", false, "@"}, {"txtHttpIP", "pnlGET", false, ""},
        {"seInterval2", "pnlGET", true, "10 2..3600"}, {"txtID", "pnlGET", true, "[40]"},
        {"IPSet", "pnlNetSet", true, ""}, {"lblCurrentIP", "pnlNetSet", true, "Současná IP adresa : "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto* control = w->findChild<QWidget*>(row.name);
        ASSERT_TRUE(control);
        EXPECT_TRUE(w->findChild<QWidget*>(row.page)->isAncestorOf(control));
        EXPECT_EQ(Enabled(control), row.enabled);
        EXPECT_EQ(State(control), Utf(row.state));
    }
    for (QCheckBox* box : {w->chSendEmail, w->chSendTrap, w->chKeepConn, w->chEnableURLGet, w->chEnableSOAP})
        EXPECT_FALSE(box->isChecked()) << box->objectName().toStdString();
    EXPECT_EQ(w->cmdSMTP_GIP->Hint(), Utf("Převést symbolickou adresu na IP adresu (musí být dostupná)"));
    EXPECT_EQ(w->cmdHTTP_GIP->Hint(), Utf("Zjistit automaticky IP adresu serveru (musí být dostupný)"));
}

// A shared-values mark takes its icon when its page is first shown, in the
// place its stand-in held.
TEST_F(PagesTest, ASharedMarkShowsTheInformationIconOnceItsPageIsShown)
{
    auto* mark = w->findChild<QLabel*>(QStringLiteral("imgBandShared"));
    ASSERT_TRUE(mark);
    const QSize place = mark->sizeHint();
    w->show();
    GiveSupportedIdentity(*w);
    w->FDeviceLoaded = true;
    w->UpdateDeviceState();
    w->LMenuClick(w->lmEmail);
    ASSERT_TRUE(mark->isVisible());
    const QPixmap icon = mark->style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(16, 16);
    EXPECT_EQ(mark->pixmap().toImage(), icon.toImage());
    EXPECT_EQ(mark->sizeHint(), place);
}

TEST_F(PagesTest, ItemsShowInTheirControlsAndComeBackAsTheyWereOrInTheirStoredForm)
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
    const auto records = [&] { // all setup records
        QByteArray all;
        for (int i = 0; i < M().Count(); ++i)
            all += M().GetPacket(i)->PacketType() == ptSetup ? M().GetPacket(i)->GetDataAsString() : QByteArray();
        return all;
    };
    w->FDevIP = StrToIPAddr(QStringLiteral("10.0.0.8"));
    const QByteArray before = records();
    ASSERT_TRUE(w->DataToControls());

    // What is not shown as stored (the round trip below pins the rest).
    const std::pair<QWidget*, const char*> shown[] = {
        {w->txtMinTemp, "-5,5"},           {w->txtMinTemp2, "-5,5"},          {w->udMinTemp2, "-55 -9999..9999"},
        {w->txtMaxTemp2, "25,5"},          {w->txtHystereze2, "1,5"},         {w->udHystereze2, "15 0..100"},
        {w->txtKATime, "0:05 [15]"},       {w->seInterval2, "60 2..3600"},    {w->IPSet->txtMask, "255.255.255.0"},
        {w->txtGetURL, "http://web.vyn.test:8080/t.php"}, {w->lblCurrentIP, "Současná IP adresa : 10.0.0.8"},
        {w->cbTCPType, "Aktivní of Pasivní,Aktivní"},
    };
    for (const auto& [control, state] : shown)
        EXPECT_EQ(State(control), Utf(state)) << control->objectName().toStdString();
    // The groups follow their switches, also when loading set them.
    for (QWidget* c : std::initializer_list<QWidget*>{w->txtSMTPServer, w->txtKATime, w->txtHttpIP, w->txtRemoteIP})
        EXPECT_TRUE(Enabled(c)) << c->objectName().toStdString();
    EXPECT_FALSE(Enabled(w->seSourcePort));
    ASSERT_TRUE(w->ControlsToData());
    EXPECT_EQ(records().toHex(' '), before.toHex(' '));

    // Names become addresses, in the edit too; a SOAP URL's host goes into
    // the header and, resolved, over the address of the IP field.
    w->txtSMTPServer->setText(QStringLiteral("smtp.vyn.test"));
    w->txtSNMPManager->clear();
    w->txtKATime->setText(QStringLiteral("1:75"));
    w->txtGetURL->setText(QStringLiteral("H:8080/x"));
    w->txtHttpIP->setText(QStringLiteral("web.vyn.test"));
    w->chEnableSOAP->setChecked(true);
    w->txtSOAP_URL->setText(QStringLiteral("http://web.vyn.test:8081/s"));
    w->txtSoapIP->setText(QStringLiteral("1.2.3.4"));
    w->txtMinTemp->setText(QStringLiteral("-2000"));
    w->seWebPort->findChild<QLineEdit*>()->setText(QStringLiteral("8088")); // typed, not confirmed
    ASSERT_NO_THROW(w->ControlsToData());
    const std::pair<const char*, const char*> stored[] = {
        {"email_smtp", "10.1.2.3"}, {"snmp_manager", "0.0.0.0"}, {"snmp_trap_period", "135"}, {"http_host_name", "H"},
        {"http_get_port", "8080"},  {"http_get_path", "x"},      {"http_get_ip", "10.1.2.5"},  {"soap_ip", "10.1.2.5"},
        {"soap_port", "8081"},      {"min_temp", "-9999"},       {"web_port", "8088"}};
    for (const auto& [item, text] : stored)
        EXPECT_EQ(Text(item), Utf(text)) << item;
    EXPECT_EQ(w->txtSMTPServer->text() + u' ' + w->txtSNMPManager->text() + u' ' + w->txtHttpIP->text(),
              QStringLiteral("10.1.2.3 0.0.0.0 10.1.2.5"));
    EXPECT_EQ(w->GetSoapHeaderHost() + w->GetSoapPostPath(), QStringLiteral("web.vyn.test/s"));

    // Switched off, a name that does not resolve and another scheme are left
    // out; a mode the list lacks shows no item and is kept.
    Set("tcp_mode", int32_t(2));
    w->DataToControls();
    EXPECT_FALSE(Enabled(w->seSourcePort) || Enabled(w->txtRemoteIP));
    w->chSendEmail->setChecked(false);
    w->txtSMTPServer->setText(QStringLiteral("x.invalid"));
    w->chEnableURLGet->setChecked(false);
    w->txtGetURL->setText(QStringLiteral("ftp://x/y"));
    ASSERT_NO_THROW(w->ControlsToData());
    EXPECT_EQ(Text("email_smtp") + u' ' + Text("http_host_name"), QStringLiteral("10.1.2.3 H"));
    EXPECT_EQ(std::pair(Int("http_get_port"), Int("tcp_mode")), std::pair(8080, 2));
}

TEST_F(PagesTest, ARefusedControlShowsItsPageAndFocusAndKeepsWhatWasWritten)
{
    struct Row {
        const char* name;
        std::function<void()> edit;
        QString text;
        const char* page;
        const char* focused; // null: none
        const char* kept;    // an item the walk did not reach
    };
    const auto get = [&](const char* url) {
        w->chEnableURLGet->setChecked(true);
        w->txtGetURL->setText(Utf(url));
    };
    const QString network = Utf("Síťové nastavení není v pořádku.");
    const Row rows[] = {
        {"SMTP name", [&] { w->chSendEmail->setChecked(true); w->txtSMTPServer->setText("x.invalid"); },
         "x.invalid\r\n" + Invalid, "pnlEmail", "txtSMTPServer", "email_from"},
        {"temperature", [&] { w->txtMinTemp->setText("abc"); }, Utf("Hodnota abc není číslo."), "pnlEmail",
         "txtMinTemp", "min_temp"},
        {"SNMP name", [&] { w->chSendTrap->setChecked(true); w->txtSNMPManager->setText("y.invalid"); },
         "y.invalid\r\n" + Invalid, "pnlSNMP", "txtSNMPManager", "snmp_trap_period"},
        {"keep-alive 1:", [&] { w->chSendTrap->setChecked(true); w->txtKATime->setText("1:"); },
         "Bad format of SNMP Keep-Alive period", "pnlSNMP", "txtKATime", "snmp_trap_period"},
        // Traps off: the range holds all the same; the edit cannot take the focus.
        {"keep-alive 61:00", [&] { w->txtKATime->setText("61:00"); },
         "SNMP Keep-Alive period must be between 0 and 3600", "pnlSNMP", nullptr, "unit_port"},
        {"remote address", [&] { w->cbTCPType->setCurrentIndex(1); w->txtRemoteIP->setText("10.0.0.x"); },
         "10.0.0.x\r\n" + Invalid, "pnlTCP", nullptr, "remote_ip"},
        {"GET scheme", [&] { get("ftp://x"); }, "Invalid HTTP prefix ftp://", "pnlGET", "txtGetURL", "http_host_name"},
        {"port 70000", [&] { get("http://h:70000/p"); }, Utf("Port 70000 není v rozsahu 1 až 65535."), "pnlGET", "txtGetURL", "http_host_name"},
        {"host of 31 bytes", [&] { get("http://abcdefghijklmnopqrstuvwxyz12345/p"); }, Utf("Text je příliš dlouhý (nejvýše 30 znaků)."), "pnlGET",
         "txtGetURL", "http_host_name"},
        {"GET server", [&] { get("http://x/p"); w->txtHttpIP->setText("z.invalid"); }, Utf("Server z.invalid je momentálně nedostupný. Prosím vyplňte ručně IP adresu."),
         "pnlGET", "txtHttpIP", "http_get_path"},
        {"network", [&] { w->IPSet->SetValues("0.0.0.0", "255.255.255.0", "0.0.0.0"); }, network, "pnlNetSet",
         nullptr, "SetupRecord0.gateway_ip"},
    };
    w->show();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        M().ApplyDefaults();
        Set("SetupRecord0.unit_ip", "10.0.0.8");
        Set("SetupRecord0.gateway_ip", "10.0.0.77");
        Set("remote_ip", "10.0.0.6");
        w->DataToControls();
        // The model differs from the pages where a written value would show.
        Set("min_temp", int32_t(-25));
        w->txtVYNName->setText(QStringLiteral("x"));
        w->txtFromEmail->setText(QStringLiteral("x"));
        w->txtKATime->setText(QStringLiteral("2:00"));
        w->seSourcePort->setValue(10005);
        row.edit();
        const Variant kept = M().GetValue(QString::fromLatin1(row.kept));
        EXPECT_EQ(ExceptionText([&] { w->ControlsToData(); }), row.text);
        EXPECT_EQ(w->pnlSettingsHold->children().last(), w->findChild<QWidget*>(row.page));
        EXPECT_TRUE(w->findChild<QWidget*>(row.page)->isEnabled());
        if (row.focused) {
            EXPECT_EQ(w->focusWidget(), w->findChild<QWidget*>(row.focused));
        }
        EXPECT_EQ(Text("vyn_name"), "x"); // the first item, written before
        EXPECT_EQ(M().GetValue(QString::fromLatin1(row.kept)), kept) << row.kept;
    }
}

// Every text item of the mapping document takes a text exactly as long as
// its record field (in the device's one-byte characters) and refuses one
// character more: typed into its page, the edit stops at the field's length,
// or, where the field is part of a longer text (the URL), the save refuses
// it and writes no text item.
TEST_F(PagesTest, EveryTextItemTakesTheLengthOfItsFieldAndRefusesOneCharacterMore)
{
    struct Entry {
        TfrmLMenuH* menu;
        QLineEdit* edit;
        std::function<void()> enable; // the switch of the edit's group
        QString before, after;        // the rest of the text typed
        bool editStops;
    };
    const auto none = [] {};
    const auto email = [&] { w->chSendEmail->setChecked(true); };
    const auto trap = [&] { w->chSendTrap->setChecked(true); };
    const auto get = [&] {
        w->chEnableURLGet->setChecked(true);
        w->txtHttpIP->setText(QStringLiteral("10.1.2.5"));
    };
    const std::map<QString, std::vector<Entry>> entries = {
        {"vyn_name", {{w->lmCommon, w->txtVYNName, none, {}, {}, true}}},
        {"email_from", {{w->lmEmail, w->txtFromEmail, email, {}, {}, true}}},
        {"email_to", {{w->lmEmail, w->txtToEmail, email, {}, {}, true}}},
        {"read_community", {{w->lmSNMP, w->txtReadCommunity, trap, {}, {}, true}}},
        {"write_community", {{w->lmSNMP, w->txtWriteCommunity, trap, {}, {}, true}}},
        {"guid", {{w->lmGet, w->txtID, none, {}, {}, true}, {w->lmSoap, w->txtID2, none, {}, {}, true}}},
        {"http_host_name", {{w->lmGet, w->txtGetURL, get, "http://", "/p", false}}},
        {"http_get_path", {{w->lmGet, w->txtGetURL, get, "http://h/", {}, false}}},
    };
    // Text fields no page shows.
    const QStringList unshown = {"telnet_password"};

    // Czech letters are one byte each on the device; a URL takes plain ones.
    const auto fill = [](qsizetype n, bool plain) {
        const QString letters = plain ? QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789")
                                      : Utf("Příliš žluťoučký kůň úpěl ďábelské ódy.");
        QString text;
        while (text.size() < n)
            text += letters;
        return text.left(n);
    };
    const auto type = [](QLineEdit* edit, const QString& text) {
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
    };

    // Every text item's value, to see that a refused save wrote none of them.
    const auto texts = [&] {
        QStringList all;
        for (int p = 0; p < M().Count(); ++p)
            for (int i = 0; i < M().GetPacket(p)->ItemCount(); ++i)
                if (const TDataItem* item = M().GetPacket(p)->Items(i); item->DataType() == dtString)
                    all << item->Name() + u'=' + FromDeviceText(M().GetPacket(p)->GetValue(item->Name()).ToText());
        return all;
    };

    w->show();
    QStringList covered;
    for (int p = 0; p < M().Count(); ++p) {
        const TDataPacket& packet = *M().GetPacket(p);
        if (packet.PacketType() != ptSetup)
            continue;
        for (int i = 0; i < packet.ItemCount(); ++i) {
            const TDataItem& item = *packet.Items(i);
            if (item.DataType() != dtString || unshown.contains(item.Name()))
                continue;
            SCOPED_TRACE(item.Name().toStdString());
            const auto found = entries.find(item.Name());
            ASSERT_NE(found, entries.end()) << "a text item no page control enters";
            covered << item.Name();
            const qsizetype n = item.GetByteSize();
            for (const Entry& entry : found->second) {
                SCOPED_TRACE(entry.edit->objectName().toStdString());
                const QString fits = fill(n, !entry.editStops);
                for (const bool oneMore : {false, true}) {
                    M().ApplyDefaults();
                    Set("SetupRecord0.unit_ip", "10.0.0.8"); // the network page holds
                    w->DataToControls();
                    w->LMenuClick(entry.menu);
                    entry.enable();
                    const QStringList before = texts();
                    type(entry.edit, entry.before + fill(n + oneMore, !entry.editStops) + entry.after);
                    if (oneMore && !entry.editStops) {
                        EXPECT_EQ(ExceptionText([&] { w->ControlsToData(); }),
                                  Utf("Text je příliš dlouhý (nejvýše %1 znaků).").arg(n));
                        EXPECT_EQ(texts(), before);
                        continue;
                    }
                    EXPECT_EQ(entry.edit->text(), entry.before + fits + entry.after) << "one more: " << oneMore;
                    ASSERT_NO_THROW(w->ControlsToData()) << "one more: " << oneMore;
                    EXPECT_EQ(Text(item.Name().toLatin1().constData()), fits) << "one more: " << oneMore;
                }
            }
        }
    }
    EXPECT_EQ(covered.size(), qsizetype(entries.size()));
}

TEST(SettingsScreens, EveryPageAndTheWizardFitOnARealDisplayInBothLanguages)
{
    QTemporaryDir dir;
    const XvfbRun run = RunOnXvfb(SCREENS_PATH, dir.path(), 90000, QStringLiteral("settings"));
    ASSERT_RAN_ON_XVFB(run);
    // Eight pages and the wizard in both languages, no control out of place.
    EXPECT_EQ(run.Out.count(QStringLiteral("SHOT ")), 18) << run.Out.toStdString();
    EXPECT_FALSE(run.Out.contains(QStringLiteral("BAD "))) << run.Out.toStdString();
    EXPECT_FALSE(QImage(dir.filePath(QStringLiteral("en_pnlEmail.png"))).isNull());
}
