// The address services on the real system tables, inside network namespaces
// the tests make themselves (PC 10.213.0.1/24 on veth-pc, device 10.213.0.2/24
// on veth-dev). Needs root; the host's own tables are never touched.

#include "link/u_ARPTx.h"

#include "support/NetBench.h"
#include "support/QStringPrint.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

using M = TARPManager;

uint32_t ip(const char* text)
{
    return M::StrToIP(QString::fromLatin1(text));
}

QString macText(const TMACBuffer& mac)
{
    return M::MACBufToStr(mac.data(), 6).replace(QLatin1Char('-'), QLatin1Char(':'));
}

class ARPNetnsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VYN_REQUIRE_ROOT();
        SetIpHelperLoader(nullptr);
        bench = std::make_unique<NetBench>("arp");
    }

    QString Neighbour(const char* address) const
    {
        return QString::fromStdString(bench->OutputInPc(std::string("ip neigh show ") + address)).trimmed();
    }
    QString DevMac() const
    {
        return QString::fromStdString(bench->OutputInDev("cat /sys/class/net/veth-dev/address")).trimmed();
    }

    std::unique_ptr<NetBench> bench;
};

const TMACBytes kFakeMac{0x02, 0x00, 0x00, 0xaa, 0xbb, 0xcc};

} // namespace

TEST_F(ARPNetnsTest, StaticEntryIsCreatedSeenAndDeleted)
{
    bench->RunInPc("ip neigh add 10.213.0.62 lladdr 02:00:00:00:00:62 dev veth-pc nud stale");
    bench->RunInPc("ip neigh add 10.213.0.63 lladdr 02:00:00:00:00:63 dev veth-pc nud noarp");
    NetBench::RunOnThreadIn(bench->PcNamespace(), false, [&] {
        TARPManager m(false);
        ASSERT_TRUE(m.CreateARPEntry(ip("10.213.0.50"), kFakeMac, 4));
        EXPECT_TRUE(Neighbour("10.213.0.50").contains(QStringLiteral("dev veth-pc lladdr 02:00:00:aa:bb:cc PERMANENT")))
            << Neighbour("10.213.0.50").toStdString();

        // Neighbour states become entry types.
        ASSERT_GE(m.GetARPTable(), 3);
        const int32_t i = m.FindEntryIndex(ip("10.213.0.50"), kFakeMac, 4);
        ASSERT_GE(i, 0);
        EXPECT_EQ(m.ArpRow(i)->dwIndex, if_nametoindex("veth-pc"));
        EXPECT_EQ(m.ArpRow(m.FindEntryByIP(ip("10.213.0.62"), 0))->dwType, 3u);
        EXPECT_EQ(m.ArpRow(m.FindEntryByIP(ip("10.213.0.63"), 0))->dwType, 1u);

        ASSERT_TRUE(m.DeleteEntry(ip("10.213.0.50"), kFakeMac, 0));
        EXPECT_TRUE(Neighbour("10.213.0.50").isEmpty());

        // Deleting by address and by MAC, as the set-IP conversation does.
        ASSERT_TRUE(m.CreateARPEntry(ip("10.213.0.51"), kFakeMac, 4));
        ASSERT_TRUE(m.CreateARPEntry(ip("10.213.0.52"), kFakeMac, 4));
        m.GetARPTable();
        EXPECT_TRUE(m.DeleteByIPNum(ip("10.213.0.51"), 0));
        // The table still lists .51, which is gone already: that is no failure.
        EXPECT_TRUE(m.DeleteByMACBytes(kFakeMac, 4));
        EXPECT_TRUE(Neighbour("10.213.0.52").isEmpty());
    });
}

// A device whose kernel ignores ARP, answered by hand: it lets the first
// request go unanswered (a lost frame) and answers the second 190 ms late.
// A slow but present device must never count as absent.
TEST_F(ARPNetnsTest, ASlowArpReplyToALaterRequestIsHeardAndSilenceIsNoHolder)
{
    bench->SetDevArp(false);
    const QString expected = DevMac();
    std::atomic<bool> stop{false};
    std::thread device([&] {
        NetBench::RunOnThreadIn(bench->DevNamespace(), false, [&] {
            const int fd = ::socket(AF_PACKET, SOCK_DGRAM, htons(ETH_P_ARP));
            ASSERT_GE(fd, 0);
            sockaddr_ll here{};
            here.sll_family = AF_PACKET;
            here.sll_protocol = htons(ETH_P_ARP);
            here.sll_ifindex = int(if_nametoindex("veth-dev"));
            ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&here), sizeof here), 0);
            int requests = 0;
            while (!stop) {
                pollfd p{fd, POLLIN, 0};
                uint8_t f[64];
                sockaddr_ll from{};
                socklen_t len = sizeof from;
                if (::poll(&p, 1, 20) != 1 || ::recvfrom(fd, f, sizeof f, 0, reinterpret_cast<sockaddr*>(&from), &len) < 28)
                    continue;
                if (f[7] != 1 || std::memcmp(f + 24, "\x0a\xd5\x00\x02", 4) != 0 || ++requests != 2)
                    continue;
                std::this_thread::sleep_for(std::chrono::milliseconds(190));
                uint8_t reply[28] = {0, 1, 8, 0, 6, 4, 0, 2};
                const QByteArray mine = QByteArray::fromHex(expected.toLatin1().replace(':', ""));
                std::memcpy(reply + 8, mine.data(), 6);
                std::memcpy(reply + 14, f + 24, 4);
                std::memcpy(reply + 18, f + 8, 10);
                std::memcpy(from.sll_addr, f + 8, 6);
                from.sll_halen = 6;
                ::sendto(fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), sizeof from);
            }
            ::close(fd);
        });
    });
    NetBench::RunOnThreadIn(bench->PcNamespace(), false, [&] {
        TARPManager m(false);
        TMACBuffer mac;
        EXPECT_TRUE(m.ResolveMAC(ip("10.213.0.2"), mac));
        EXPECT_EQ(macText(mac), expected);
        // Nobody there: false, nothing raised.
        EXPECT_FALSE(m.ResolveMAC(ip("10.213.0.99"), mac));
        EXPECT_EQ(mac, TMACBuffer{});
    });
    stop = true;
    device.join();
}

TEST_F(ARPNetnsTest, SubnetsAdaptersAndInterfaces)
{
    // Two more adapters without an address (a veth pair: dummy devices need a module).
    bench->RunInPc("ip link add spare0 type veth peer name spare1");
    bench->RunInPc("ip addr add 172.20.1.1/16 dev veth-pc");
    NetBench::RunOnThreadIn(bench->PcNamespace(), false, [&] {
        TARPManager m(false);
        for (const auto& [address, local] : {std::pair{"10.213.0.77", true}, {"172.20.200.3", true},
                                             {"127.0.0.5", true}, {"10.214.0.1", false}, {"192.168.1.254", false}})
            EXPECT_EQ(m.IsLocalSubnetStr(QString::fromLatin1(address)), local) << address;

        AAdapterIPAddresses list;
        ASSERT_EQ(m.GetLocalAddresses(list, true), 2);
        EXPECT_EQ(m.AdapterCount(), 3); // no loopback
        EXPECT_EQ(list[0].IP, QStringLiteral("10.213.0.1"));
        EXPECT_EQ(list[0].Mask, QStringLiteral("255.255.255.0"));
        EXPECT_EQ(list[0].AdapterName, QStringLiteral("veth-pc"));
        EXPECT_EQ(list[1].IP, QStringLiteral("172.20.1.1"));
        EXPECT_EQ(list[1].Mask, QStringLiteral("255.255.0.0"));
        EXPECT_EQ(m.GetInterfacesInfo(), 3);
        EXPECT_EQ(m.GetBestInterface(ip("10.213.0.2")), if_nametoindex("veth-pc"));
    });
}
