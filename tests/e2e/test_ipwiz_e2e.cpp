// The IP-assignment wizard and the main window's set-IP command against the
// simulated device: proposals from the device, the direct and the static ARP
// way, the outcomes on the finish page, and the device followed to its new
// address.
#include "app/WizardTestKit.h"

#include "app/Panel.h"
#include "app/uf_VYN.h"
#include "lang/uLanguageForms.h"

#include <QTemporaryDir>

namespace {

const std::array<uint8_t, 6> kDevMacBytes{0x02, 0x76, 0x79, 0x6e, 0x00, 0x02};
const std::array<uint8_t, 6> kOtherMac{0x02, 0x76, 0x79, 0x6e, 0x00, 0x99};

uint32_t Addr(const char* text)
{
    return StrToIP(QString::fromLatin1(text));
}

// Next with the device's MAC, then the new address set with the mask and
// gateway the page holds (automatic mask unless a mask is given).
void SetAddress(TfSetIPWiz& w, const QString& ip, const QString& mask = QString())
{
    WizardTest::Click(w.cmdMAC_Next);
    ASSERT_EQ(w.Pages->currentWidget(), w.pnlIP);
    WizardTest::Type(w.IPSet->txtIP, ip);
    w.IPSet->SetAutoMask(mask.isEmpty());
    if (!mask.isEmpty())
        WizardTest::Type(w.IPSet->txtMask, mask);
    WizardTest::Click(w.cmdSetIP);
}

} // namespace

TEST_F(WizardTest, FoundDeviceIsProposedAndSetDirectlyOnTheStandardPort)
{
    Start({"--gateway", "10.213.0.1"});
    // Another port for the main window's searches; the wizard keeps its own.
    DevicePort = 40000;
    std::array<uint8_t, 6> mac{};
    const int32_t result = Run(
        [&](TfSetIPWiz& w) {
            Type(w.txtMAC, kDevMac);
            Click(w.cmdMAC_Next);
            ASSERT_EQ(Page(w), "pnlIP");
            EXPECT_EQ(w.IPSet->txtIP->text(), QStringLiteral("10.213.0.2"));
            EXPECT_EQ(w.IPSet->txtMask->text(), QStringLiteral("255.255.255.0"));
            EXPECT_FALSE(w.IPSet->chAutoMask->isChecked());
            EXPECT_EQ(w.IPSet->txtGate->text(), QStringLiteral("10.213.0.1"));

            Type(w.IPSet->txtIP, QStringLiteral("10.213.0.50"));
            w.IPSet->SetAutoMask(true);
            Click(w.cmdSetIP);
            EXPECT_TRUE(Boxes.empty());
            ASSERT_EQ(Page(w), "pnlFinish");
            EXPECT_EQ(w.lblFinish->text(), QStringLiteral("IP adresa byla nastavena na 10.213.0.50."));
            EXPECT_TRUE(ShowsIcon(w.imgSit, iconTick));
            EXPECT_FALSE(w.cmdFin_Again->isVisible());
            EXPECT_FALSE(w.lblAgain->isVisible());
            EXPECT_TRUE(w.Sender.isNull());
            // Enter has no button on this page; Escape is the end button.
            Key(w, Qt::Key_Return);
            EXPECT_TRUE(w.isVisible());
            Key(w, Qt::Key_Escape);
            EXPECT_FALSE(w.isVisible());
        },
        mac);
    EXPECT_EQ(result, 6);
    EXPECT_EQ(mac, kDevMacBytes);
    EXPECT_EQ(IP, Addr("10.213.0.50"));
    EXPECT_EQ(Mask, 0u);
    EXPECT_EQ(Gateway, Addr("10.213.0.1"));
    // The standard mask: no host bits, the class's prefix.
    EXPECT_EQ(sim->Address(), "10.213.0.50/8 10.213.0.1");

    // A device reporting no host bits gets the automatic mask; with Again
    // allowed a set offers it, and the close box keeps the result.
    const int32_t again = Run(
        [&](TfSetIPWiz& w) {
            EXPECT_EQ(w.txtMAC->text(), kDevMac);
            Click(w.cmdMAC_Next);
            ASSERT_EQ(Page(w), "pnlIP");
            EXPECT_EQ(w.IPSet->txtIP->text(), QStringLiteral("10.213.0.50"));
            EXPECT_TRUE(w.IPSet->chAutoMask->isChecked());
            EXPECT_FALSE(w.IPSet->txtMask->isEnabled());
            w.IPSet->SetAutoMask(false);
            Type(w.IPSet->txtMask, QStringLiteral("255.255.0.0"));
            Key(w, Qt::Key_Return);
            ASSERT_EQ(Page(w), "pnlFinish");
            EXPECT_TRUE(w.cmdFin_Again->isVisible());
            EXPECT_TRUE(w.lblAgain->isVisible());
            w.close();
        },
        mac, true);
    EXPECT_EQ(again, 6);
    EXPECT_EQ(Mask, Addr("255.255.0.0"));
    EXPECT_EQ(sim->Address(), "10.213.0.50/16 10.213.0.1");
}

TEST_F(WizardTest, RefusedSetIsNotSetAndOffersAgainEvenWhenNotAllowed)
{
    Start({"--refuse-sets"});
    std::array<uint8_t, 6> mac = kDevMacBytes;
    const int32_t result = Run(
        [&](TfSetIPWiz& w) {
            SetAddress(w, QStringLiteral("10.213.0.51"));
            ASSERT_EQ(Page(w), "pnlFinish");
            EXPECT_EQ(w.lblFinish->text(), QStringLiteral("IP nebyla nastavena!"));
            EXPECT_TRUE(ShowsIcon(w.imgSit, iconCross));
            EXPECT_TRUE(w.cmdFin_Again->isVisible());
            EXPECT_TRUE(w.lblAgain->isVisible());
            EXPECT_EQ(w.ResultCode, 7);

            Click(w.cmdFin_Again);
            EXPECT_EQ(Page(w), "pnlMAC");
            EXPECT_EQ(w.ResultCode, 8);
            EXPECT_EQ(w.txtMAC->text(), kDevMac);
            SetAddress(w, QStringLiteral("10.213.0.51"));
            EXPECT_EQ(Page(w), "pnlFinish");
            w.close();
        },
        mac);
    EXPECT_EQ(result, 7);
    EXPECT_EQ(IP, 0x01010101u);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(sim->Address(), "10.213.0.2/24 0.0.0.0");
}

TEST_F(WizardTest, SilentDeviceGoesTheStaticWayToNotFoundAndLeavesNoEntry)
{
    Start({"--silent"});
    Answer = [](const TQuestion& q) {
        return q.Flags == 0x32u ? int(platform::IDIGNORE) : int(platform::IDYES);
    };
    std::array<uint8_t, 6> mac = kDevMacBytes;
    const int32_t result = Run(
        [&](TfSetIPWiz& w) {
            OnBox = [&](const TQuestion& q) {
                if (q.Flags != 0x134u)
                    return;
                // The static way is about to run on the wizard's window.
                w.close();
                EXPECT_TRUE(w.isVisible());
                EXPECT_FALSE(w.Sender.isNull());
            };
            SetAddress(w, QStringLiteral("10.213.0.60"));
            ASSERT_EQ(Page(w), "pnlFinish");
            EXPECT_EQ(w.lblFinish->text(), QStringLiteral("Zařízení nebylo nalezeno!"));
            EXPECT_TRUE(ShowsIcon(w.imgSit, iconWarning));
            EXPECT_TRUE(w.cmdFin_Again->isVisible());
            Click(w.cmdFinish);
        },
        mac);
    EXPECT_EQ(result, 7);
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[1].Caption, QStringLiteral("Zařízení nebylo nalezeno"));
    EXPECT_EQ(bench->OutputInPc("ip neigh show 10.213.0.60").find("PERMANENT"), std::string::npos);
}

// The main window around the wizard, in a working directory of its own.
class SetIPCommandTest : public WizardTest
{
protected:
    void StartWindow(const std::vector<std::string>& simOptions = {}, const NetBenchOptions& options = {})
    {
        Start(simOptions, options);
        InstallWindowTranslation();
        ASSERT_TRUE(dir.isValid());
        window = std::make_unique<TfVYN>(nullptr, dir.filePath(QStringLiteral("vyn.ini")));
    }

    void TearDown() override
    {
        window.reset();
        WizardTest::TearDown();
    }

    // The command with the wizard driven by the script.
    void Command(const std::function<void(TfSetIPWiz&)>& script)
    {
        Wizards = 0;
        TfSetIPWiz::ModalHook = [&](TfSetIPWiz& w) {
            ++Wizards;
            w.show();
            script(w);
        };
        window->menuSetIPTlacClick();
    }

    QTemporaryDir dir;
    std::unique_ptr<TfVYN> window;
    int Wizards = 0;
};

TEST_F(SetIPCommandTest, DeviceOutsideTheSubnetIsSetThroughAStaticEntryAndLoadedAtItsNewAddress)
{
    NetBenchOptions options;
    options.devAddress = "192.168.50.7/24";
    options.devAnswersArp = false;
    StartWindow({}, options);
    TMessageTaker taker;
    Command([&](TfSetIPWiz& w) {
        // No other road while this one runs.
        EXPECT_TRUE(window->RoadBusy());
        window->menuSetIPTlacClick();
        EXPECT_EQ(Wizards, 1);
        EXPECT_EQ(w.txtMAC->text(), QString());
        Type(w.txtMAC, kDevMac);
        SetAddress(w, QStringLiteral("10.213.0.60"), QStringLiteral("255.255.255.0"));
        EXPECT_EQ(w.lblFinish->text(), QStringLiteral("IP adresa byla nastavena na 10.213.0.60."));
        // In the PC's subnet now, the device is reachable as any host is.
        bench->SetDevArp(true);
        Click(w.cmdFinish);
    });
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[0].Flags, 0x34u);
    EXPECT_TRUE(Boxes[0].Text.startsWith(QStringLiteral("Zařízení bylo detekováno")));
    EXPECT_EQ(Boxes[1].Text, QStringLiteral("Chcete toto zařízení nastavit?"));
    EXPECT_EQ(Boxes[1].Flags, 36u);
    EXPECT_EQ(sim->Address(), "10.213.0.60/24 0.0.0.0");
    EXPECT_EQ(bench->OutputInPc("ip neigh show 10.213.0.60").find("PERMANENT"), std::string::npos);
    EXPECT_FALSE(window->RoadBusy());
    EXPECT_TRUE(window->FDeviceLoaded);
    EXPECT_EQ(window->FDevIP, Addr("10.213.0.60"));
    EXPECT_EQ(window->FDevMAC, kDevMacBytes);
    EXPECT_TRUE(window->pnlDevSetup->isVisibleTo(window.get()));
    for (const auto& m : taker.Messages)
        ADD_FAILURE() << m.Text.toStdString();
}

TEST_F(SetIPCommandTest, TheLoadedDeviceNeedsNoQuestionAnotherOneDoesAndALostOneIsReported)
{
    StartWindow();
    TMessageTaker taker;

    // The device the window holds: straight on to waiting for it.
    window->FDevMAC = kDevMacBytes;
    window->FDeviceLoaded = true;
    Command([&](TfSetIPWiz& w) {
        EXPECT_EQ(w.txtMAC->text(), kDevMac);
        SetAddress(w, QStringLiteral("10.213.0.50"), QStringLiteral("255.255.255.0"));
        Click(w.cmdFinish);
    });
    EXPECT_TRUE(Boxes.empty());
    EXPECT_TRUE(taker.Messages.empty());
    EXPECT_TRUE(window->FDeviceLoaded);
    EXPECT_EQ(window->FDevIP, Addr("10.213.0.50"));

    // Another device: asked first; No leaves everything as it was.
    window->FDevMAC = kOtherMac;
    Answer = [](const TQuestion&) { return int(platform::IDNO); };
    int afterWizard = 0;
    Command([&](TfSetIPWiz& w) {
        Type(w.txtMAC, kDevMac);
        SetAddress(w, QStringLiteral("10.213.0.51"), QStringLiteral("255.255.255.0"));
        Click(w.cmdFinish);
        afterWizard = Received();
    });
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, QStringLiteral("Chcete toto zařízení nastavit?"));
    EXPECT_EQ(Received(), afterWizard);
    EXPECT_EQ(window->FDevMAC, kOtherMac);
    EXPECT_TRUE(window->FDeviceLoaded);

    // Yes, but the device never answers again.
    Boxes.clear();
    Answer = [](const TQuestion&) { return int(platform::IDYES); };
    Command([&](TfSetIPWiz& w) {
        Type(w.txtMAC, kDevMac);
        SetAddress(w, QStringLiteral("10.213.0.52"), QStringLiteral("255.255.255.0"));
        Click(w.cmdFinish);
        sim->Set("silent");
    });
    ASSERT_EQ(Boxes.size(), 1u);
    ASSERT_EQ(taker.Messages.size(), 1u);
    EXPECT_EQ(taker.Messages[0].Text, QStringLiteral("Zařízení nebylo nalezeno."));
    EXPECT_EQ(taker.Messages[0].Icon, iconWarning);
    EXPECT_FALSE(window->FDeviceLoaded);
    EXPECT_TRUE(window->pnlNone->isVisibleTo(window.get()));
    EXPECT_FALSE(window->RoadBusy());
}
