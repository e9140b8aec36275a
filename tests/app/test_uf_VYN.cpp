#include "MainWindowFixture.h"

#include "FrameEvents.h"
#include "app/ufrm_LMenuH.h"
#include "app/ufrm_TlacMenu.h"
#include "app/ufrm_Tlacitko.h"
#include "model/u_DevData.h"
#include "model/uf_DM.h"
#include "platform/IniFile.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMenu>
#include <QTimer>

TEST_F(MainWindowTest, StartsWithTheBuiltInDocumentInTheNoDeviceState)
{
    {
        TfVYN w(nullptr, ini);
        EXPECT_FALSE(w.FDeviceLoaded);
        EXPECT_TRUE(w.pnlNone->isVisibleTo(&w));
        for (QWidget* hidden : std::initializer_list<QWidget*>{w.pnlDevSetup, w.cmdMerit, w.lblMerit, w.pnlSettingsHold})
            EXPECT_FALSE(hidden->isVisibleTo(&w)) << hidden->objectName().toStdString();
        EXPECT_EQ(w.timMerit->interval(), 3000);
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

TEST_F(MainWindowTest, TheComponentTableCaptionsAndHints)
{
    TfVYN w(nullptr, ini);
    const struct {
        const char *name, *caption, *hint; // a null hint is not checked
    } rows[] = {
        {"menuIP", "Vyhledat podle &IP", "Vyhledat zařízení podle známé IP adresy  "},
        {"menuMAC", "Vyhledat podle &MAC", "Vyhledat zařízení podle známé MAC adresy  "},
        {"menuSetIP", "Na&stavit IP", "Změnit síťové nastavení zařízení  "},
        {"cmdSaveVals", "&Nastavit", "Uloží nastavení do zařízení."},
        {"cmdLoadVals", "Načíst ze &zařízení", "Načte ze zařízení aktuální nastavení."},
        {"cmdDefaultVal", "Výchozí &hodnoty", "Výchozí nastavení určené pro zařízení."},
        {"cmdCloseSet", "X", "Zrušit nastavení"},
        {"cmdMerit", "Měřit", "Měřit teplotu zařízení VYN"},
        {"cmdSelAdapter", "V", "Vybrat síťový adaptér"},
        {"lmTempSet", "Nastavení teploměru", nullptr},
        {"lmCommon", "  Obecné", nullptr},
        {"lmEmail", "  E-mail", nullptr},
        {"lmSNMP", "  SNMP", nullptr},
        {"lmTCP", "  TCP", nullptr},
        {"lmGet", "  HTTP GET", nullptr},
        {"lmSoap", "  SOAP", nullptr},
        {"lmNetSet", "Síťové nastavení", nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto* frame = w.findChild<TNavFrame*>(row.name);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->Caption(), QString::fromUtf8(row.caption));
        if (row.hint) {
            EXPECT_EQ(frame->Hint(), QString::fromUtf8(row.hint));
        }
    }
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("VYN - nastavení"));
    EXPECT_EQ(w.lblNone->text(), QString::fromUtf8("Vyhledejte zařízení podle jeho IP adresy nebo MAC adresy..."));
    EXPECT_EQ(w.lblMACTitle->toolTip(), QString::fromUtf8("MAC adresa nastavovaného zařízení"));
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
    EXPECT_NE(GetLanguageIniName(), ini);

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

TEST_F(MainWindowTest, CloseStoresTheLanguageAndTheLastAddresses)
{
    {
        TfVYN w(nullptr, ini);
        w.close();
    }
    platform::IniFile settings(ini);
    // The proposed default counts as the last IP; no MAC was ever given.
    EXPECT_EQ(settings.ReadString("last", "ip", "-"), "192.168.1.254");
    EXPECT_EQ(settings.ReadString("last", "mac", "-"), "-");
    EXPECT_EQ(settings.ReadString("language", "langfile", "-"), "");

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
}

TEST_F(MainWindowTest, TheTitleStripShowsTheHintOfTheTopMenuButtonUnderTheMouse)
{
    TfVYN w(nullptr, ini);
    SendEnter(w.menuSetIP);
    EXPECT_EQ(w.lblTitulek->text(), QString::fromUtf8("Změnit síťové nastavení zařízení  "));
    // Other senders show nothing; leaving empties the strip.
    w.TopMenuEnter(w.cmdSaveVals);
    EXPECT_EQ(w.lblTitulek->text(), QString::fromUtf8("Změnit síťové nastavení zařízení  "));
    SendLeave(w.menuSetIP);
    EXPECT_TRUE(w.lblTitulek->text().isEmpty());
}

TEST(TimeText, TheThreeFormsBothWays)
{
    const struct {
        int seconds;
        const char* text;
    } shown[] = {{5, "0:05"}, {75, "1:15"}, {3600, "60:00"}, {-75, "-1:15"}, {INT_MIN, "-35791394:08"}};
    for (const auto& row : shown)
        EXPECT_EQ(TfVYN::SecondsToTimeText(row.seconds), row.text) << row.seconds;
    const struct {
        const char* text;
        int seconds;
    } read[] = {{"90", 90},   {"1:30", 90},      {"0:01:30", 90}, {"0:90", 90},  {" 1: 30", 90},
                {"1:75", 135}, {"2:0:0", 7200}, {"$10", 16},     {"-1:30", -30}, {"100000", 100000}};
    for (const auto& row : read)
        EXPECT_EQ(TfVYN::TimeTextToSeconds(row.text), row.seconds) << row.text;

    for (const char* text : {"", "1:x", ":30", "1:2:3:4", "1::2", "90 ", "1.5", "596524:0:0", "99999999999"}) {
        try {
            TfVYN::TimeTextToSeconds(QString::fromUtf8(text));
            ADD_FAILURE() << "accepted: " << text;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "Bad time format") << text;
        }
    }
}
