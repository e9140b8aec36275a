#include "MainWindowFixture.h"

#include "FrameEvents.h"
#include "app/Panel.h"
#include "app/ufrm_IPSet.h"
#include "app/ufrm_LMenuH.h"
#include "app/ufrm_TlacMenu.h"
#include "app/ufrm_Tlacitko.h"
#include "model/u_DevData.h"
#include "model/uf_DM.h"
#include "platform/IniFile.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include <memory>

namespace {

bool ShownIn(const QWidget* widget, const QWidget* window)
{
    return widget->isVisibleTo(window);
}

} // namespace

TEST_F(MainWindowTest, StartsWithTheBuiltInDocumentInTheNoDeviceState)
{
    {
        TfVYN w(nullptr, ini);
        EXPECT_EQ(w.objectName(), "fVYN");
        EXPECT_EQ(w.windowTitle(), QString::fromUtf8("VYN - nastavení"));
        ASSERT_TRUE(w.FDataManager);
        EXPECT_EQ(w.FDataManager->Count(), 6);
        EXPECT_TRUE(w.FDataManager->FindItem("SetupRecord4.device_type"));
        EXPECT_NE(fDM, nullptr);

        EXPECT_FALSE(w.FDeviceLoaded);
        EXPECT_TRUE(ShownIn(w.pnlNone, &w));
        EXPECT_FALSE(ShownIn(w.pnlDevSetup, &w));
        EXPECT_FALSE(ShownIn(w.cmdMerit, &w));
        EXPECT_FALSE(ShownIn(w.lblMerit, &w));
        EXPECT_FALSE(w.timMerit->isActive());
        EXPECT_EQ(w.timMerit->interval(), 3000);
        EXPECT_FALSE(ShownIn(w.pnlSettingsHold, &w));
        EXPECT_TRUE(w.lmTempSet->Inactive());
        for (TfrmLMenuH* item : w.pnlLMenu->findChildren<TfrmLMenuH*>())
            EXPECT_FALSE(item->Selected()) << item->objectName().toStdString();

        EXPECT_EQ(GetLanguageIniName(), ini);
        EXPECT_EQ(LocalAdapterIP, 0u);
        EXPECT_EQ(w.lblCurrentAdapter->text(), QString::fromUtf8("Zvolte síťový adaptér."));
        // No settings file: the search proposals are the defaults.
        EXPECT_EQ(w.FLastIP, StrToIP("192.168.1.254"));
        EXPECT_EQ(w.FLastMAC, (std::array<uint8_t, 6>{}));
        EXPECT_FALSE(QFile::exists(ini));
    }
    EXPECT_EQ(fDM, nullptr);
}

TEST_F(MainWindowTest, ComponentsCarryTheNamesAndTextsTheLanguageFilesUse)
{
    TfVYN w(nullptr, ini);
    for (const char* name :
         {"pnlNone", "lblNone", "pnlDevSetup", "pnlSetupLista", "lblMACTitle", "cmdCloseSet", "lblTitulek",
          "menuIP", "menuMAC", "menuSetIP", "pnlLMenu", "lmTempSet", "lmCommon", "lmEmail", "lmSNMP", "lmTCP", "lmGet",
          "lmSoap", "lmNetSet", "pnlSettings", "pnlSettingsHold", "pnlSettingsCaption", "pnlCommon", "pnlEmail",
          "pnlSNMP", "pnlTCP", "pnlGET", "pnlSOAP", "pnlSoapDoc", "pnlNetSet", "IPSet", "cmdSaveVals", "cmdLoadVals",
          "cmdDefaultVal", "cmdMerit", "lblMerit", "lblCurrentAdapter", "cmdSelAdapter"})
        EXPECT_EQ(w.findChildren<QWidget*>(name).size(), 1) << name;
    for (const char* name : {"timMerit", "tcpMerit", "pmSelAdapt", "mSelAdapt"})
        EXPECT_NE(w.findChild<QObject*>(name), nullptr) << name;

    // Every page is a panel of the holder, all on one area.
    for (TPanel* page : {w.pnlCommon, w.pnlEmail, w.pnlSNMP, w.pnlTCP, w.pnlGET, w.pnlSOAP, w.pnlSoapDoc, w.pnlNetSet}) {
        EXPECT_EQ(page->parentWidget(), w.pnlSettingsHold);
        EXPECT_EQ(page->geometry(), w.pnlCommon->geometry());
    }
    EXPECT_EQ(w.IPSet->parentWidget(), w.pnlNetSet);
    EXPECT_EQ(w.pnlNone->parentWidget(), w.pnlDevSetup->parentWidget());

    EXPECT_EQ(w.menuMAC->Hint(), QString::fromUtf8("Vyhledat zařízení podle známé MAC adresy  "));
    EXPECT_EQ(w.cmdDefaultVal->Caption(), QString::fromUtf8("Výchozí &hodnoty"));
    EXPECT_EQ(w.lmCommon->Caption(), QString::fromUtf8("  Obecné"));
    EXPECT_EQ(w.mSelAdapt->data().toUInt(), 0u);
}

TEST_F(MainWindowTest, AReplacementDocumentInTheWorkingDirectoryIsUsed)
{
    // A folder of that name is no document.
    ASSERT_TRUE(QDir(dir.path()).mkdir("VYN.dmi"));
    EXPECT_EQ(TfVYN(nullptr, ini).FDataManager->Count(), 6);
    ASSERT_TRUE(QDir(dir.path()).rmdir("VYN.dmi"));

    WriteFile("VYN.dmi", "<doc><device_mapping device_type=\"VYN\"><datamanager name=\"Test\">"
                         "<datapacket name=\"Only\" size=\"8\" h_query=\"000000e0\" h_answer=\"000000d0\" type=\"setup\">"
                         "<dataitem name=\"unit_port\" type=\"number\" size=\"2\" position=\"4\"/>"
                         "</datapacket></datamanager></device_mapping></doc>");
    TfVYN w(nullptr, ini);
    EXPECT_EQ(w.FDataManager->Name(), "Test");
    EXPECT_EQ(w.FDataManager->Count(), 1);
}

TEST_F(MainWindowTest, EachFaultOfTheMappingDocumentStopsTheWindowWithItsText)
{
    for (const MappingFault& fault : MappingFaults()) {
        WriteFile("VYN.dmi", fault.document);
        EXPECT_EQ(CreationError(), fault.text) << fault.name;
        EXPECT_EQ(fDM, nullptr) << fault.name;
        // The close request the window posted went with it.
        QCoreApplication::processEvents();
    }
    // The create handler did not run.
    EXPECT_FALSE(QFile::exists(ini));
    EXPECT_TRUE(GetLanguageIniName() != ini);

    // An unreadable document gives the parser's text.
    for (const QByteArray& bytes : {QByteArray(), QByteArray("<root><device_mapping device_type=\"VYN\">"),
                                    QByteArray("\x00\xff garbage", 10)}) {
        WriteFile("VYN.dmi", bytes);
        const QString error = CreationError();
        EXPECT_TRUE(error.contains("line")) << error.toStdString();
        EXPECT_EQ(fDM, nullptr);
    }

    // The texts speak the loaded language.
    const QString lng = dir.filePath("test.lng");
    WriteFile(lng, "<lang><const><WrongDeviceType text=\"Jiný typ zařízení.\"/></const></lang>");
    Language.LoadFromFile(lng);
    WriteFile("VYN.dmi", MappingFaults()[2].document);
    EXPECT_EQ(CreationError(), QString::fromUtf8("Jiný typ zařízení."));
}

TEST_F(MainWindowTest, TheLastAddressesComeFromTheSettingsFile)
{
    const struct {
        QByteArray settings;
        const char* ip;
        std::array<uint8_t, 6> mac;
    } cases[] = {
        {"[last]\r\nip=10.1.2.3\r\nmac=00-0A-0b-0C-0d-FF\r\n", "10.1.2.3", {0x00, 0x0A, 0x0B, 0x0C, 0x0D, 0xFF}},
        {"", "192.168.1.254", {}}, // an empty file is a missing one
        // Junk around readable keys does not hide them; half a MAC is no MAC.
        {QByteArray("\x01\xfe\xff junk\n[last\nip=\n[last]\nip=1.2\nmac=00-11-22\n", 42), "1.2.0.0", {}},
        {"[last]\nip=not an address\nmac=zz-zz-zz-zz-zz-zz\n", "0.0.0.0", {}},
    };
    for (const auto& c : cases) {
        WriteFile(ini, c.settings);
        TfVYN w(nullptr, ini);
        EXPECT_EQ(w.FLastIP, StrToIP(c.ip)) << c.settings.toStdString();
        EXPECT_EQ(w.FLastMAC, c.mac) << c.settings.toStdString();
    }
}

TEST_F(MainWindowTest, CloseStoresTheLanguageAndTheLastAddressesAndKeepsTheRest)
{
    const QByteArray before = "; kept comment\n[other]\nkey=value\n[last]\nextra=1\n";
    WriteFile(ini, before);
    {
        TfVYN w(nullptr, ini);
        w.close();
    }
    platform::IniFile settings(ini);
    // The proposed default counts as the last IP; no MAC was ever given.
    EXPECT_EQ(settings.ReadString("last", "ip", "-"), "192.168.1.254");
    EXPECT_EQ(settings.ReadString("last", "mac", "-"), "-");
    EXPECT_EQ(settings.ReadString("language", "langfile", "-"), "");
    EXPECT_EQ(settings.ReadString("other", "key", "-"), "value");
    EXPECT_EQ(settings.ReadString("last", "extra", "-"), "1");
    EXPECT_TRUE(ReadFile(ini).startsWith("; kept comment\n"));

    {
        TfVYN w(nullptr, ini);
        w.FLastIP = 0;
        w.FLastMAC = {0x00, 0x1A, 0xBC, 0x00, 0x00, 0x01};
        w.FormClose();
    }
    // A zero IP leaves the stored one; the MAC is written lower-case.
    EXPECT_EQ(settings.ReadString("last", "ip", "-"), "192.168.1.254");
    EXPECT_EQ(settings.ReadString("last", "mac", "-"), "00-1a-bc-00-00-01");

    const QString lng = dir.filePath("english.lng");
    WriteFile(lng, "<lang><const/></lang>");
    Language.LoadFromFile(lng);
    TfVYN(nullptr, ini).FormClose();
    EXPECT_EQ(settings.ReadString("language", "langfile", "-"), lng);
}

TEST_F(MainWindowTest, AFailingCloseIsReportedAndTheWindowStillCloses)
{
    // A folder where the settings file should be: it can be neither read
    // nor replaced.
    ASSERT_TRUE(QDir(dir.path()).mkdir("vyn.ini"));
    TfVYN w(nullptr, ini);
    w.show();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(w.close());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("vyn.ini"), std::string::npos) << err;
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindowTest, TheLanguageNamedInTheSettingsTranslatesTheStartingWindow)
{
    const QString lng = dir.filePath("english.lng");
    WriteFile(lng, "<lang><forms><fVYN caption=\"VYN - settings\"><pnlHeader>"
                   "<menuIP caption=\"Search by &amp;IP\"><Tlac hint=\"Find a device by its IP address\"/></menuIP>"
                   "</pnlHeader></fVYN></forms>"
                   "<const><SelectAdapter text=\"Choose a network adapter.\"/></const></lang>");
    platform::IniFile(ini).WriteString("language", "langfile", lng);
    TfVYN w(nullptr, ini);
    EXPECT_EQ(w.windowTitle(), "VYN - settings");
    EXPECT_EQ(w.menuIP->Caption(), "Search by &IP");
    EXPECT_EQ(w.lblCurrentAdapter->text(), "Choose a network adapter.");
    EXPECT_EQ(w.menuIP->Tlac->Hint(), "Find a device by its IP address");
    EXPECT_TRUE(w.menuIP->Tlac->toolTip().isEmpty()); // the hint shows in the title strip only
    SendEnter(w.menuIP);
    EXPECT_EQ(w.lblTitulek->text(), "Find a device by its IP address");
}

TEST_F(MainWindowTest, TheTopMenuShowsTheHintOfTheButtonUnderTheMouse)
{
    TfVYN w(nullptr, ini);
    EXPECT_TRUE(w.lblTitulek->text().isEmpty());
    SendEnter(w.menuIP);
    EXPECT_EQ(w.lblTitulek->text(), QString::fromUtf8("Vyhledat zařízení podle známé IP adresy  "));
    SendLeave(w.menuIP);
    EXPECT_TRUE(w.lblTitulek->text().isEmpty());
    SendEnter(w.menuSetIP);
    EXPECT_EQ(w.lblTitulek->text(), QString::fromUtf8("Změnit síťové nastavení zařízení  "));

    // Other senders show nothing.
    w.TopMenuEnter(w.cmdSaveVals);
    EXPECT_EQ(w.lblTitulek->text(), QString::fromUtf8("Změnit síťové nastavení zařízení  "));
    w.TopMenuLeave(nullptr);
    EXPECT_TRUE(w.lblTitulek->text().isEmpty());
}

TEST_F(MainWindowTest, DeselectingTheLeftMenuHidesTheSettingsHolder)
{
    TfVYN w(nullptr, ini);
    w.SelectLMenu(w.lmEmail);
    w.pnlSettingsHold->show();
    EXPECT_TRUE(w.lmEmail->Selected());
    w.SelectLMenu(w.lmSNMP);
    EXPECT_FALSE(w.lmEmail->Selected());
    EXPECT_TRUE(w.lmSNMP->Selected());

    w.DeselectLMenu();
    for (TfrmLMenuH* item : w.pnlLMenu->findChildren<TfrmLMenuH*>())
        EXPECT_FALSE(item->Selected()) << item->objectName().toStdString();
    EXPECT_FALSE(ShownIn(w.pnlSettingsHold, &w));
}

TEST_F(MainWindowTest, AnAdapterMenuItemSetsTheAdapterAddress)
{
    TfVYN w(nullptr, ini);
    QAction* item = w.pmSelAdapt->addAction("eth1 (10.0.0.2)");
    item->setData(QVariant::fromValue(StrToIP("10.0.0.2")));
    w.mSelAdaptClick(item);
    EXPECT_EQ(LocalAdapterIP, StrToIP("10.0.0.2"));
    EXPECT_EQ(w.lblCurrentAdapter->text(), "eth1 (10.0.0.2)");

    // Only menu items choose.
    w.mSelAdaptClick(w.cmdSaveVals);
    EXPECT_EQ(LocalAdapterIP, StrToIP("10.0.0.2"));

    w.mSelAdapt->trigger();
    EXPECT_EQ(LocalAdapterIP, 0u);
    EXPECT_EQ(w.lblCurrentAdapter->text(), QString::fromUtf8("Zvolte síťový adaptér."));
}

TEST(TimeText, MinutesAndSecondsBothWays)
{
    EXPECT_EQ(TfVYN::SecondsToTimeText(5), "0:05");
    EXPECT_EQ(TfVYN::SecondsToTimeText(3600), "60:00");
    EXPECT_EQ(TfVYN::SecondsToTimeText(-75), "-1:15");
    EXPECT_EQ(TfVYN::SecondsToTimeText(std::numeric_limits<int>::min()), "-35791394:08");
    for (int s : {0, 59, 60, 3599, 100000})
        EXPECT_EQ(TfVYN::TimeTextToSeconds(TfVYN::SecondsToTimeText(s)), s) << s;

    // Seconds, minutes:seconds or hours:minutes:seconds, any part may overflow.
    for (const char* text : {"90", "1:30", "0:01:30", "0:90", " 1: 30"})
        EXPECT_EQ(TfVYN::TimeTextToSeconds(text), 90) << text;
    EXPECT_EQ(TfVYN::TimeTextToSeconds("2:0:0"), 7200);
    EXPECT_EQ(TfVYN::TimeTextToSeconds("$10"), 16);
    EXPECT_EQ(TfVYN::TimeTextToSeconds("-1:30"), -30);
}

TEST(TimeText, AnythingElseIsABadTimeFormat)
{
    for (const char* text : {"", "1:x", ":30", "1:2:3:4", "1::2", "90 ", "1.5", "596524:0:0", "99999999999"}) {
        try {
            TfVYN::TimeTextToSeconds(QString::fromUtf8(text));
            ADD_FAILURE() << "accepted: " << text;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "Bad time format") << text;
        }
    }
}
