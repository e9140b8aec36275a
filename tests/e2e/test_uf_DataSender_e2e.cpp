// The conversation window against the simulated device over the real network
// stack: the PC side runs in the test's own PC namespace, the simulator in
// the device namespace of the same bench. Needs root (namespaces, static ARP
// entries); every test has a bench of its own, so they may run in parallel.

#include "link/uf_DataSender.h"

#include "link/ConversationTestKit.h"
#include "support/QStringPrint.h"
#include "link/u_ARPTx.h"
#include "support/NetBench.h"
#include "support/SimDevice.h"

#include <QLabel>
#include <QProgressBar>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

const QString kDevMac = QStringLiteral("02-76-79-6e-00-02");
const QString kDevIp = QString::fromLatin1(NetBench::DevIp);

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

QByteArray Bytes(const SimDevice::Bytes& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

// A bench, the simulator in it, the test thread in the PC namespace and a
// conversation window on the built-in model; no question is expected.
class DataSenderE2E : public ::testing::Test
{
protected:
    void Start(const std::vector<std::string>& simOptions = {}, const NetBenchOptions& options = {})
    {
        bench = std::make_unique<NetBench>("ds", options);
        sim = std::make_unique<SimDevice>(*bench, simOptions);
        pc = std::make_unique<NetBench::Entered>(bench->PcNamespace());
        // The address services read the PC's addresses once: read them here.
        ARPManager().GetIPTable();
        w = std::make_unique<TfDataSender>(nullptr, 0, model.get());
        w->show();
        platform::SetMessageBoxHook([](QWidget*, const QString& text, const QString&, unsigned) {
            ADD_FAILURE() << text.toStdString();
            return int(platform::IDNO);
        });
    }

    void SetUp() override
    {
        if (!NetBench::IsRoot())
            GTEST_SKIP() << "needs root to create network namespaces (CI runs as root)";
    }

    void TearDown() override
    {
        platform::SetMessageBoxHook(nullptr);
        w.reset();
        pc.reset();
        sim.reset();
        bench.reset();
    }

    TDataPacket* Packet(int index) { return model->GetPacket(index); }

    std::unique_ptr<TDataManager> model = BuiltInModel();
    std::unique_ptr<NetBench> bench;
    std::unique_ptr<SimDevice> sim;
    std::unique_ptr<NetBench::Entered> pc;
    std::unique_ptr<TfDataSender> w;
};

} // namespace

TEST_F(DataSenderE2E, ReadsAllRecordsHoweverTheAnswersCome)
{
    Start();
    w->PrepareTransfer(kDevIp);
    EXPECT_EQ(w->ReadAllRecords(), 4);
    EXPECT_EQ(w->RecordsTotal, 4);
    const uint8_t answers[] = {0xD0, 0xD2, 0xD4, 0xD5};
    for (int i = 0; i < 4; ++i) {
        const QByteArray device = Bytes(sim->Record(answers[i]));
        // The model re-applies its init values on load; compare the rest.
        EXPECT_EQ(Packet(i)->GetDataAsString().left(55), device.left(55)) << i;
    }
    EXPECT_EQ(w->lblCaption->text(), QStringLiteral("4 z 4 záznam(ů) přijato."));
    EXPECT_EQ(w->Progressbar->value(), 100);

    sim->Set("delay", "300");
    EXPECT_EQ(w->ReadAllRecords(), 4);
    sim->Set("delay", "0");

    sim->Set("twice");
    EXPECT_EQ(w->ReadAllRecords(), 4);
    EXPECT_EQ(w->RecordsDone, 4);
    sim->Set("twice", "0");

    // Answers from another address are not the device's.
    sim->Set("answer-from-ip", "10.213.0.9");
    w->TimeoutMs = 500;
    EXPECT_EQ(w->ReadAllRecords(), 0);
    EXPECT_EQ(w->RecordsTotal, 4);
    EXPECT_EQ(w->lblCaption->text(), QStringLiteral("0 z 4 záznam(ů) přijato."));
    EXPECT_FALSE(Packet(0)->Loaded());
}

TEST_F(DataSenderE2E, WaitForDeviceGivesUpAfterThirteenSearches)
{
    Start({"--silent"});
    QString ip = QStringLiteral("stale");
    const auto start = Clock::now();
    EXPECT_TRUE(w->WaitForDevice(kDevMac, QStringLiteral("Čekám..."), ip).isEmpty());
    EXPECT_TRUE(ip.isEmpty());
    // 13 searches of 11 cycles of 100 ms.
    EXPECT_GE(SecondsSince(start), 13.0);
    EXPECT_LT(SecondsSince(start), 45.0);
    EXPECT_EQ(w->TimeoutMs, 3500);
    EXPECT_EQ(w->lblCaption->text(), QStringLiteral("Čekám..."));
    const std::string log = sim->Log();
    size_t searches = 0;
    for (size_t at = log.find("hdr 00 00 00 f6"); at != std::string::npos; at = log.find("hdr 00 00 00 f6", at + 1))
        ++searches;
    EXPECT_EQ(searches, 13u);
}
