// The conversations against the simulated device on the networks operators
// really have: a PC cabled straight to the device without a default route, a
// PC with two interfaces, a PC behind a gateway with the device outside its
// subnet, and a normal user without network rights. Needs root to build the
// benches; the conversations run on a thread inside the PC namespace.

#include "link/ConversationTestKit.h"
#include "link/FakeIpHelper.h"
#include "link/u_ARPTx.h"
#include "support/NetBench.h"
#include "support/QStringPrint.h"
#include "support/SimDevice.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

const QString kDevMac = QStringLiteral("02-76-79-6e-00-02");
const QString kDevIp = QString::fromLatin1(NetBench::DevIp);

class Networks : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!NetBench::IsRoot())
            GTEST_SKIP() << "needs root to create network namespaces (CI runs as root)";
    }

    void TearDown() override
    {
        LocalAdapterIP = 0;
        SetIpHelperLoader(nullptr);
    }

    void Start(const NetBenchOptions& options, bool withDevice = true)
    {
        bench = std::make_unique<NetBench>("dsnet", options);
        if (withDevice)
            sim = std::make_unique<SimDevice>(*bench);
    }

    // fn on a thread inside the PC namespace, with the address services
    // reading that namespace's tables afresh.
    void InPc(bool withoutNetCaps, const std::function<void()>& fn)
    {
        NetBench::RunOnThreadIn(bench->PcNamespace(), withoutNetCaps, [&] {
            ARPManager().GetIPTable();
            fn();
        });
    }

    std::unique_ptr<NetBench> bench;
    std::unique_ptr<SimDevice> sim;
};

std::vector<QString> Captions(const std::vector<TQuestion>& questions)
{
    std::vector<QString> captions;
    for (const TQuestion& q : questions)
        captions.push_back(q.Caption);
    return captions;
}

} // namespace

TEST_F(Networks, WithoutADefaultRouteBroadcastsLeaveThroughTheInterface)
{
    NetBenchOptions options;
    options.pcRoute = NetBenchOptions::Route::None;
    Start(options);
    InPc(false, [&] {
        TRecordingConversations c(0, nullptr);
        QString ip;
        EXPECT_EQ(c.FindIPByMAC(kDevMac, QString(), ip, false), kDevIp);
        EXPECT_EQ(c.WaitForDevice(kDevMac, QString(), ip), kDevIp);
        EXPECT_EQ(c.DeviceTries, 1);
        EXPECT_TRUE(c.SetIPByMAC(kDevMac, QStringLiteral("10.213.0.61"), QStringLiteral("0.0.0.0"), 0));
        EXPECT_TRUE(c.Questions.empty());
    });
    EXPECT_EQ(sim->Address(), "10.213.0.61/8 0.0.0.0");
}

TEST_F(Networks, WithTwoInterfacesEveryOneCarriesTheSearchUnlessAnAdapterIsChosen)
{
    NetBenchOptions options;
    options.pcRoute = NetBenchOptions::Route::None;
    options.secondInterface = true;
    Start(options);
    const auto search = [&](const char* adapter) {
        LocalAdapterIP = adapter ? StrToIP(QString::fromLatin1(adapter)) : 0;
        QString found;
        InPc(false, [&] {
            TRecordingConversations c(0, nullptr);
            c.TimeoutMs = 1000;
            QString ip;
            found = c.FindIPByMAC(kDevMac, QString(), ip, false);
        });
        return found;
    };
    // The device's interface is the second one.
    EXPECT_EQ(search(nullptr), kDevIp);
    EXPECT_EQ(search(NetBench::PcIp), kDevIp);
    EXPECT_EQ(search("10.214.0.1"), QString());
}

TEST_F(Networks, BehindAGatewayTheStaticWayMakesTheNewAddressOnLinkForItsDuration)
{
    NetBenchOptions options;
    options.pcRoute = NetBenchOptions::Route::Gateway;
    options.devAddress = "10.77.0.2/24";
    Start(options);
    std::string routeWhileWaiting;
    bool result = false;
    TRecordingConversations c(0, nullptr);
    c.OnCaption = [&](const QString& text) {
        if (text == QStringLiteral("Čekám na zařízení...") && routeWhileWaiting.empty())
            routeWhileWaiting = bench->OutputInPc("ip route show 10.78.0.5");
    };
    InPc(false, [&] { result = c.SetIPByMAC(kDevMac, QStringLiteral("10.78.0.5"), QStringLiteral("0.0.0.0"), 0); });
    // The device answers ARP on the wire, but the route to it is the gateway's.
    EXPECT_EQ(Captions(c.Questions), (std::vector<QString>{QStringLiteral("Varování"), QStringLiteral("Varování")}));
    ASSERT_EQ(c.Questions.size(), 2u);
    EXPECT_TRUE(c.Questions[1].Text.startsWith(QStringLiteral("Zařízení bylo detekováno")));
    EXPECT_TRUE(result);
    EXPECT_EQ(sim->Address(), "10.78.0.5/8 0.0.0.0");
    EXPECT_NE(routeWhileWaiting.find("10.78.0.5 dev veth-pc"), std::string::npos) << routeWhileWaiting;
    EXPECT_EQ(bench->OutputInPc("ip route show 10.78.0.5"), "");
    EXPECT_EQ(bench->OutputInPc("ip neigh show 10.78.0.5").find("PERMANENT"), std::string::npos);
}

TEST_F(Networks, ANormalUserTrustsOnlyNeighbourEntriesConfirmedAfterItsRequest)
{
    Start({});
    // Nobody holds .60, but an old entry says somebody did.
    ASSERT_EQ(bench->RunInPc("ip neigh replace 10.213.0.60 lladdr 02:00:00:11:22:33 dev veth-pc nud stale"), 0);
    bool result = false;
    TRecordingConversations c(0, nullptr);
    InPc(true, [&] { result = c.SetIPByMAC(kDevMac, QStringLiteral("10.213.0.60"), QStringLiteral("0.0.0.0"), 0); });
    EXPECT_TRUE(c.Questions.empty()) << c.Questions.front().Text.toStdString();
    EXPECT_TRUE(result);
    EXPECT_EQ(sim->Address(), "10.213.0.60/8 0.0.0.0");
}

TEST_F(Networks, SilentDeviceTimingIsCountedByTheConversation)
{
    Start({}, false);
    InPc(false, [&] {
        TRecordingConversations c(0, nullptr);
        ASSERT_EQ(c.TimeoutMs, 3500);
        QString ip;
        EXPECT_EQ(c.FindIPByMAC(kDevMac, QString(), ip, false), QString());
        EXPECT_EQ(c.WaitCycles, 36);
        EXPECT_EQ(c.WaitForDevice(kDevMac, QString(), ip), QString());
        EXPECT_EQ(c.DeviceTries, 13);
        EXPECT_EQ(c.WaitCycles, 13 * 11);
        EXPECT_EQ(c.TimeoutMs, 3500);
    });
}

// The questions of setting the IP, with the address services answering from
// a stand-in: who holds an address, and the PC's subnet.
TEST_F(Networks, QuestionsOfSettingTheIP)
{
    Start({});
    FakeIpHelper fake;
    fake.Addrs.push_back({StrToIP(QStringLiteral("10.213.0.1")), 2, StrToIP(QStringLiteral("255.255.255.0")), 0, 0, 0, 1});
    const uint8_t other[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x99};
    std::memcpy(fake.ArpReplyMac, other, 6);
    SetIpHelperLoader([&fake] { return std::make_unique<FakeIpHelperLink>(fake); });
    const auto run = [&](const QString& mac, const char* newIP) {
        auto c = std::make_unique<TRecordingConversations>(0, nullptr);
        c->Answer = [](const TQuestion& q) {
            return int(q.Caption == QStringLiteral("Zařízení nebylo nalezeno") ? platform::IDYES : platform::IDNO);
        };
        bool result = true;
        InPc(false, [&] { result = c->SetIPByMAC(mac, QString::fromLatin1(newIP), QStringLiteral("0.0.0.0"), 0); });
        EXPECT_FALSE(result) << newIP;
        return c;
    };

    auto q2 = run(kDevMac, "10.99.0.5");
    ASSERT_EQ(q2->Questions.size(), 1u);
    EXPECT_EQ(q2->Questions[0].Text, QStringLiteral("Adresa, kterou chcete přiřadit (10.99.0.5) nepřísluší stejné "
                                                    "podsíti jako tento počítač.\r\nChcete ji přesto přiřadit?"));
    EXPECT_EQ(q2->Questions[0].Caption, QStringLiteral("Varování"));
    EXPECT_EQ(q2->Questions[0].Flags, 0x134u);
    EXPECT_TRUE(q2->Answered);
    EXPECT_TRUE(q2->Captions.isEmpty());

    const QString conflict = QStringLiteral("IP adresa 10.213.0.60 již je přiřazena jinému zařízení v síti "
                                            "(02-00-00-00-00-99) a mohlo by dojít ke konfliktu.\r\n"
                                            "Chcete přesto pokračovat?");
    auto q4 = run(kDevMac, "10.213.0.60");
    ASSERT_EQ(q4->Questions.size(), 1u);
    EXPECT_EQ(q4->Questions[0].Text, conflict);
    EXPECT_EQ(q4->Questions[0].Caption, QStringLiteral("Varování"));
    EXPECT_EQ(q4->Questions[0].Flags, 0x124u);
    EXPECT_TRUE(q4->Answered);
    EXPECT_EQ(sim->Address(), "10.213.0.2/24 0.0.0.0");

    // An absent device: the static way, where the same conflict is Q6.
    auto q6 = run(QStringLiteral("02-00-00-aa-bb-cc"), "10.213.0.60");
    ASSERT_EQ(q6->Questions.size(), 2u);
    EXPECT_EQ(q6->Questions[1].Text, conflict);
    EXPECT_EQ(q6->Questions[1].Caption, QStringLiteral("Varování"));
    EXPECT_EQ(q6->Questions[1].Flags, 0x124u);
    EXPECT_EQ(q6->Captions.last(), QStringLiteral("Kontrola IP adresy 10.213.0.60..."));
    EXPECT_FALSE(q6->Answered);
    EXPECT_TRUE(fake.Created.empty());
}

TEST_F(Networks, AStaticEntryThatCannotBeRemovedIsReported)
{
    Start({}, false);
    FakeIpHelper fake;
    fake.Addrs.push_back({StrToIP(QStringLiteral("10.213.0.1")), 2, StrToIP(QStringLiteral("255.255.255.0")), 0, 0, 0, 1});
    fake.ArpRequestResult = platform::ERROR_BAD_NET_NAME;
    fake.CreateAddsRow = true;
    fake.DeleteResult = platform::ERROR_ACCESS_DENIED;
    SetIpHelperLoader([&fake] { return std::make_unique<FakeIpHelperLink>(fake); });
    TRecordingConversations c(0, nullptr);
    c.OnCaption = [](const QString& text) {
        if (text == QStringLiteral("Čekám na zařízení..."))
            throw Exception(QStringLiteral("přerušeno"));
    };
    QString message;
    InPc(false, [&] {
        try {
            c.SetIPByMAC(QStringLiteral("02-00-00-aa-bb-cc"), QStringLiteral("10.213.0.60"), QString(), 0);
        } catch (const EARPException& e) {
            message = e.Message();
        }
    });
    EXPECT_TRUE(message.startsWith(QStringLiteral("přerušeno\r\nDeleteARPEntry:\r\n"))) << message.toStdString();
    ASSERT_EQ(fake.Deleted.size(), 1u);
    EXPECT_EQ(fake.Deleted[0].dwAddr, StrToIP(QStringLiteral("10.213.0.60")));
}
