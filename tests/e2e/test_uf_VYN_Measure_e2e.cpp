// The main window's temperature display against the simulated device, the
// window in the bench's PC namespace. Needs root.
#include "app/MainWindowFixture.h"
#include "tests/app/DeviceIdentity.h"

#include "app/MyUtils.h"
#include "app/ufrm_Tlacitko.h"
#include "model/u_DevData.h"
#include "support/NetBench.h"
#include "support/QStringPrint.h"
#include "support/SimDevice.h"

#include <QLabel>
#include <QLocale>
#include <QTimer>

namespace {

class WindowOnBench : public MainWindowTest
{
protected:
    void Start(const std::vector<std::string>& simOptions, int webPort)
    {
        bench = std::make_unique<NetBench>("vynm");
        sim = std::make_unique<SimDevice>(*bench, simOptions);
        pc = std::make_unique<NetBench::Entered>(bench->PcNamespace());
        QLocale::setDefault(QLocale(QLocale::Czech));
        w = std::make_unique<TfVYN>(nullptr, ini);
        // The window as a load leaves it.
        w->FDeviceLoaded = true;
        w->FDevIP = StrToIPAddr(QString::fromLatin1(NetBench::DevIp));
        w->FDataManager->SetValue("web_port", Variant(int32_t(webPort)));
        GiveSupportedIdentity(*w);
        w->UpdateDeviceState();
    }
    void SetUp() override
    {
        MainWindowTest::SetUp();
        VYN_REQUIRE_ROOT();
    }
    void TearDown() override
    {
        w.reset();
        pc.reset();
        sim.reset();
        bench.reset();
        QLocale::setDefault(QLocale::c());
        MainWindowTest::TearDown();
    }

    std::unique_ptr<NetBench> bench;
    std::unique_ptr<SimDevice> sim;
    std::unique_ptr<NetBench::Entered> pc;
    std::unique_ptr<TfVYN> w;
};

} // namespace

TEST_F(WindowOnBench, TemperatureFollowsTheDeviceOnItsWebPort)
{
    Start({"--web-port", "8080", "--temperature", "-5", "--temperature-step", "0"}, 8080);
    w->cmdMeritTlacClick();
    EXPECT_EQ(w->lblMerit->text(), QString::fromUtf8("-0,5°C"));
    EXPECT_TRUE(sim->WaitForLog("/vyn.xml"));

    sim->Set("temperature", "230");
    w->timMeritTimer();
    EXPECT_EQ(w->lblMerit->text(), QString::fromUtf8("23°C"));

    // A device that stops answering: every reading ends with its time-out.
    ASSERT_EQ(bench->RunInDev(std::string("ip route add blackhole ") + NetBench::PcIp + "/32"), 0);
    for (int i = 1; i <= 4; ++i)
        w->timMeritTimer();
    EXPECT_EQ(w->lblMerit->text(), QString::fromUtf8("??? °C"));

    w->CloseDevice();
    EXPECT_FALSE(w->timMerit->isActive());
    EXPECT_FALSE(w->lblMerit->isVisibleTo(w.get()));
}
