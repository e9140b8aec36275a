#include "link/u_ARPTx.h"

#include "FakeIpHelper.h"
#include "support/ExceptionText.h"
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
#include <thread>
#include <tuple>

namespace {

using M = TARPManager;

uint32_t ip(const char* text)
{
    return M::StrToIP(QString::fromLatin1(text));
}

MIB_IPNETROW arpRow(const char* addr, TMACBytes mac, uint32_t type, uint32_t macLen = 6)
{
    MIB_IPNETROW r{};
    r.dwIndex = 3;
    r.dwPhysAddrLen = macLen;
    std::copy(mac.begin(), mac.end(), r.bPhysAddr);
    r.dwAddr = ip(addr);
    r.dwType = type;
    return r;
}

const TMACBytes kDevMac{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};
const TMACBytes kOtherMac{0x02, 0x00, 0x00, 0xaa, 0xbb, 0xcc};

class ARPManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetIpHelperLoader([this] { return std::make_unique<FakeIpHelperLink>(fake); });
    }
    void TearDown() override { SetIpHelperLoader(nullptr); }

    FakeIpHelper fake;
};

class ARPNetnsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VYN_REQUIRE_ROOT();
        bench = std::make_unique<NetBench>("arp");
    }

    std::unique_ptr<NetBench> bench;
};

} // namespace

TEST(ARPRoutines, MasksAndHostBits)
{
    // Holes above the lowest one bit do not count.
    const std::pair<const char*, uint32_t> hostBits[] = {{"255.255.255.0", 8},   {"255.255.0.0", 16},
                                                         {"255.255.255.252", 2}, {"255.255.255.255", 0},
                                                         {"0.0.0.0", 0},         {"255.0.255.0", 8}};
    for (const auto& [mask, bits] : hostBits)
        EXPECT_EQ(M::MaskToHostBits(ip(mask)), bits) << mask;
    for (const auto& [bits, mask] : {std::pair{8, "255.255.255.0"}, {24, "255.0.0.0"}, {32, "0.0.0.0"},
                                     {40, "0.0.0.0"}, {1, "255.255.255.254"}, {-3, "255.255.255.255"}})
        EXPECT_EQ(M::HostBitsToMask(bits), ip(mask)) << bits;
}

TEST_F(ARPManagerTest, TableReadsAcceptEmptyAnswersAndTryOnceMore)
{
    // {case, result of the first table call, table grows in between, rows read, error text}
    const std::tuple<const char*, uint32_t, bool, int32_t, const char*> rows[] = {
        {"no data", platform::ERROR_NO_DATA, false, 0, "<no exception>"},
        {"refused", platform::ERROR_ACCESS_DENIED, false, -1, "GetARPTable:\r\n"},
        {"grew in between", 0, true, -1, "GetARPTable:\r\n"}};
    for (const auto& [name, firstResult, grows, count, errorText] : rows) {
        SCOPED_TRACE(name);
        fake = FakeIpHelper{};
        fake.Arp = {arpRow("10.0.0.5", kDevMac, 3), arpRow("10.0.0.6", kOtherMac, 4)};
        fake.ArpFirstResult = firstResult;
        if (grows)
            fake.ArpGrowth = {arpRow("10.0.0.7", kOtherMac, 3)};
        TARPManager m(false);
        const QString error = ExceptionText<EARPException>([&] { EXPECT_EQ(m.GetARPTable(), count); });
        EXPECT_TRUE(error.startsWith(QString::fromLatin1(errorText))) << error.toStdString();
    }
}

TEST_F(ARPManagerTest, FindAndDeleteEntries)
{
    TARPManager m(false);
    fake.Arp = {arpRow("10.0.0.5", kDevMac, 3, 0), arpRow("10.0.0.5", kDevMac, 4), arpRow("10.0.0.6", kOtherMac, 3),
                arpRow("10.0.0.9", TMACBytes{}, 3)};
    ASSERT_EQ(m.GetARPTable(), 4);
    EXPECT_EQ(m.FindEntryIndex(ip("10.0.0.5"), kDevMac, 0), 1); // row 0 has no 6-byte address

    EXPECT_FALSE(m.DeleteEntry(ip("10.0.0.6"), kDevMac, 0));
    EXPECT_TRUE(m.DeleteEntry(ip("10.0.0.6"), kOtherMac, 0));
    // A zero MAC or one of five bytes deletes nothing.
    EXPECT_FALSE(m.DeleteByMAC(QStringLiteral("00-00-00-00-00-00"), 0));
    EXPECT_FALSE(m.DeleteByMAC(QStringLiteral("00-1a-2b-3c-4d"), 0));
    EXPECT_EQ(fake.Deleted.size(), 1u);
    // Any type: one platform call per row, the rows stay until the next read.
    EXPECT_TRUE(m.DeleteByIP(QStringLiteral("10.0.0.5"), 0));
    EXPECT_EQ(fake.Deleted.size(), 3u);
    EXPECT_EQ(m.ArpCount(), 4);
    EXPECT_EQ(ExceptionText<EARPException>([&] { m.DeleteARPEntryByIndex(4); }),
              QStringLiteral("DeleteARPEntry:\r\nIndex out of bounds."));
}

// The real system tables, in the test's own namespaces (PC 10.213.0.1 on veth-pc, device 10.213.0.2 on veth-dev).

TEST_F(ARPNetnsTest, StaticEntryIsCreatedSeenAndDeleted)
{
    NetBench::RunOnThreadIn(bench->PcNamespace(), false, [&] {
        TARPManager m(false);
        ASSERT_TRUE(m.CreateARPEntry(ip("10.213.0.50"), kOtherMac, 4));
        EXPECT_NE(bench->OutputInPc("ip neigh show 10.213.0.50").find("dev veth-pc lladdr 02:00:00:aa:bb:cc PERMANENT"),
                  std::string::npos);

        ASSERT_GE(m.GetARPTable(), 1);
        const int32_t i = m.FindEntryIndex(ip("10.213.0.50"), kOtherMac, 4);
        ASSERT_GE(i, 0);
        EXPECT_EQ(m.ArpRow(i)->dwIndex, if_nametoindex("veth-pc"));

        ASSERT_TRUE(m.DeleteEntry(ip("10.213.0.50"), kOtherMac, 0));
        EXPECT_EQ(bench->OutputInPc("ip neigh show 10.213.0.50"), "");
        // The table still lists the entry, which is gone already: that is no failure.
        EXPECT_TRUE(m.DeleteByIPNum(ip("10.213.0.50"), 0));
    });
}

// A device whose kernel ignores ARP, answered by hand: it lets the first
// request go unanswered (a lost frame) and answers the second 190 ms late.
// A slow but present device must never count as absent.
TEST_F(ARPNetnsTest, ASlowArpReplyToALaterRequestIsHeardAndSilenceIsNoHolder)
{
    bench->SetDevArp(false);
    const QString expected =
        QString::fromStdString(bench->OutputIn(bench->DevNamespace(), "cat /sys/class/net/veth-dev/address")).trimmed();
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
                if (::poll(&p, 1, 20) != 1 ||
                    ::recvfrom(fd, f, sizeof f, 0, reinterpret_cast<sockaddr*>(&from), &len) < 28)
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
        EXPECT_EQ(M::MACBufToStr(mac.data(), 6).replace(QLatin1Char('-'), QLatin1Char(':')), expected);
        // Nobody there: false, nothing raised.
        EXPECT_FALSE(m.ResolveMAC(ip("10.213.0.99"), mac));
        EXPECT_EQ(mac, TMACBuffer{});
    });
    stop = true;
    device.join();
}
