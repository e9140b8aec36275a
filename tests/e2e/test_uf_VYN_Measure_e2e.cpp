// The main window's temperature display and SOAP document against the
// simulated device, the window in the bench's PC namespace. Needs root.
#include "app/MainWindowFixture.h"
#include "tests/app/DeviceIdentity.h"

#include "app/MyUtils.h"
#include "app/ufrm_Tlacitko.h"
#include "model/u_DevData.h"
#include "platform/HttpClient.h"
#include "support/NetBench.h"
#include "support/QStringPrint.h"
#include "support/SimDevice.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
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

    // A page the device refuses counts as a failed reading.
    sim->Set("http-404", "1");
    for (int i = 1; i <= 4; ++i) {
        w->timMeritTimer();
        EXPECT_EQ(w->lblMerit->text(), QString::fromUtf8(i < 4 ? "23°C" : "??? °C")) << i;
    }
    sim->Set("http-404", "0");

    // A device that stops answering: every reading ends with its time-out.
    ASSERT_EQ(bench->RunInDev(std::string("ip route add blackhole ") + NetBench::PcIp + "/32"), 0);
    for (int i = 1; i <= 4; ++i)
        w->timMeritTimer();
    EXPECT_EQ(w->lblMerit->text(), QString::fromUtf8("??? °C"));

    w->CloseDevice();
    EXPECT_FALSE(w->timMerit->isActive());
    EXPECT_FALSE(w->lblMerit->isVisibleTo(w.get()));
}

TEST_F(WindowOnBench, StoredDocumentIsShownByteForByte)
{
    const QByteArray document = "POST /Sensors.asmx HTTP/1.1\r\nHost: 10.213.0.1\r\n"
                                "Content-Type: application/soap+xml; charset=utf-8\r\n\r\n"
                                "<?xml version=\"1.0\"?>\r\n<t>\xC5\x88 <%val0%> <%guid%></t>\r\n";
    const QString file = dir.filePath("postsoap.xml");
    WriteFile(file, document);
    Start({"--soap", file.toStdString()}, 80);

    const QByteArray fetched = platform::HttpGet(QStringLiteral("http://%1:80/postsoap.xml").arg(NetBench::DevIp),
                                                 platform::HttpOptions{});
    EXPECT_EQ(fetched, document);
    w->SetSoapDocument(fetched);
    EXPECT_EQ(w->BuildSoapDocument(true), document);
    EXPECT_EQ(w->mSoapDoc->toPlainText(), QString::fromUtf8("<?xml version=\"1.0\"?>\n<t>ň <%val0%> <%guid%></t>\n"));
    EXPECT_EQ(w->txtSOAP_URL->text(), "http://10.213.0.1/Sensors.asmx");
}
