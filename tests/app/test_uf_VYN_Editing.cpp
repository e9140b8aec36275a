#include "PagesFixture.h"
#include "app/Panel.h"

#include <QToolButton>

TEST_F(PagesTest, TypedTemperaturesMoveBothUpDownsAndTheTwinEdit)
{
    // Text typed into the SNMP copy -> position; halves go to even, beyond
    // the range is clamped, what is no plain number changes nothing.
    const std::pair<const char*, int> rows[] = {
        {"25,5", 255},   {"25.5", 255}, {"0,25", 2},  {"0,35", 4}, {"-0,25", -2}, {"-0,35", -4}, {"3276,8", 9999},
        {"-1e10", -9999}, {",5", 5},    {"7", 70},    {"nan", 100}, {"inf", 100},  {"-", 100},    {"1 000", 100},
        {"1.000,5", 100}, {"abc", 100},
    };
    for (const auto& [typed, position] : rows) {
        SCOPED_TRACE(typed);
        w->udMinTemp->SetPosition(100);
        w->udMinTemp2->SetPosition(100);
        w->txtMinTemp->setText(QStringLiteral("10"));
        w->txtMinTemp2->setText(Utf(typed));
        EXPECT_EQ(w->udMinTemp->Position(), position);
        EXPECT_EQ(w->udMinTemp2->Position(), position);
        EXPECT_EQ(w->txtMinTemp->text(), position == 100 ? QStringLiteral("10") : Utf(typed));
    }
    EXPECT_EQ(w->udMaxTemp->Position(), 9999);
}

TEST_F(PagesTest, BandKeysAndArrowsStepTheFirstUpDownWithinItsRange)
{
    struct Row {
        const char* name;
        QLineEdit* edit;
        TUpDown* first;
        int start;
        Qt::Key key;
        int position;
        const char* text;
    };
    const Row rows[] = {
        {"Up at the top", w->txtMaxTemp, w->udMaxTemp, 9999, Qt::Key_Up, 9999, "999,9"},
        {"Page Up in hysteresis", w->txtHystereze, w->udHystereze, 95, Qt::Key_PageUp, 100, "10"},
        {"Down in the copy", w->txtHystereze2, w->udHystereze, 10, Qt::Key_Down, 9, "0,9"},
        {"Page Down at the bottom", w->txtMinTemp, w->udMinTemp, -9995, Qt::Key_PageDown, -9999, "-999,9"},
        {"Page Up", w->txtMaxTemp2, w->udMaxTemp, 250, Qt::Key_PageUp, 260, "26"},
        {"Enter", w->txtMaxTemp, w->udMaxTemp, 255, Qt::Key_Return, 255, "25,5"},
        {"other key", w->txtMaxTemp, w->udMaxTemp, 250, Qt::Key_F5, 250, "25"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.first->SetPosition(row.start);
        emit row.first->Click();
        QTest::keyClick(row.edit, row.key);
        EXPECT_EQ(row.first->Position(), row.position);
        EXPECT_EQ(w->findChild<TUpDown*>(row.first->objectName() + u'2')->Position(), row.position);
        EXPECT_EQ(row.edit->text(), Utf(row.text));
    }

    // The operator's arrows on either up-down: both edits and the twin.
    w->udMinTemp2->SetPosition(254);
    QTest::mouseClick(w->udMinTemp2->btnUp, Qt::LeftButton);
    EXPECT_EQ(w->udMinTemp->Position(), 255);
    EXPECT_EQ(w->txtMinTemp->text() + u' ' + w->txtMinTemp2->text(), QStringLiteral("25,5 25,5"));

    // Leaving a band edit rewrites only the first edit from its up-down.
    w->udMinTemp->SetPosition(int64_t(65536) + 5); // clamped before it becomes 16 bits
    w->txtMinTemp->setText(QStringLiteral("xy"));
    w->txtMinTempExit();
    EXPECT_EQ(w->txtMinTemp->text(), QStringLiteral("999,9"));
    w->txtMinTemp2->setText(QStringLiteral("ab"));
    w->txtMinTempExit();
    EXPECT_EQ(w->txtMinTemp2->text(), QStringLiteral("ab"));
}

TEST_F(PagesTest, SwitchesEnableTheirGroupsAndCopiesStayEqual)
{
    struct Row {
        QCheckBox* box;
        std::vector<QWidget*> group;
    };
    const std::vector<QWidget*> never{w->txtMinTemp, w->udMinTemp, w->txtHystereze2, w->seInterval2, w->txtID};
    const Row rows[] = {
        {w->chSendEmail, {w->txtSMTPServer, w->txtToEmail, w->txtFromEmail, w->cmdSMTP_GIP, w->seEmailPeriod}},
        {w->chSendTrap, {w->txtSNMPManager, w->cmdSNMP_GIP, w->txtKATime, w->txtWriteCommunity, w->txtReadCommunity}},
        {w->chEnableURLGet, {w->txtGetURL, w->txtHttpIP, w->cmdHTTP_GIP}},
        {w->chEnableSOAP, {w->txtSOAP_URL, w->txtSoapIP, w->cmdSoap_GIP, w->cmdChngSoap, w->cmdDelSoap}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.box->objectName().toStdString());
        for (bool on : {true, false}) {
            QTest::mouseClick(row.box, Qt::LeftButton);
            for (QWidget* c : row.group)
                EXPECT_EQ(Enabled(c), on) << c->objectName().toStdString();
            for (QWidget* c : never)
                EXPECT_TRUE(Enabled(c)) << c->objectName().toStdString();
        }
    }
    // The connection type: only the operator's choice runs the handler.
    w->cbTCPType->setCurrentIndex(1);
    EXPECT_FALSE(Enabled(w->txtRemoteIP));
    emit w->cbTCPType->activated(1);
    EXPECT_TRUE(Enabled(w->txtRemoteIP) && Enabled(w->seRemotePort) && Enabled(w->chKeepConn));
    EXPECT_FALSE(Enabled(w->seSourcePort));
    w->cbTCPType->setCurrentIndex(0);
    emit w->cbTCPType->activated(0);
    EXPECT_FALSE(Enabled(w->txtRemoteIP) || Enabled(w->seRemotePort) || Enabled(w->chKeepConn));
    EXPECT_TRUE(Enabled(w->seSourcePort));

    // The copies of the period and the GUID stay equal, within every range.
    w->seInterval->setValue(5000);
    EXPECT_EQ(std::pair(w->seInterval->value(), w->seInterval3->value()), std::pair(3600, 3600));
    w->seInterval2->setValue(2);
    w->seInterval->setValue(0);
    EXPECT_EQ(std::pair(w->seInterval->value(), w->seInterval3->value()), std::pair(2, 2));
    w->txtID2->setText(QStringLiteral("{2}"));
    EXPECT_EQ(w->txtID->text(), QStringLiteral("{2}"));
    w->txtID->setText(QStringLiteral("{1}"));
    EXPECT_EQ(w->txtID2->text(), QStringLiteral("{1}"));
}

TEST_F(PagesTest, HostButtonsAndEnterTurnNamesIntoAddressesAndCloseClosesTheDevice)
{
    w->show();
    w->LMenuClick(w->lmEmail);
    QTest::mouseClick(w->chSendEmail, Qt::LeftButton);
    const std::pair<const char*, const char*> rows[] = {
        {"smtp.vyn.test", "10.1.2.3"}, {"0.0.0.0", "0.0.0.0"}, {"", "0.0.0.0"}, {"x.invalid", "x.invalid"}};
    for (const auto& [typed, shown] : rows) {
        SCOPED_TRACE(typed);
        w->txtSMTPServer->setText(Utf(typed));
        QTest::keyClick(w->txtSMTPServer, Qt::Key_Return);
        EXPECT_EQ(w->txtSMTPServer->text(), Utf(shown));
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "x.invalid\r\n" + Utf("Neplatný nebo momentálně nedostupný hostitel."));
    EXPECT_EQ(boxes[0].flags, 16u);
    // The button leaves the failure to the error display.
    EXPECT_EQ(ExceptionText([&] { w->cmdSMTP_GIPClick(); }), boxes[0].text);

    w->LMenuClick(w->lmSNMP);
    QTest::mouseClick(w->chSendTrap, Qt::LeftButton);
    w->txtSNMPManager->setText(QStringLiteral("snmp.vyn.test"));
    QTest::mouseClick(w->cmdSNMP_GIP->Tlac, Qt::LeftButton);
    EXPECT_EQ(w->txtSNMPManager->text(), QStringLiteral("10.1.2.4"));

    // The HTTP server: the URL in its normal form and the server's address.
    w->LMenuClick(w->lmGet);
    QTest::mouseClick(w->chEnableURLGet, Qt::LeftButton);
    w->txtGetURL->setText(QStringLiteral("web.vyn.test/p"));
    QTest::mouseClick(w->cmdHTTP_GIP->Tlac, Qt::LeftButton);
    EXPECT_EQ(w->txtGetURL->text(), QStringLiteral("http://web.vyn.test/p"));
    EXPECT_EQ(w->txtHttpIP->text(), QStringLiteral("10.1.2.5"));
    w->txtGetURL->setText(QStringLiteral("http:///p"));
    QTest::keyClick(w->txtHttpIP, Qt::Key_Enter);
    EXPECT_EQ(w->txtHttpIP->text(), QString());
    boxes.clear();
    w->txtHttpIP->setText(QStringLiteral("1.2.3.4"));
    w->txtGetURL->setText(QStringLiteral("http://y.invalid:81/"));
    QTest::keyClick(w->txtGetURL, Qt::Key_Return);
    ASSERT_EQ(boxes.size(), 1u);
    // An empty caption: the application's title.
    EXPECT_EQ(std::pair(boxes[0].caption, boxes[0].flags), std::pair(QCoreApplication::applicationName(), 16u));
    EXPECT_EQ(w->txtHttpIP->text(), QStringLiteral("1.2.3.4"));

    // The close button closes the device.
    w->FDeviceLoaded = true;
    QTest::mouseClick(w->cmdCloseSet->Tlac, Qt::LeftButton);
    EXPECT_FALSE(w->FDeviceLoaded);
    EXPECT_TRUE(w->pnlNone->isVisible());
}
