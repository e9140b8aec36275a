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

uint32_t Mask(const char* text)
{
    return StrToIP(QString::fromLatin1(text));
}

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

QByteArray Bytes(const SimDevice::Bytes& b)
{
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

// A bench, the simulator in it, the test thread in the PC namespace and a
// conversation window on the built-in model. Questions are answered from
// `Answer` and written down.
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
        platform::SetMessageBoxHook([this](QWidget* owner, const QString& text, const QString& caption, unsigned flags) {
            EXPECT_EQ(owner, w.get());
            Questions.push_back({text, caption, flags});
            return Answer(Questions.back());
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
    std::vector<TQuestion> Questions;
    std::function<int(const TQuestion&)> Answer = [](const TQuestion&) { return int(platform::IDYES); };
};

} // namespace

TEST_F(DataSenderE2E, FindsTheDeviceByIPAndByMAC)
{
    Start();
    QString mac;
    EXPECT_EQ(w->FindMACByIP(kDevIp, QString(), mac, false), kDevMac);
    EXPECT_TRUE(w->Answered);
    EXPECT_EQ(w->DeviceMAC, kDevMac);
    EXPECT_TRUE(w->MySock.Connected());

    // Upper-case MAC text; a query-kind datagram with the same MAC, left
    // from elsewhere, does not count.
    SimDevice::Bytes query = sim->Record(0xF6);
    query[3] = 0xF6;
    w->MySock.ReceiveQueue().Push(TMyPacket{Bytes(query), QStringLiteral("10.213.0.9"), 30718});
    QString ip;
    EXPECT_EQ(w->FindIPByMAC(QStringLiteral("02-76-79-6E-00-02"), QString(), ip, false), kDevIp);
    EXPECT_EQ(w->FoundIP, kDevIp);
    EXPECT_TRUE(w->Answered);
    EXPECT_TRUE(w->MySock.Bound());
    EXPECT_FALSE(w->MySock.BroadCastAccept());
    EXPECT_EQ(w->lblCaption->text(), QStringLiteral("Vyhledávám zařízení 02-76-79-6e-00-02..."));

    // An answer for another MAC is no answer.
    sim->Set("answer-mac", "02:00:00:00:00:99");
    w->TimeoutMs = 500;
    EXPECT_TRUE(w->FindIPByMAC(kDevMac, QString(), ip, false).isEmpty());
    EXPECT_FALSE(w->Answered);
}

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

TEST_F(DataSenderE2E, WritesAllRecordsAsOneBatch)
{
    Start();
    w->PrepareTransfer(kDevIp);
    ASSERT_EQ(w->ReadAllRecords(), 4);
    model->SetValue(QStringLiteral("vyn_name"), "Kotelna");

    w->PrepareTransfer2(kDevIp);
    EXPECT_EQ(w->WriteAllRecords(true), 4);
    EXPECT_EQ(w->RecordsDone, 4);
    EXPECT_EQ(w->lblCaption->text(), QStringLiteral("Všechny záznamy uloženy (4)"));
    const uint8_t sets[] = {0xC0, 0xC2, 0xC4, 0xC5};
    for (int i = 0; i < 4; ++i) {
        const auto sent = sim->LastSet(sets[i]);
        ASSERT_TRUE(sent) << i;
        EXPECT_EQ((*sent)[1], i < 3 ? 0x01 : 0x00) << i;
        EXPECT_EQ((*sent)[3], sets[i]);
    }
    EXPECT_EQ(Bytes(sim->Record(0xE5)).mid(106, 8), QByteArray("Kotelna\0", 8));

    // Each record counts once, however often it is acknowledged; doubled
    // acknowledgements do not make up for dropped ones.
    sim->Set("twice");
    EXPECT_EQ(w->WriteAllRecords(true), 4);
    sim->Set("drop-first", "2");
    w->TimeoutMs = 500;
    EXPECT_EQ(w->WriteAllRecords(true), 2);
    EXPECT_EQ(w->lblCaption->text(), QStringLiteral("2 z 4 záznamů uloženo."));
}

TEST_F(DataSenderE2E, SetsTheIPByMACAndDirectlyAndFindsTheDeviceAtItsNewAddress)
{
    Start();
    // In the PC's subnet and nobody else at the new address: no questions.
    EXPECT_TRUE(w->SetIPByMAC(kDevMac, QStringLiteral("10.213.0.50"), QStringLiteral("10.213.0.1"),
                              Mask("255.255.255.0")));
    EXPECT_TRUE(Questions.empty());
    EXPECT_TRUE(w->Answered);
    EXPECT_EQ(sim->Address(), "10.213.0.50/24 10.213.0.1");

    EXPECT_TRUE(w->SetIPDirect(QStringLiteral("10.213.0.50"), QStringLiteral("10.213.0.77"),
                               QStringLiteral("10.213.0.1"), Mask("255.255.255.0"), true, false));
    EXPECT_TRUE(Questions.empty());
    EXPECT_EQ(sim->Address(), "10.213.0.77/24 10.213.0.1");

    QString ip;
    EXPECT_EQ(w->WaitForDevice(kDevMac, QString(), ip), QStringLiteral("10.213.0.77"));
    EXPECT_EQ(w->TimeoutMs, 3500);
    EXPECT_EQ(w->lblCaption->text(), QStringLiteral("Čekám na zařízení..."));

    QString gateway;
    uint32_t mask = 0;
    EXPECT_TRUE(w->ReadIPSettings(ip, gateway, mask));
    EXPECT_EQ(ip, QStringLiteral("10.213.0.77"));
    EXPECT_EQ(gateway, QStringLiteral("10.213.0.1"));
    EXPECT_EQ(IPToStr(mask), QStringLiteral("255.255.255.0"));
}

TEST_F(DataSenderE2E, SetIPByMACReachesADeviceOutsideTheSubnetThroughAStaticEntry)
{
    NetBenchOptions options;
    options.devAddress = "192.168.50.7/24";
    options.devAnswersArp = false;
    Start({}, options);

    EXPECT_TRUE(w->SetIPByMAC(kDevMac, QStringLiteral("10.213.0.60"), QStringLiteral("0.0.0.0"), 0));
    // Found by broadcast outside the subnet and deaf to ARP: asked once.
    ASSERT_EQ(Questions.size(), 1u);
    EXPECT_EQ(Questions[0].Caption, QStringLiteral("Varování"));
    EXPECT_EQ(Questions[0].Flags, 0x34u);
    EXPECT_TRUE(Questions[0].Text.startsWith(QStringLiteral("Zařízení bylo detekováno")));
    EXPECT_TRUE(w->Answered);
    EXPECT_EQ(w->TimeoutMs, 3500);
    EXPECT_EQ(sim->Address(), "10.213.0.60/8 0.0.0.0");
    // The temporary static entry is gone.
    EXPECT_EQ(bench->OutputInPc("ip neigh show 10.213.0.60").find("PERMANENT"), std::string::npos);
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
