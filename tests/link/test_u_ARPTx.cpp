#include "link/u_ARPTx.h"

#include "FakeIpHelper.h"
#include "lang/uLanguage.h"
#include "support/ExceptionText.h"
#include "support/NetBench.h"
#include "support/QStringPrint.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <grp.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

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

// What the operator reads about the missing rights and about an entry in
// the way, word for word in each shipped language. Advice to add a user to
// the helper's group comes only for a helper root keeps to a group of its
// own; a helper its builder still owns, or one of group root, gets the whole
// set-up, each command on a line of its own with nothing after it.
TEST_F(ARPManagerTest, EachMissingRightAndAForeignEntryIsToldInTheProgramsLanguage)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("build bin")));
    const QString helper = dir.filePath(QStringLiteral("build bin/vyn-netpriv"));
    ASSERT_TRUE(QFile(helper).open(QIODevice::WriteOnly));
    platform::SetNetHelperPath(helper);
    const group* other = getgrgid(65534);
    ASSERT_NE(other, nullptr);
    const QString otherGroup = QString::fromLocal8Bit(other->gr_name);
    const auto setUp = [&](const QString& group) {
        const QString quoted = u'\'' + helper + u'\'';
        return QStringLiteral("\r\n\x1e") + "chown root:" + group + u' ' + quoted + " && chmod 750 " + quoted +
            " && setcap cap_net_admin,cap_net_raw+ep " + quoted;
    };
    const uint32_t lo = if_nametoindex("lo");

    const struct {
        const char* file;
        std::function<QString(const QString&)> notPermitted, notPermittedSetUp, lacking;
        QString missing, broken, entry, route, refused;
    } languages[] = {
        {"cesky.lng",
         [&](const QString& group) {
             return "Tento uživatel nesmí spustit pomocný program " + helper +
                 ", který smějí spouštět jen členové jeho skupiny " + group +
                 ", a tento způsob přiřazení IP adresy proto selže; správce uživatele do té skupiny přidá podle "
                 "oddílu Rights souboru README.md a uživatel se znovu přihlásí.";
         },
         [&](const QString& group) {
             return "Tento uživatel nesmí spustit pomocný program " + helper +
                 ", a tento způsob přiřazení IP adresy proto selže. Správce pomocný program svěří skupině " + group +
                 " podle oddílu Rights souboru README.md (skupinu založí, přidá do ní uživatele a ten se znovu "
                 "přihlásí) a jako root provede tento příkaz:" + setUp(group);
         },
         [&](const QString& group) {
             return "Pomocný program " + helper +
                 " nemá oprávnění CAP_NET_ADMIN a CAP_NET_RAW, bez nichž tento způsob přiřazení IP adresy selže. "
                 "Správce mu je udělí jen spolu se skupinou " + group +
                 ", jejíž členové jediní jej smějí spouštět: podle oddílu Rights souboru README.md (skupinu založí, "
                 "přidá do ní uživatele a ten se znovu přihlásí) jako root provede tento příkaz:" + setUp(group);
         },
         "Pomocný program " + helper +
             " chybí, a tento způsob přiřazení IP adresy proto selže; program jej hledá ve své složce, kam jej "
             "příkaz make run sestaví.",
         "Pomocný program " + helper +
             " nepracuje, jak má (Connection timed out), a tento způsob přiřazení IP adresy proto selže.",
         "V tabulce sousedů je záznam pro adresu 10.0.0.5 na rozhraní lo, který nevytvořil tento program (nejspíš "
         "jej zadal správce nebo jiný program). Program jej ponechá, jak je, a tento způsob přiřazení IP adresy "
         "proto selže.",
         "Ve směrovací tabulce je trasa k adrese 10.0.0.5, kterou nevytvořil tento program (nejspíš ji zadal "
         "správce). Program ji ponechá, jak je, a tento způsob přiřazení IP adresy proto selže.",
         "Pro adresu 10.0.0.5 tento program na rozhraní lo nevytvoří záznam ani trasu: je to adresa tohoto "
         "počítače, síťová nebo všesměrová adresa jeho podsítě, nebo brána, přes kterou vedou jeho trasy. Zvolte "
         "pro zařízení jinou IP adresu."},
        {"english.lng",
         [&](const QString& group) {
             return "This user may not run the network helper " + helper + ", which only members of its group " +
                 group +
                 " may run, so this way of assigning the IP address fails; an administrator adds the user to that "
                 "group as the Rights section of README.md says, and the user logs in again.";
         },
         [&](const QString& group) {
             return "This user may not run the network helper " + helper +
                 ", so this way of assigning the IP address fails. An administrator entrusts the helper to the "
                 "group " + group +
                 " as the Rights section of README.md says (creating the group and adding the user, who then logs "
                 "in again) and runs this command as root:" + setUp(group);
         },
         [&](const QString& group) {
             return "The network helper " + helper +
                 " lacks the CAP_NET_ADMIN and CAP_NET_RAW rights, without which this way of assigning the IP "
                 "address fails. An administrator gives them only together with the group " + group +
                 ", whose members alone may run the helper: as the Rights section of README.md says (creating the "
                 "group and adding the user, who then logs in again), the administrator runs this command as "
                 "root:" + setUp(group);
         },
         "The network helper " + helper +
             " is missing, so this way of assigning the IP address fails; the program looks for it in its own "
             "folder, where the command make run builds it.",
         "The network helper " + helper +
             " does not work as it should (Connection timed out), so this way of assigning the IP address fails.",
         "The neighbour table holds an entry for 10.0.0.5 on interface lo that this program did not make (most "
         "likely an administrator's or another program's). The program leaves it as it is, so this way of "
         "assigning the IP address fails.",
         "The routing table holds a route to 10.0.0.5 that this program did not make (most likely an "
         "administrator's). The program leaves it as it is, so this way of assigning the IP address fails.",
         "This program makes no entry or route for 10.0.0.5 on interface lo: it is an address of this PC, a network "
         "or broadcast address of its subnet, or a gateway its routes lead through. Choose another IP address for "
         "the device."},
    };
    // Who owns the helper file decides the advice; without root the file is
    // the builder's own, the second state.
    const struct {
        const char* what;
        uid_t owner;
        gid_t group;
        bool kept;
    } owners[] = {
        {"kept to a group of its own", 0, 65534, true},
        {"built by a normal user", 65534, 65534, false},
        {"of group root", 0, 0, false},
    };
    for (const auto& l : languages) {
        SCOPED_TRACE(l.file);
        Language.LoadFromFile(QStringLiteral(VYN_SOURCE_DIR "/resources/") + QLatin1String(l.file));
        TARPManager m(false);
        for (const auto& o : owners) {
            SCOPED_TRACE(o.what);
            if (geteuid() == 0)
                ASSERT_EQ(chown(QFile::encodeName(helper).constData(), o.owner, o.group), 0);
            else if (o.kept || o.owner == 0)
                continue;
            const QString group = o.kept ? otherGroup : QStringLiteral("vynnet");
            const std::pair<uint32_t, QString> rights[] = {
                {0, QString()},
                {platform::ERROR_FILE_NOT_FOUND, l.missing},
                {platform::ERROR_ACCESS_DISABLED_BY_POLICY,
                 o.kept ? l.notPermitted(group) : l.notPermittedSetUp(group)},
                {platform::ERROR_PRIVILEGE_NOT_HELD, l.lacking(group)},
                {platform::ERROR_ERRNO_FLAG | ETIMEDOUT, l.broken},
            };
            for (const auto& [code, text] : rights) {
                fake.Rights = code;
                EXPECT_EQ(m.MissingRightsText(), text) << code;
            }
        }
        // A failed change names the entry in the way, or the address refused.
        fake.CreateResult = platform::ERROR_NOT_OWNER;
        EXPECT_EQ(ExceptionText<EARPException>([&] { m.CreateARPEntry(ip("10.0.0.5"), kDevMac, 4, int32_t(lo)); }),
                  "CreateARPEntry:\r\n" + l.entry + "\r\n(#00000120)");
        EXPECT_EQ(ARPErrorText(platform::ERROR_NOT_OWNER, {ip("10.0.0.5"), lo, true}), l.route + "\r\n");
        fake.CreateResult = platform::ERROR_INVALID_PARAMETER;
        EXPECT_EQ(ExceptionText<EARPException>([&] { m.CreateARPEntry(ip("10.0.0.5"), kDevMac, 4, int32_t(lo)); }),
                  "CreateARPEntry:\r\n" + l.refused + "\r\n(#00000057)");
    }
    Language = TLanguage();
    platform::SetNetHelperPath(QString());
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

namespace {

using Replies = std::vector<std::pair<TMACBytes, uint32_t>>; // sender MAC and address of each

// The device's side of ARP, answered by hand while its kernel ignores ARP:
// the n-th request for its address (from 1) gets the replies answer(n).
// Its socket is bound before ask() asks anything, so no request goes by.
void WithArpStandIn(const NetBench& bench, const std::function<Replies(int)>& answer, const std::function<void()>& ask)
{
    int fd = -1;
    NetBench::RunOnThreadIn(bench.DevNamespace(), false, [&] {
        fd = ::socket(AF_PACKET, SOCK_DGRAM, htons(ETH_P_ARP));
        sockaddr_ll here{};
        here.sll_family = AF_PACKET;
        here.sll_protocol = htons(ETH_P_ARP);
        here.sll_ifindex = int(if_nametoindex("veth-dev"));
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&here), sizeof here), 0);
    });
    std::atomic<bool> stop{false};
    std::thread device([&] {
        for (int requests = 0; !stop;) {
            pollfd p{fd, POLLIN, 0};
            uint8_t f[64];
            sockaddr_ll from{};
            socklen_t len = sizeof from;
            if (::poll(&p, 1, 20) != 1 || ::recvfrom(fd, f, sizeof f, 0, reinterpret_cast<sockaddr*>(&from), &len) < 28 ||
                f[7] != 1 || std::memcmp(f + 24, "\x0a\xd5\x00\x02", 4) != 0)
                continue;
            for (const auto& [mac, sender] : answer(++requests)) {
                uint8_t reply[28] = {0, 1, 8, 0, 6, 4, 0, 2};
                std::copy(mac.begin(), mac.end(), reply + 8);
                std::memcpy(reply + 14, &sender, 4);
                std::memcpy(reply + 18, f + 8, 10);
                std::memcpy(from.sll_addr, f + 8, 6);
                from.sll_halen = 6;
                ::sendto(fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), sizeof from);
            }
        }
    });
    ask();
    stop = true;
    device.join();
    ::close(fd);
}

} // namespace

// A slow but present device must never count as absent, and only the
// destination's own reply is its answer: not another sender's, nor one
// naming no host's MAC, though they come first.
TEST_F(ARPNetnsTest, OnlyTheDestinationsOwnReplyCountsHoweverLateItComes)
{
    bench->SetDevArp(false);
    const TMACBytes dev{0x02, 0x76, 0x79, 0x6e, 0x00, 0x02};
    const TMACBytes other{0x02, 0x00, 0x00, 0x00, 0x00, 0x99};
    const TMACBytes broadcast{0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    const std::pair<const char*, std::function<Replies(int)>> rows[] = {
        {"the first request lost, the second answered 190 ms late",
         [&](int request) {
             if (request != 2)
                 return Replies{};
             std::this_thread::sleep_for(std::chrono::milliseconds(190));
             return Replies{{dev, ip("10.213.0.2")}};
         }},
        {"others' replies first",
         [&](int) { return Replies{{other, ip("10.213.0.99")}, {broadcast, ip("10.213.0.2")}, {dev, ip("10.213.0.2")}}; }},
    };
    for (const auto& [what, answer] : rows) {
        SCOPED_TRACE(what);
        WithArpStandIn(*bench, answer, [&] {
            NetBench::RunOnThreadIn(bench->PcNamespace(), false, [&] {
                TARPManager m(false);
                TMACBuffer mac;
                EXPECT_TRUE(m.ResolveMAC(ip("10.213.0.2"), mac));
                EXPECT_EQ(M::MACBufToStr(mac.data(), 6), "02-76-79-6e-00-02");
                // Nobody there: false, nothing raised.
                EXPECT_FALSE(m.ResolveMAC(ip("10.213.0.99"), mac));
                EXPECT_EQ(mac, TMACBuffer{});
            });
        });
    }
}
