// The search and load commands of the main window where no device is
// needed: what the operator types and the identity check's translation and
// model. The roads, the supported identities and the one-road-at-a-time
// rule run against the simulated device in the end-to-end tests.
#include "MainWindowFixture.h"
#include "tests/app/DeviceIdentity.h"

#include "app/uf_InputIP.h"
#include "app/ufrm_TlacMenu.h"
#include "app/ufrm_Tlacitko.h"
#include "model/u_DevData.h"
#include "platform/MessageBox.h"
#include "support/QStringPrint.h"

#include <QCheckBox>
#include <QDomDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace {

class DeviceCommandsTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        platform::SetMessageBoxHook([this](QWidget*, const QString& text, const QString& caption, unsigned flags) {
            Boxes << text << caption << QString::number(flags);
            return int(platform::IDOK);
        });
    }

    void TearDown() override
    {
        platform::SetMessageBoxHook(nullptr);
        TfVYN::InputQueryHook = nullptr;
        TfInputIP::ModalHook = nullptr;
        DevicePort = DefaultDevicePort;
        MainWindowTest::TearDown();
    }

    static bool HasConversationWindow(const TfVYN& w) { return !w.findChildren<TfDataSender*>().isEmpty(); }
    QStringList Boxes; // text, caption, flags of each
};

} // namespace

// Every text here is refused; the port is taken all the same.
TEST_F(DeviceCommandsTest, TypedAddressTextIsCheckedStrictlyAndThePortFollowsTheCheckBox)
{
    TfVYN w(nullptr, ini);
    const std::array<uint8_t, 6> last{0x00, 0x20, 0x4a, 0xbc, 0xde, 0xf0}, device{0x02, 0x76, 0x79, 0x6e, 0x00, 0x99};
    w.FLastIP = StrToIP("10.0.0.7");
    w.FDevIP = StrToIP("10.0.0.8");
    w.FLastMAC = last;
    w.FDevMAC = device;
    QString typed;
    int port = 0; // 0: the check box stays unticked
    bool ok = true;
    QStringList asked;
    TfVYN::InputQueryHook = [&](QWidget*, const QString& title, const QString& prompt, QString& text) {
        asked << title << prompt << text;
        text = typed;
        return ok;
    };
    TfInputIP::ModalHook = [&](TfInputIP& dialog) {
        asked << dialog.windowTitle() << dialog.lblIP->text() << dialog.txtIP->text();
        EXPECT_FALSE(dialog.chPort->isChecked());
        EXPECT_EQ(dialog.txtPort->value(), 40001);
        dialog.txtIP->setText(typed);
        if (port) {
            dialog.chPort->click();
            dialog.txtPort->setValue(port);
        }
        (ok ? dialog.cmdOK : dialog.cmdCancel)->click();
    };
    const struct {
        bool ip;
        const char* text;
        int port;
        uint16_t devicePort;
    } rows[] = {
        {true, "", 0, 30718},          {true, "300.1.1.1", 0, 30718}, {true, "192.168.1", 40000, 40000},
        {true, "010.1.1.1", 0, 30718}, {true, "1.2.3.4 x", 1234, 1234}, {true, "10.0.0.7.", 0, 30718},
        {false, "00-11-22-33-44", 0, 40001}, {false, "00-1G-22-33-44-55", 0, 40001}, {false, "", 0, 40001},
        {false, "00-11-22-33-44-55-66", 0, 40001},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        DevicePort = 40001;
        Boxes.clear();
        asked.clear();
        typed = QString::fromLatin1(row.text);
        port = row.port;
        (row.ip ? w.menuIP : w.menuMAC)->TlacClick();
        EXPECT_EQ(asked, (QStringList{QString::fromUtf8("Vyhledání zařízení"),
                                      QString::fromUtf8(row.ip ? "Zadejte IP adresu zařízení:"
                                                               : "Zadejte MAC adresu zařízení:"),
                                      row.ip ? "10.0.0.7" : "00-20-4a-bc-de-f0"}));
        EXPECT_EQ(DevicePort, row.devicePort);
        EXPECT_EQ(Boxes, (QStringList{QString::fromUtf8(row.ip ? "Toto není platná IP adresa"
                                                               : "Toto není platná MAC adresa"),
                                      QString::fromUtf8("Upozornění"), "48"}));
        EXPECT_EQ(w.FLastIP, StrToIP("10.0.0.7"));
        EXPECT_EQ(w.FLastMAC, last);
        EXPECT_EQ(w.FDevMAC, device);
        EXPECT_FALSE(HasConversationWindow(w));
    }

    // The proposals fall back to the device's address, the IP then to the
    // default; Cancel leaves the port and shows nothing.
    Boxes.clear();
    asked.clear();
    ok = false;
    typed = QStringLiteral("00-11-22-33-44-55");
    w.FLastIP = 0;
    w.menuIP->TlacClick();
    w.FDevIP = 0;
    w.menuIP->TlacClick();
    w.FLastMAC = {};
    w.menuMAC->TlacClick();
    ASSERT_EQ(asked.size(), 9);
    EXPECT_EQ((QStringList{asked[2], asked[5], asked[8]}),
              (QStringList{"10.0.0.8", "192.168.1.254", "02-76-79-6e-00-99"}));
    EXPECT_EQ(DevicePort, 40001);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(w.FDevMAC, device);
}

TEST_F(DeviceCommandsTest, IdentityCheckNeedsBothItemsAndTakesOnlyPercentSFromTheTranslation)
{
    WriteFile(QStringLiteral("test.lng"), "<lang><const><NespravnaVerzeZarizeni text=\"Verze %1 %d 100% (%s)\"/>"
                                          "<Chyba text=\"Chyba\"/></const></lang>\n");
    Language.LoadFromFile(dir.filePath(QStringLiteral("test.lng")));
    TfVYN w(nullptr, ini);
    SetDeviceIdentity(w, 0xEE03, 201, 18);
    w.FDeviceLoaded = true;
    w.UpdateDeviceState();
    EXPECT_EQ(Boxes, (QStringList{"Verze %1 %d 100% (1.8)", "Chyba", "48"}));

    // A model whose record lacks devid_prefix loads any device.
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(QByteArray(
        "<datamanager name=\"VYN\"><datapacket name=\"SetupRecord4\" size=\"130\" h_query=\"000000e4\" "
        "h_answer=\"000000d4\" type=\"setuprecord\"><dataitem name=\"device_type\" type=\"number\" size=\"2\" "
        "position=\"119\"/><dataitem name=\"device_version\" type=\"number\" size=\"1\" position=\"118\"/>"
        "</datapacket></datamanager>")));
    w.FDataManager = std::make_unique<TDataManager>(doc.documentElement());
    SetDeviceIdentity(w, 0x1234, 999, 1);
    Boxes.clear();
    w.FDeviceLoaded = true;
    w.UpdateDeviceState();
    EXPECT_TRUE(w.FDeviceLoaded);
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(DeviceCommandsTest, NoSearchLoadOrCloseWhileARoadRuns)
{
    TfVYN w(nullptr, ini);
    int asked = 0;
    TfInputIP::ModalHook = [&](TfInputIP&) { ++asked; };
    TfVYN::InputQueryHook = [&](QWidget*, const QString&, const QString&, QString&) { return bool(++asked); };
    w.show();
    w.FDevIP = StrToIP("10.0.0.8");
    GiveSupportedIdentity(w);
    w.FDeviceLoaded = true;
    {
        TfVYN::TRoadGuard road(w);
        w.menuIP->TlacClick();
        w.menuMAC->TlacClick();
        w.cmdLoadVals->TlacClick();
        EXPECT_FALSE(w.close());
    }
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(w.FDeviceLoaded);
    EXPECT_FALSE(HasConversationWindow(w));
    EXPECT_TRUE(w.close());
}
