// The search and load commands of the main window where no device is
// needed: what the operator types, the identity check on a given model and
// the one-road-at-a-time rule. The roads themselves run against the
// simulated device in the end-to-end tests.
#include "MainWindowFixture.h"
#include "tests/app/DeviceIdentity.h"

#include "app/Panel.h"
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
#include <QTimer>

#include <vector>

namespace {

using MAC = std::array<uint8_t, 6>;

struct TBox
{
    QString Text;
    QString Caption;
    unsigned Flags = 0;
};

class DeviceCommandsTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        platform::SetMessageBoxHook([this](QWidget*, const QString& text, const QString& caption, unsigned flags) {
            Boxes.push_back({text, caption, flags});
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

    std::vector<TBox> Boxes;
};

const QString kBadMAC = QString::fromUtf8("Toto není platná MAC adresa");
const QString kBadIP = QString::fromUtf8("Toto není platná IP adresa");
const QString kWarning = QString::fromUtf8("Upozornění");

} // namespace

TEST_F(DeviceCommandsTest, TypedMACTextIsTakenOnlyWhenItGivesSixBytes)
{
    TfVYN w(nullptr, ini);
    const MAC last{0x00, 0x20, 0x4a, 0xbc, 0xde, 0xf0};
    const MAC device{0x02, 0x76, 0x79, 0x6e, 0x00, 0x99};
    w.FLastMAC = last;
    w.FDevMAC = device;

    QString typed;
    QStringList asked;
    TfVYN::InputQueryHook = [&](QWidget* owner, const QString& title, const QString& prompt, QString& text) {
        EXPECT_EQ(owner, &w);
        asked << title << prompt << text;
        text = typed;
        return true;
    };
    for (const char* text : {"00-11-22-33-44", "00-1G-22-33-44-55", "00:11:22:33:44:55", "", "00-11-22-33-44-55-66",
                             "zz"}) {
        SCOPED_TRACE(text);
        typed = QString::fromLatin1(text);
        Boxes.clear();
        asked.clear();
        w.menuMAC->TlacClick();
        EXPECT_EQ(asked, (QStringList{QString::fromUtf8("Vyhledání zařízení"),
                                      QString::fromUtf8("Zadejte MAC adresu zařízení:"), "00-20-4a-bc-de-f0"}));
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].Text, kBadMAC);
        EXPECT_EQ(Boxes[0].Caption, kWarning);
        EXPECT_EQ(Boxes[0].Flags, 48u);
        EXPECT_EQ(w.FLastMAC, last);
        EXPECT_EQ(w.FDevMAC, device);
        EXPECT_FALSE(HasConversationWindow(w));
    }

    // Without a last MAC the device's is proposed; Cancel does nothing.
    w.FLastMAC = {};
    Boxes.clear();
    asked.clear();
    TfVYN::InputQueryHook = [&](QWidget*, const QString&, const QString&, QString& text) {
        asked << text;
        text = QStringLiteral("00-11-22-33-44-55");
        return false;
    };
    w.menuMAC->TlacClick();
    EXPECT_EQ(asked, QStringList{"02-76-79-6e-00-99"});
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(w.FDevMAC, device);
    EXPECT_EQ(w.FLastMAC, MAC{});
}

TEST_F(DeviceCommandsTest, TypedIPTextIsCheckedStrictlyAndThePortFollowsTheCheckBox)
{
    TfVYN w(nullptr, ini);
    w.FLastIP = StrToIP("10.0.0.7");
    w.FDevIP = StrToIP("10.0.0.8");

    struct Row {
        const char* text;
        bool ticked;
        int port;
        uint16_t devicePort;
    };
    // Every text here is refused; the port is taken all the same.
    const Row rows[] = {
        {"", false, 0, 30718},          {"300.1.1.1", false, 0, 30718}, {"192.168.1", true, 40000, 40000},
        {"010.1.1.1", false, 0, 30718}, {"1.2.3.4 x", true, 1234, 1234}, {"10.0.0.7.", false, 0, 30718},
    };
    QStringList asked;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        DevicePort = 40001;
        Boxes.clear();
        asked.clear();
        TfInputIP::ModalHook = [&](TfInputIP& dialog) {
            asked << dialog.windowTitle() << dialog.lblIP->text() << dialog.txtIP->text();
            EXPECT_FALSE(dialog.chPort->isChecked());
            EXPECT_EQ(dialog.txtPort->value(), 40001);
            dialog.txtIP->setText(QString::fromLatin1(row.text));
            if (row.ticked) {
                dialog.chPort->click();
                dialog.txtPort->setValue(row.port);
            }
            dialog.cmdOK->click();
        };
        w.menuIP->TlacClick();
        EXPECT_EQ(asked, (QStringList{QString::fromUtf8("Vyhledání zařízení"),
                                      QString::fromUtf8("Zadejte IP adresu zařízení:"), "10.0.0.7"}));
        EXPECT_EQ(DevicePort, row.devicePort);
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].Text, kBadIP);
        EXPECT_EQ(Boxes[0].Caption, kWarning);
        EXPECT_EQ(Boxes[0].Flags, 48u);
        EXPECT_EQ(w.FLastIP, StrToIP("10.0.0.7"));
        EXPECT_FALSE(HasConversationWindow(w));
    }

    // The proposal falls back to the device's address, then to the default;
    // Cancel leaves the port and shows nothing.
    DevicePort = 40001;
    Boxes.clear();
    TfInputIP::ModalHook = [&](TfInputIP& dialog) {
        asked << dialog.txtIP->text();
        dialog.cmdCancel->click();
    };
    asked.clear();
    w.FLastIP = 0;
    w.menuIP->TlacClick();
    w.FDevIP = 0;
    w.menuIP->TlacClick();
    EXPECT_EQ(asked, (QStringList{"10.0.0.8", "192.168.1.254"}));
    EXPECT_EQ(DevicePort, 40001);
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(DeviceCommandsTest, IdentityCheckNeedsBothItemsAndTakesOnlyPercentSFromTheTranslation)
{
    // A translation carrying other percent signs.
    WriteFile(QStringLiteral("test.lng"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<lang><const><NespravnaVerzeZarizeni "
              "text=\"Verze %1 %d 100% (%s)\"/></const></lang>\n");
    Language.LoadFromFile(dir.filePath(QStringLiteral("test.lng")));
    TfVYN w(nullptr, ini);
    SetDeviceIdentity(w, 0xEE03, 201, 18);
    w.FDeviceLoaded = true;
    w.UpdateDeviceState();
    EXPECT_FALSE(w.FDeviceLoaded);
    EXPECT_TRUE(w.pnlNone->isVisibleTo(&w));
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Verze %1 %d 100% (1.8)");
    EXPECT_EQ(Boxes[0].Caption, "Error");
    EXPECT_EQ(Boxes[0].Flags, 48u);

    // A model whose record lacks devid_prefix loads any device.
    QDomDocument doc;
    ASSERT_TRUE(doc.setContent(QByteArray(
        "<datamanager name=\"VYN\"><datapacket name=\"SetupRecord4\" size=\"130\" h_query=\"000000e4\" "
        "h_answer=\"000000d4\" type=\"setuprecord\"><dataitem name=\"$header\" type=\"hexa\" size=\"4\" "
        "position=\"0\"/><dataitem name=\"device_type\" type=\"number\" size=\"2\" position=\"119\"/>"
        "<dataitem name=\"device_version\" type=\"number\" size=\"1\" position=\"118\"/></datapacket>"
        "</datamanager>")));
    w.FDataManager = std::make_unique<TDataManager>(doc.documentElement());
    SetDeviceIdentity(w, 0x1234, 999, 1);
    Boxes.clear();
    w.FDeviceLoaded = true;
    w.UpdateDeviceState();
    EXPECT_TRUE(w.FDeviceLoaded);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_TRUE(w.pnlDevSetup->isVisibleTo(&w));
}
