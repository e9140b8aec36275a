// Finding and loading a device from the main window against the simulated
// device: the real window in this process (offscreen) inside the bench's PC
// namespace, the simulator in the device namespace. Messages of the
// conversation windows are answered with their OK button, boxes and the
// dialogs through their hooks.

#include "app/uf_InputIP.h"
#include "app/uf_VYN.h"
#include "app/ufrm_TlacMenu.h"
#include "app/ufrm_Tlacitko.h"
#include "link/u_ARPTx.h"
#include "link/MessageTaker.h"
#include "model/u_DevData_Text.h"
#include "platform/MessageBox.h"
#include "support/NetBench.h"
#include "support/QStringPrint.h"
#include "support/SimDevice.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using MAC = std::array<uint8_t, 6>;

const MAC kDevMac{0x02, 0x76, 0x79, 0x6e, 0x00, 0x02};
const QString kDevIp = QString::fromLatin1(NetBench::DevIp);
const std::string kBroadcastSearch = "-> 255.255.255.255:30718 hdr 00 00 00 f6";
const std::string kUnicastSearch = "-> 10.213.0.2:30718 hdr 00 00 00 f6";

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class LoadE2E : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!NetBench::IsRoot())
            GTEST_SKIP() << "needs root to create network namespaces (CI runs as root)";
        ASSERT_TRUE(dir.isValid());
    }

    void Start(const std::vector<std::string>& simOptions = {}, const NetBenchOptions& options = {})
    {
        bench = std::make_unique<NetBench>("ld", options);
        sim = std::make_unique<SimDevice>(*bench, simOptions);
        // The window and every socket it makes live in the PC namespace.
        pc = std::make_unique<NetBench::Entered>(bench->PcNamespace());
        ARPManager().GetIPTable();
        w = std::make_unique<TfVYN>(nullptr, dir.filePath(QStringLiteral("vyn.ini")));
        w->show();
        platform::SetMessageBoxHook([this](QWidget*, const QString& text, const QString& caption, unsigned flags) {
            Boxes.push_back({text, caption, int(flags)});
            return int(platform::IDOK);
        });
    }

    void TearDown() override
    {
        platform::SetMessageBoxHook(nullptr);
        TfInputIP::ModalHook = nullptr;
        TfVYN::InputQueryHook = nullptr;
        DevicePort = DefaultDevicePort;
        w.reset();
        pc.reset();
        if (HasFailure() && sim)
            std::cerr << sim->Log();
        sim.reset();
        bench.reset();
    }

    // The search by IP through its dialog; Port 0 leaves the box unticked.
    void SearchByIP(const QString& text, int port)
    {
        TfInputIP::ModalHook = [&](TfInputIP& dialog) {
            dialog.txtIP->setText(text);
            if (port) {
                dialog.chPort->click();
                dialog.txtPort->setValue(port);
            }
            dialog.cmdOK->click();
        };
        Messages.clear();
        w->menuIP->TlacClick();
    }

    void SearchByMAC(const QString& text)
    {
        TfVYN::InputQueryHook = [text](QWidget*, const QString&, const QString&, QString& typed) {
            typed = text;
            return true;
        };
        Messages.clear();
        w->menuMAC->TlacClick();
    }

    void Load(uint32_t ip, const MAC& mac)
    {
        w->FDevIP = ip;
        w->FDevMAC = mac;
        Messages.clear();
        Boxes.clear();
        w->cmdLoadVals->TlacClick();
    }

    // The conversation windows still there once pending deletions ran.
    qsizetype WindowsLeft()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return w->findChildren<TfDataSender*>().size();
    }

    void ExpectLoaded(bool loaded)
    {
        EXPECT_EQ(w->FDeviceLoaded, loaded);
        EXPECT_EQ(w->pnlDevSetup->isVisible(), loaded);
        EXPECT_EQ(w->pnlNone->isVisible(), !loaded);
        EXPECT_EQ(WindowsLeft(), 0);
    }

    QTemporaryDir dir;
    std::unique_ptr<NetBench> bench;
    std::unique_ptr<SimDevice> sim;
    std::unique_ptr<NetBench::Entered> pc;
    std::unique_ptr<TfVYN> w;
    TMessageTaker taker;
    std::vector<TShown>& Messages = taker.Messages;
    struct TBox
    {
        QString Text;
        QString Caption;
        int Flags = 0;
    };
    std::vector<TBox> Boxes;
};

const TShown kNotFound{QString::fromUtf8("Zařízení nebylo nalezeno"), "OK", iconError};

} // namespace

TEST_F(LoadE2E, SearchByIPWithAndWithoutThePortCheckBox)
{
    Start();
    DevicePort = 40000;
    SearchByIP(kDevIp, 0);
    EXPECT_EQ(DevicePort, 30718);
    ExpectLoaded(true);
    EXPECT_TRUE(Messages.empty());
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(w->FLastIP, StrToIP(kDevIp));
    EXPECT_EQ(w->FDevMAC, kDevMac);
    EXPECT_EQ(w->lblMACTitle->text(), "02-76-79-6E-00-02");
    EXPECT_EQ(w->tcpMerit->Host, kDevIp);

    // Nobody listens on the other port.
    SearchByIP(kDevIp, 40000);
    EXPECT_EQ(DevicePort, 40000);
    EXPECT_EQ(Messages, std::vector<TShown>{kNotFound});
    ExpectLoaded(false);
    EXPECT_EQ(w->FDevMAC, MAC{});
}

TEST_F(LoadE2E, SearchByMACByBroadcastAndASilentDevice)
{
    Start();
    SearchByMAC(QStringLiteral("02-76-79-6E-00-02"));
    ExpectLoaded(true);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(w->FDevIP, StrToIP(kDevIp));
    EXPECT_EQ(w->FLastMAC, kDevMac);
    EXPECT_EQ(Count(sim->Log(), kBroadcastSearch), 1u);

    sim->Set("silent");
    SearchByMAC(QStringLiteral("02-76-79-6e-00-02"));
    EXPECT_EQ(Messages, std::vector<TShown>{kNotFound});
    ExpectLoaded(false);
    EXPECT_EQ(w->FLastMAC, kDevMac);
}

TEST_F(LoadE2E, LoadSearchesOnlyForWhatIsMissingAndReportsAnIncompleteRead)
{
    Start();
    const uint32_t ip = StrToIP(kDevIp);
    Load(ip, kDevMac);
    ExpectLoaded(true);
    EXPECT_EQ(Count(sim->Log(), "hdr 00 00 00 f6"), 0u);

    Load(ip, MAC{});
    ExpectLoaded(true);
    EXPECT_EQ(w->FDevMAC, kDevMac);
    EXPECT_EQ(Count(sim->Log(), kUnicastSearch), 1u);

    Load(0, kDevMac);
    ExpectLoaded(true);
    EXPECT_EQ(w->FDevIP, ip);
    EXPECT_EQ(Count(sim->Log(), kBroadcastSearch), 1u);
    EXPECT_TRUE(Messages.empty());

    // Two record answers lost: the address and MAC stay for another try.
    sim->Set("drop-first", "2");
    Load(ip, kDevMac);
    const TShown failed{QString::fromUtf8("Komunikace se zařízením selhala!"), "OK", iconWarning};
    EXPECT_EQ(Messages, std::vector<TShown>{failed});
    ExpectLoaded(false);
    EXPECT_EQ(w->FDevIP, ip);
    EXPECT_EQ(w->FDevMAC, kDevMac);
}

TEST_F(LoadE2E, AnIncompleteReadOutsideThePCSubnetNamesTheDeviceAddress)
{
    NetBenchOptions options;
    options.devAddress = "10.214.0.2/24";
    Start({}, options);
    sim->Set("drop-first", "2");
    Load(StrToIP("10.214.0.2"), kDevMac);
    const TShown failed{QString::fromUtf8("Komunikace se zařízením selhala!\r\nPravděpodobnou příčinou je "
                                            "nekompatibilní síťové nastavení zařízení (IP: 10.214.0.2)"),
                          "OK", iconWarning};
    EXPECT_EQ(Messages, std::vector<TShown>{failed});
    ExpectLoaded(false);

    // A caller's window shows the message too, and stays the caller's.
    sim->Set("drop-first", "2");
    Messages.clear();
    const QPointer<TfDataSender> given = new TfDataSender(w.get(), 0, w->FDataManager.get());
    EXPECT_FALSE(w->FindDevice(StrToIP("10.214.0.2"), given, kDevMac));
    EXPECT_EQ(Messages, std::vector<TShown>{failed});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(given);
    delete given.data();
}

TEST_F(LoadE2E, OnlySupportedDevicesAndVersionsLoad)
{
    Start();
    const QString wrongDevice = QString::fromUtf8("Nastavovací software není určen pro toto zařízení.");
    const auto wrongVersion = [](const char* v) {
        return QString::fromUtf8("Nastavovací software není určen pro tuto verzi VYN (%1).").arg(v);
    };
    struct Row {
        const char *prefix, *type, *version;
        QString box; // empty: the device loads
        int flags;
    };
    const Row rows[] = {
        {"0x1234", "201", "17", wrongDevice, 16},     {"0xEE03", "999", "17", wrongDevice, 16},
        {"0xEE03", "201", "15", wrongVersion("1.5"), 48}, {"0xEE03", "201", "18", wrongVersion("1.8"), 48},
        {"0xEE03", "317", "17", wrongVersion("1.7"), 48}, {"0xEE03", "317", "2", {}, 0},
        {"0xEE03", "201", "16", {}, 0},               {"0xEE03", "201", "17", {}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.prefix) + " " + row.type + " " + row.version);
        sim->Set("devid-prefix", row.prefix);
        sim->Set("device-type", row.type);
        sim->Set("device-version", row.version);
        Load(StrToIP(kDevIp), kDevMac);
        EXPECT_TRUE(Messages.empty());
        ExpectLoaded(row.box.isEmpty());
        if (row.box.isEmpty()) {
            EXPECT_TRUE(Boxes.empty());
            continue;
        }
        ASSERT_EQ(Boxes.size(), 1u);
        EXPECT_EQ(Boxes[0].Text, row.box);
        EXPECT_EQ(Boxes[0].Caption, "Error");
        EXPECT_EQ(Boxes[0].Flags, row.flags);
    }
}

TEST_F(LoadE2E, TheStoredSoapDocumentIsFetchedAndAFailedFetchKeepsTheDevice)
{
    Start();
    const uint32_t ip = StrToIP(kDevIp);
    // Nothing stored: nothing asked for.
    Load(ip, kDevMac);
    ExpectLoaded(true);
    EXPECT_EQ(sim->Log().find("http "), std::string::npos);
    EXPECT_TRUE(w->FDeviceSoapDoc.isEmpty());

    const QByteArray document = "<?xml version=\"1.0\"?>\r\n<soap>22.5</soap>\r\n";
    const QString file = dir.filePath(QStringLiteral("stored.xml"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(document);
    }
    sim.reset();
    sim = std::make_unique<SimDevice>(*bench, std::vector<std::string>{"--soap", file.toStdString(), "--web-port", "8080"});
    Load(ip, kDevMac);
    ExpectLoaded(true);
    EXPECT_TRUE(Messages.empty());
    EXPECT_EQ(w->FDeviceSoapDoc, document);
    EXPECT_NE(sim->Log().find("GET /postsoap.xml"), std::string::npos);

    for (const auto& [fault, value] : {std::pair{"http-404", "1"}, std::pair{"http-slow", "11000"}}) {
        SCOPED_TRACE(fault);
        sim->Set("http-404", "0");
        sim->Set(fault, value);
        Load(ip, kDevMac);
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_TRUE(Messages[0].Text.startsWith(
            QString::fromUtf8("Nepodařilo se stáhnout SOAP dokument ze zařízení.\r\n")))
            << Messages[0].Text.toStdString();
        EXPECT_GT(Messages[0].Text.size(), 52);
        EXPECT_EQ(Messages[0].Button, "OK [10]");
        EXPECT_EQ(Messages[0].Icon, iconWarning);
        ExpectLoaded(true);
        EXPECT_TRUE(w->FDeviceSoapDoc.isEmpty());
    }
}

TEST_F(LoadE2E, CommandsDuringALoadAreIgnored)
{
    Start();
    sim->Set("delay", "300");
    int dialogs = 0;
    int queries = 0;
    TfInputIP::ModalHook = [&](TfInputIP&) { ++dialogs; };
    TfVYN::InputQueryHook = [&](QWidget*, const QString&, const QString&, QString&) { return bool(++queries); };
    bool fired = false;
    bool closed = true;
    QTimer::singleShot(100, w.get(), [&] {
        fired = true;
        w->menuIP->TlacClick();
        w->menuMAC->TlacClick();
        w->cmdLoadVals->TlacClick();
        closed = w->close();
    });
    Load(StrToIP(kDevIp), kDevMac);
    ExpectLoaded(true);
    EXPECT_TRUE(fired);
    EXPECT_EQ(dialogs, 0);
    EXPECT_EQ(queries, 0);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(Count(sim->Log(), "hdr 00 00 00 e0 len 4"), 1u);
    EXPECT_FALSE(w->RoadBusy());
}

namespace {

// The pixels of an X window dump (32 bits per pixel, as Xvfb at depth 24
// writes it); empty when the file is no such dump.
std::vector<uint32_t> DumpPixels(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    const auto field = [&](int i) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData()) + 4 * i;
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    };
    // Xvfb stores depth 24 in four bytes a pixel.
    if (bytes.size() < 100 || field(12) != field(4) * 4)
        return {};
    const qsizetype start = qsizetype(field(0)) + qsizetype(field(19)) * 12;
    const qsizetype size = qsizetype(field(12)) * field(5);
    if (start + size > bytes.size())
        return {};
    std::vector<uint32_t> pixels(size_t(size / 4));
    std::memcpy(pixels.data(), bytes.constData() + start, size_t(size));
    return pixels;
}

size_t DistinctColours(std::vector<uint32_t> pixels)
{
    std::sort(pixels.begin(), pixels.end());
    return size_t(std::unique(pixels.begin(), pixels.end()) - pixels.begin());
}

} // namespace

// The program itself on a virtual display in the PC namespace: the operator
// clicks the search by IP, types the address into the real dialog, and the
// device view replaces the no-device view.
TEST(LoadOnScreen, TheProgramFindsTheDeviceTypedIntoTheSearchDialog)
{
    VYN_REQUIRE_ROOT();
    for (const char* tool : {"/usr/bin/Xvfb", "/usr/bin/xdotool", "/usr/bin/xwd"})
        if (!QFile::exists(QString::fromLatin1(tool)))
            GTEST_SKIP() << tool << " is not installed";

    NetBench bench("lx");
    SimDevice sim(bench);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string d = dir.path().toStdString();
    // The test's own offscreen platform must not reach the program.
    const std::string env = "unset QT_QPA_PLATFORM; export XDG_RUNTIME_DIR=" + d + " DISPLAY=:$(cat " + d + "/display); ";
    struct TStop
    {
        const NetBench& Bench;
        std::string Dir;
        ~TStop() { Bench.RunInPc("kill $(cat " + Dir + "/vyn.pid) $(cat " + Dir + "/xvfb.pid) 2>/dev/null"); }
    } stop{bench, d};
    const std::string main = "xdotool search --onlyvisible --name '^VYN - nastaven'";
    const QString before = dir.filePath(QStringLiteral("before.xwd"));

    // The server says its display number once it takes clients.
    ASSERT_EQ(bench.RunInPc("Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>" + d +
                            "/display >/dev/null 2>&1 & echo $! >" + d + "/xvfb.pid; for i in $(seq 200); do [ -s " +
                            d + "/display ] && exit 0; sleep 0.05; done; exit 1"),
              0);
    EXPECT_EQ(bench.RunInPc(env + "cd " + d + " && " + VYN16_PATH + " >" + d + "/vyn.log 2>&1 & echo $! >" + d +
                            "/vyn.pid"),
              0);
    ASSERT_EQ(bench.RunInPc(env + "timeout 20 xdotool search --sync --onlyvisible --name '^VYN - nastaven' >/dev/null"), 0)
        << bench.OutputInPc("cat " + d + "/vyn.log");
    // Mapped is not yet painted: the no-device view is on screen once the
    // dump shows more than a plain background.
    for (int i = 0; i < 100 && DistinctColours(DumpPixels(before)) <= 16; ++i)
        bench.RunInPc(env + "xwd -root -silent >" + d + "/before.xwd");

    // The search by IP is the first button of the top menu.
    EXPECT_EQ(bench.RunInPc(env + "w=$(" + main + " | head -1) && xdotool mousemove --window $w 75 15 click 1 && "
                                  "timeout 20 xdotool search --sync --onlyvisible --name '^Vyhledání zařízení$' >/dev/null && "
                                  "xdotool key ctrl+a && xdotool type --delay 30 10.213.0.2 && xdotool key Return"),
              0);
    EXPECT_TRUE(sim.WaitForLog("hdr 00 00 00 e5", std::chrono::seconds(20)));
    // Done when the conversation window has gone and the screen changed.
    EXPECT_EQ(bench.RunInPc(env + "for i in $(seq 200); do xdotool search --onlyvisible --name '^Komunikace' "
                                  ">/dev/null || { xwd -root -silent >" + d + "/after.xwd; cmp -s " + d +
                                  "/before.xwd " + d + "/after.xwd || exit 0; }; sleep 0.05; done; exit 1"),
              0);
    const bool running = bench.RunInPc("kill -0 $(cat " + d + "/vyn.pid)") == 0;

    EXPECT_TRUE(running) << bench.OutputInPc("cat " + d + "/vyn.log");
    const std::vector<uint32_t> noDevice = DumpPixels(before);
    const std::vector<uint32_t> device = DumpPixels(dir.filePath(QStringLiteral("after.xwd")));
    EXPECT_GT(DistinctColours(noDevice), 16u);
    EXPECT_GT(DistinctColours(device), 16u);
    EXPECT_NE(noDevice, device);
    // The device was read, and it had no document to fetch.
    EXPECT_EQ(sim.Log().find("http "), std::string::npos);
    const std::string log = sim.Log();
    for (const char* query : {"e0", "e2", "e4", "e5"})
        EXPECT_NE(log.find(std::string("-> 10.213.0.2:30718 hdr 00 00 00 ") + query), std::string::npos) << query;
}
