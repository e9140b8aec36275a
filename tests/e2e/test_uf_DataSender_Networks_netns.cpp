// The conversations on the networks operators really have, run on a thread
// inside the PC namespace; no window.

#include "link/ConversationTestKit.h"
#include "link/FakeIpHelper.h"
#include "link/u_ARPTx.h"
#include "platform/CommandText.h"
#include "support/QStringPrint.h"
#include "support/SimDevice.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

namespace {

const QString kDevMac = QStringLiteral("02-76-79-6e-00-02");
const QString kAbsentMac = QStringLiteral("02-00-00-aa-bb-cc");
const QString kDevIp = QString::fromLatin1(NetBench::DevIp);
const QString kWaiting = QStringLiteral("Čekám na zařízení...");
const QString kWarning = QStringLiteral("Varování");

class Networks : public ::testing::Test
{
protected:
    void SetUp() override { VYN_REQUIRE_ROOT(); }

    void TearDown() override
    {
        LocalAdapterIP = 0;
        SetIpHelperLoader(nullptr);
    }

    void Start(const NetBenchOptions& options = {}, bool withDevice = true)
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

    // Sets a device's IP by its MAC: "set", "not set" or the text raised.
    QString SetIP(TRecordingConversations& c, const QString& mac, const char* newIP, bool withoutNetCaps = false)
    {
        QString outcome;
        InPc(withoutNetCaps, [&] {
            try {
                const bool set = c.SetIPByMAC(mac, QString::fromLatin1(newIP), QStringLiteral("0.0.0.0"), 0);
                outcome = set ? QStringLiteral("set") : QStringLiteral("not set");
            } catch (const Exception& e) {
                outcome = e.Message();
            }
        });
        return outcome;
    }

    std::unique_ptr<NetBench> bench;
    std::unique_ptr<SimDevice> sim;
};

} // namespace

// A PC cabled straight to the device, its interface the second of two.
TEST_F(Networks, WithoutADefaultRouteEveryInterfaceCarriesTheSearchUnlessAnAdapterIsChosen)
{
    NetBenchOptions options;
    options.pcRoute = NetBenchOptions::Route::None;
    options.secondInterface = true;
    Start(options);
    const std::pair<const char*, QString> rows[] = {{"10.214.0.1", {}}, {NetBench::PcIp, kDevIp}, {nullptr, kDevIp}};
    for (const auto& [adapter, found] : rows) {
        SCOPED_TRACE(adapter ? adapter : "default");
        LocalAdapterIP = adapter ? StrToIP(QString::fromLatin1(adapter)) : 0;
        InPc(false, [&] {
            TRecordingConversations c(0, nullptr);
            c.TimeoutMs = 1000;
            QString ip;
            EXPECT_EQ(c.FindIPByMAC(kDevMac, QString(), ip, false), found);
        });
    }
    TRecordingConversations c(0, nullptr);
    EXPECT_EQ(SetIP(c, kDevMac, "10.213.0.61"), "set");
    EXPECT_TRUE(c.Questions.empty());
    EXPECT_EQ(sim->Address(), "10.213.0.61/8 0.0.0.0");
}

TEST_F(Networks, BehindAGatewayTheStaticWayMakesTheNewAddressOnLinkForItsDuration)
{
    NetBenchOptions options;
    options.pcRoute = NetBenchOptions::Route::Gateway;
    options.devAddress = "10.77.0.2/24";
    Start(options);
    std::string routeWhileWaiting;
    TRecordingConversations c(0, nullptr);
    c.OnCaption = [&](const QString& text) {
        if (text == kWaiting && routeWhileWaiting.empty())
            routeWhileWaiting = bench->OutputInPc("ip route show 10.78.0.5");
    };
    EXPECT_EQ(SetIP(c, kDevMac, "10.78.0.5"), "set");
    // The device answers ARP on the wire, but the route to it is the gateway's.
    ASSERT_EQ(c.Questions.size(), 2u);
    EXPECT_EQ(c.Questions[0].Caption + c.Questions[1].Caption, kWarning + kWarning);
    EXPECT_TRUE(c.Questions[1].Text.startsWith(QStringLiteral("Zařízení bylo detekováno")));
    EXPECT_EQ(sim->Address(), "10.78.0.5/8 0.0.0.0");
    EXPECT_NE(routeWhileWaiting.find("10.78.0.5 dev veth-pc"), std::string::npos) << routeWhileWaiting;
    EXPECT_EQ(bench->OutputInPc("ip route show 10.78.0.5"), "");
    EXPECT_EQ(bench->OutputInPc("ip neigh show 10.78.0.5").find("PERMANENT"), std::string::npos);
}

TEST_F(Networks, ANormalUserTrustsOnlyFreshNeighbourEntriesAndLearnsWhyTheStaticWayFails)
{
    Start();
    // Nobody holds .60, but an old entry says somebody did.
    ASSERT_EQ(bench->RunInPc("ip neigh replace 10.213.0.60 lladdr 02:00:00:11:22:33 dev veth-pc nud stale"), 0);
    TRecordingConversations c(0, nullptr);
    EXPECT_EQ(SetIP(c, kDevMac, "10.213.0.60", true), "set");
    EXPECT_TRUE(c.Questions.empty());
    EXPECT_EQ(sim->Address(), "10.213.0.60/8 0.0.0.0");

    // An absent device: the static way needs the helper, and no helper lies
    // beside this program.
    TRecordingConversations absent(0, nullptr);
    absent.TimeoutMs = 300;
    const QString message = SetIP(absent, kAbsentMac, "10.213.0.61", true);
    ASSERT_EQ(absent.Questions.size(), 1u);
    EXPECT_TRUE(absent.Questions[0].Text.endsWith(QStringLiteral("\r\n\r\nPomocný program ") +
                                                  platform::UnbrokenPath(QCoreApplication::applicationDirPath() +
                                                                         QStringLiteral("/vyn-netpriv")) +
                                                  QStringLiteral(" chybí, a tento způsob přiřazení IP "
                                                                 "adresy proto selže; program jej hledá ve své "
                                                                 "složce, kam jej příkaz make run sestaví.")))
        << absent.Questions[0].Text.toStdString();
    // The address services name the refused operation and the system's reason.
    EXPECT_TRUE(message.contains(QStringLiteral("ARPEntry:\r\n"))) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("(#"))) << message.toStdString();
    EXPECT_EQ(absent.TimeoutMs, 300);
}

// No device: the waits are counted, and the static entry of the set-IP lives
// only while the conversation waits for the device.
TEST_F(Networks, WithoutADeviceTheWaitsAreCountedAndTheStaticEntryGoes)
{
    Start({}, false);
    InPc(false, [&] {
        TRecordingConversations c(0, nullptr);
        QString ip;
        EXPECT_EQ(c.FindIPByMAC(kDevMac, QString(), ip, false), QString());
        EXPECT_EQ(c.WaitCycles, 36);
        EXPECT_EQ(c.WaitForDevice(kDevMac, QString(), ip), QString());
        EXPECT_EQ(c.DeviceTries, 13);
        EXPECT_EQ(c.WaitCycles, 13 * 11);
        EXPECT_EQ(c.TimeoutMs, 3500);
    });

    TRecordingConversations c(0, nullptr);
    c.TimeoutMs = 300;
    std::string entryWhileWaiting;
    int32_t timeoutWhileWaiting = 0;
    c.OnCaption = [&](const QString& text) {
        if (text != kWaiting)
            return;
        entryWhileWaiting = bench->OutputInPc("ip neigh show 10.213.0.60");
        timeoutWhileWaiting = c.TimeoutMs;
        throw Exception(QStringLiteral("přerušeno"));
    };
    EXPECT_EQ(SetIP(c, kAbsentMac, "10.213.0.60"), QStringLiteral("přerušeno"));
    EXPECT_NE(entryWhileWaiting.find("lladdr 02:00:00:aa:bb:cc PERMANENT"), std::string::npos) << entryWhileWaiting;
    EXPECT_EQ(timeoutWhileWaiting, 1000);
    EXPECT_EQ(c.TimeoutMs, 300);
    EXPECT_EQ(bench->OutputInPc("ip neigh show 10.213.0.60").find("PERMANENT"), std::string::npos);
    ASSERT_EQ(c.Questions.size(), 1u);
    EXPECT_TRUE(c.Questions[0].Text.startsWith(QStringLiteral("Zařízení (02-00-00-aa-bb-cc) nebylo nalezeno!\r\n")));
    // The set-IP record went three times.
    EXPECT_EQ(c.Captions.count(QStringLiteral("Nastavení IP adresy na 10.213.0.60...")), 3);
}

// The questions of setting the IP, with the address services answering from
// a stand-in: the PC's subnet, and who holds an address.
TEST_F(Networks, QuestionsOfSettingTheIP)
{
    Start();
    FakeIpHelper fake;
    fake.Addrs.push_back(
        {StrToIP(QStringLiteral("10.213.0.1")), 2, StrToIP(QStringLiteral("255.255.255.0")), 0, 0, 0, 1});
    const uint8_t other[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x99};
    std::memcpy(fake.ArpReplyMac, other, 6);
    SetIpHelperLoader([&fake] { return std::make_unique<FakeIpHelperLink>(fake); });
    const QString conflict = QStringLiteral("IP adresa 10.213.0.60 již je přiřazena jinému zařízení v síti "
                                            "(02-00-00-00-00-99) a mohlo by dojít ke konfliktu.\r\n"
                                            "Chcete přesto pokračovat?");
    const struct {
        QString mac;
        const char* newIP;
        QString text;
        unsigned flags;
    } rows[] = {
        {kDevMac, "10.99.0.5",
         QStringLiteral("Adresa, kterou chcete přiřadit (10.99.0.5) nepřísluší stejné podsíti jako tento "
                        "počítač.\r\nChcete ji přesto přiřadit?"),
         0x134u},
        {kDevMac, "10.213.0.60", conflict, 0x124u},
        // An absent device: the static way, where the same conflict comes second.
        {kAbsentMac, "10.213.0.60", conflict, 0x124u},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.newIP);
        TRecordingConversations c(0, nullptr);
        c.Answer = [](const TQuestion& q) {
            return int(q.Caption == QStringLiteral("Zařízení nebylo nalezeno") ? platform::IDYES : platform::IDNO);
        };
        EXPECT_EQ(SetIP(c, row.mac, row.newIP), "not set");
        ASSERT_EQ(c.Questions.size(), row.mac == kDevMac ? 1u : 2u);
        EXPECT_EQ(c.Questions.back().Text, row.text);
        EXPECT_EQ(c.Questions.back().Caption, kWarning);
        EXPECT_EQ(c.Questions.back().Flags, row.flags);
        EXPECT_EQ(c.Answered, row.mac == kDevMac);
    }
    EXPECT_EQ(sim->Address(), "10.213.0.2/24 0.0.0.0");
    EXPECT_TRUE(fake.Created.empty());
}
