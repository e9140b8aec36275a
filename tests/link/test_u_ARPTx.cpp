#include "link/u_ARPTx.h"

#include "FakeIpHelper.h"
#include "lang/uLanguage.h"
#include "platform/CommandText.h"
#include "platform/ShellWord.h"
#include "support/ExceptionText.h"
#include "support/NetBench.h"
#include "support/NetHelperCopy.h"
#include "support/QStringPrint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <grp.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string_view>
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

// What the operator reads about the missing rights and about a refused
// change, word for word in each shipped language. Each right an
// administrator can give comes with the whole fix as one command on a line
// of its own with nothing after it, naming the user by login name (the
// real user id's, its number when it has none): the group made only where
// it is missing, the user added only where the group database does not
// list them, the helper kept to its own named group, or else to the group
// README.md sets up, every word quoted for the shell where it needs it. A
// refusal with a kind names what is in the way, as `ip` shows it; one
// without a kind, or with a kind its code does not carry, is told in
// general.
TEST_F(ARPManagerTest, EachMissingRightAndAForeignEntryIsToldInTheProgramsLanguage)
{
    QTemporaryDir dir;
    const QString base = dir.path();
    ASSERT_TRUE(QRegularExpression(QStringLiteral("^[A-Za-z0-9/._-]+$")).match(base).hasMatch()) << base.toStdString();
    // Folders every user may enter, so that the user a message is made for
    // can look at the helper.
    ASSERT_EQ(chmod(QFile::encodeName(base).constData(), 0755), 0);
    // Each helper with its word in the command: plain, with a space only,
    // with a quote and a space.
    const std::pair<QString, QString> helpers[] = {
        {base + "/bin/vyn-netpriv", base + "/bin/vyn-netpriv"},
        {base + "/my bin/vyn-netpriv", "'" + base + "/my bin/vyn-netpriv'"},
        {base + "/build's bin/vyn-netpriv", "'" + base + "/build'\\''s bin/vyn-netpriv'"},
    };
    for (const auto& [helper, word] : helpers) {
        const QString folder = QFileInfo(helper).path();
        ASSERT_TRUE(QDir().mkdir(folder));
        ASSERT_EQ(chmod(QFile::encodeName(folder).constData(), 0755), 0);
        ASSERT_TRUE(QFile(helper).open(QIODevice::WriteOnly));
    }
    const auto groupName = [](gid_t gid) {
        const group* g = getgrgid(gid);
        return g ? QString::fromLocal8Bit(g->gr_name) : QString();
    };
    const QString nobodysGroup = groupName(65534); // nobody's primary group
    const QString otherGroup = groupName(100);     // one nobody is not a member of
    ASSERT_FALSE(nobodysGroup.isEmpty());
    ASSERT_FALSE(otherGroup.isEmpty());
    ASSERT_EQ(getgrgid(4244), nullptr);
    ASSERT_EQ(getpwuid(4242), nullptr);
    // The whole fix as the message gives it.
    const auto setUp = [](const QString& word, const QString& group, const QString& user, bool makeGroup,
                          bool addUser) {
        return QStringLiteral("\r\n\x1e") + (makeGroup ? "groupadd --system " + group + " && " : QString()) +
            (addUser ? "gpasswd -a " + user + u' ' + group + " && " : QString()) + "chown root:" + group + u' ' +
            word + " && chmod 750 " + word + " && setcap cap_net_admin,cap_net_raw+ep " + word;
    };
    const QString removal = QStringLiteral("\r\n\x1e");
    const uint32_t lo = if_nametoindex("lo");
    using platform::ERROR_INVALID_PARAMETER;
    using platform::ERROR_NOT_OWNER;

    // The refusals: the code, its reason, the address, and whether a host
    // route was refused rather than a neighbour entry.
    const struct {
        uint32_t code;
        const char* kind;
        const char* shown;
        const char* ip;
        bool route = false;
    } refusals[] = {
        {ERROR_NOT_OWNER, "host-route", "10.78.0.8 dev lo proto static scope link metric 100", "10.78.0.8", true},
        {ERROR_NOT_OWNER, "blackhole-route", "blackhole 10.97.0.0/16", "10.97.0.5", true},
        {ERROR_NOT_OWNER, "unreachable-route", "unreachable 10.98.0.0/16", "10.98.0.5", true},
        {ERROR_NOT_OWNER, "prohibit-route", "prohibit 10.99.0.0/16", "10.99.0.5", true},
        {ERROR_NOT_OWNER, "throw-route", "throw 10.96.0.0/16", "10.96.0.5", true},
        {ERROR_NOT_OWNER, "permanent-entry", "10.0.0.254 dev lo lladdr 02:00:00:00:fe:fe PERMANENT", "10.0.0.254"},
        {ERROR_NOT_OWNER, "noarp-entry", "10.0.0.253 dev lo lladdr 02:00:00:00:fe:fd NOARP", "10.0.0.253"},
        {ERROR_NOT_OWNER, "managed-entry", "10.0.0.252 dev lo managed REACHABLE", "10.0.0.252"},
        {ERROR_NOT_OWNER, "extern-learn-entry", "10.0.0.251 dev lo lladdr 02:00:00:00:fe:fb extern_learn REACHABLE",
         "10.0.0.251"},
        {ERROR_NOT_OWNER, "protocol-entry", "10.0.0.250 dev lo lladdr 02:00:00:00:fe:fa proto static PERMANENT",
         "10.0.0.250"},
        {ERROR_INVALID_PARAMETER, "next-hop", "id 7 via 10.0.0.246 dev lo", "10.0.0.246"},
        {ERROR_INVALID_PARAMETER, "next-hop", "", "10.0.0.245"},
        {ERROR_INVALID_PARAMETER, "own-address", "10.0.0.1/24 dev lo", "10.0.0.1", true},
        {ERROR_INVALID_PARAMETER, "network-address", "10.0.0.1/24 dev lo", "10.0.0.0"},
        {ERROR_INVALID_PARAMETER, "broadcast-address", "10.0.0.1/24 dev lo", "10.0.0.255"},
        {ERROR_INVALID_PARAMETER, "other-network", "10.50.0.1/24 dev eth1", "10.50.0.5"},
        {ERROR_INVALID_PARAMETER, "entry-limit", "", "10.0.0.5"},
        {ERROR_INVALID_PARAMETER, "route-limit", "", "10.0.0.6", true},
        {ERROR_INVALID_PARAMETER, "argument", "not an Ethernet interface: lo", "10.0.0.7"},
        // A kind its code does not carry, and no kind at all.
        {ERROR_NOT_OWNER, "next-hop", "id 7 via 10.0.0.5 dev lo", "10.0.0.5"},
        {ERROR_NOT_OWNER, "", "", "10.0.0.5"},
        {ERROR_INVALID_PARAMETER, "", "", "10.0.0.5"},
    };

    const struct {
        const char* file;
        // helper, group, user
        std::function<QString(const QString&, const QString&, const QString&)> notPermitted, notPermittedLacking,
            notPermittedSetUp, lacking;
        std::function<QString(const QString&)> missing, broken; // helper
        std::vector<QString> refused; // as the refusals above
    } languages[] = {
        {"cesky.lng",
         [](const QString& helper, const QString& group, const QString& user) {
             return "Uživatel " + user + " nesmí spustit pomocný program " + helper +
                 ", který smějí spouštět jen členové jeho skupiny " + group +
                 ", a tento způsob přiřazení IP adresy proto selže. Správce jako root provede tento příkaz a "
                 "uživatel se pak znovu přihlásí:";
         },
         [](const QString& helper, const QString& group, const QString& user) {
             return "Uživatel " + user + " nesmí spustit pomocný program " + helper +
                 ", který smějí spouštět jen členové jeho skupiny " + group +
                 ", a tento způsob přiřazení IP adresy proto selže. Pomocný program navíc nemá oprávnění "
                 "CAP_NET_ADMIN a CAP_NET_RAW. Správce jako root provede tento příkaz a uživatel se pak znovu "
                 "přihlásí:";
         },
         [](const QString& helper, const QString& group, const QString& user) {
             return "Uživatel " + user + " nesmí spustit pomocný program " + helper +
                 ", a tento způsob přiřazení IP adresy proto selže. Pomocný program ještě není svěřen skupině " +
                 group +
                 ", jejíž členové jediní jej smějí spouštět. Správce jako root provede tento příkaz a uživatel se pak "
                 "znovu přihlásí:";
         },
         [](const QString& helper, const QString& group, const QString& user) {
             return "Pomocný program " + helper +
                 " nemá oprávnění CAP_NET_ADMIN a CAP_NET_RAW, bez nichž tento způsob přiřazení IP adresy selže. "
                 "Dostane je jen spolu se skupinou " + group +
                 ", jejíž členové jediní jej smějí spouštět. Správce jako root provede tento příkaz a uživatel " +
                 user + " se pak znovu přihlásí:";
         },
         [](const QString& helper) {
             return "Pomocný program " + helper +
                 " chybí, a tento způsob přiřazení IP adresy proto selže; program jej hledá ve své složce, kam jej "
                 "příkaz make run sestaví.";
         },
         [](const QString& helper) {
             return "Pomocný program " + helper +
                 " nepracuje, jak má (Connection timed out), a tento způsob přiřazení IP adresy proto selže.";
         },
         {
             "Ve směrovací tabulce je trasa k jedinému hostiteli 10.78.0.8, kterou nevytvořil tento program (nejspíš "
             "ji zadal správce). Program ji ponechá, jak je, a tento způsob přiřazení IP adresy na rozhraní lo proto "
             "selže. Příkaz ip to ukazuje takto: 10.78.0.8 dev lo proto static scope link metric 100",
             "Jádro vede provoz k adrese 10.97.0.5 trasou typu blackhole, která jej tiše zahazuje. Program ji "
             "ponechá, jak je, a k té adrese na rozhraní lo trasu nevytvoří; tento způsob přiřazení IP adresy proto "
             "selže. Příkaz ip to ukazuje takto: blackhole 10.97.0.0/16",
             "Jádro vede provoz k adrese 10.98.0.5 trasou typu unreachable, která odesílateli hlásí, že cíl je "
             "nedostupný. Program ji ponechá, jak je, a k té adrese na rozhraní lo trasu nevytvoří; tento způsob "
             "přiřazení IP adresy proto selže. Příkaz ip to ukazuje takto: unreachable 10.98.0.0/16",
             "Jádro vede provoz k adrese 10.99.0.5 trasou typu prohibit, která odesílateli hlásí, že provoz k cíli "
             "správce zakázal. Program ji ponechá, jak je, a k té adrese na rozhraní lo trasu nevytvoří; tento "
             "způsob přiřazení IP adresy proto selže. Příkaz ip to ukazuje takto: prohibit 10.99.0.0/16",
             "Jádro vede provoz k adrese 10.96.0.5 trasou typu throw, která ukončí hledání trasy ve své tabulce, "
             "takže provoz jde podle další tabulky, nebo nikam. Program ji ponechá, jak je, a k té adrese na "
             "rozhraní lo trasu nevytvoří; tento způsob přiřazení IP adresy proto selže. Příkaz ip to ukazuje "
             "takto: throw 10.96.0.0/16",
             "V tabulce sousedů je pro adresu 10.0.0.254 na rozhraní lo trvalý záznam, který nevytvořil tento "
             "program (nejspíš jej zadal správce). Program jej ponechá, jak je, a tento způsob přiřazení IP adresy "
             "proto selže. Příkaz ip to ukazuje takto: 10.0.0.254 dev lo lladdr 02:00:00:00:fe:fe PERMANENT",
             "V tabulce sousedů je pro adresu 10.0.0.253 na rozhraní lo záznam typu NOARP (pro adresu, na kterou se "
             "neposílají dotazy ARP), který nevytvořil tento program. Program jej ponechá, jak je, a tento způsob "
             "přiřazení IP adresy proto selže. Příkaz ip to ukazuje takto: 10.0.0.253 dev lo lladdr "
             "02:00:00:00:fe:fd NOARP",
             "V tabulce sousedů je pro adresu 10.0.0.252 na rozhraní lo spravovaný záznam (typu managed, který "
             "jádro pro jiný program udržuje rozpoznaný), který nevytvořil tento program. Program jej ponechá, jak "
             "je, a tento způsob přiřazení IP adresy proto selže. Příkaz ip to ukazuje takto: 10.0.0.252 dev lo "
             "managed REACHABLE",
             "V tabulce sousedů je pro adresu 10.0.0.251 na rozhraní lo záznam naučený zvenčí (typu extern_learn, "
             "který vložil jiný program, například ovladač přepínače nebo směrovací démon). Program jej ponechá, jak "
             "je, a tento způsob přiřazení IP adresy proto selže. Příkaz ip to ukazuje takto: 10.0.0.251 dev lo "
             "lladdr 02:00:00:00:fe:fb extern_learn REACHABLE",
             "V tabulce sousedů je pro adresu 10.0.0.250 na rozhraní lo záznam jiného protokolu (záznam, který si "
             "označil jiný program, nebo záznam tohoto programu, který už není trvalý). Program jej ponechá, jak je, "
             "a tento způsob přiřazení IP adresy proto selže. Příkaz ip to ukazuje takto: 10.0.0.250 dev lo lladdr "
             "02:00:00:00:fe:fa proto static PERMANENT",
             "Adresa 10.0.0.246 je bránou (next hop), přes kterou vede trasa tohoto počítače, a tento program pro "
             "ni proto na rozhraní lo nevytvoří záznam ani trasu. Zvolte pro zařízení jinou IP adresu. Příkaz ip to "
             "ukazuje takto: id 7 via 10.0.0.246 dev lo",
             "Adresa 10.0.0.245 je bránou (next hop), přes kterou vede trasa tohoto počítače, a tento program pro "
             "ni proto na rozhraní lo nevytvoří záznam ani trasu. Zvolte pro zařízení jinou IP adresu.",
             "Adresa 10.0.0.1 je adresou tohoto počítače, a tento program pro ni proto na rozhraní lo nevytvoří "
             "záznam ani trasu. Zvolte pro zařízení jinou IP adresu. Příkaz ip to ukazuje takto: 10.0.0.1/24 dev lo",
             "Adresa 10.0.0.0 je síťovou adresou podsítě rozhraní lo, a tento program pro ni proto nevytvoří záznam "
             "ani trasu. Zvolte pro zařízení jinou IP adresu. Příkaz ip to ukazuje takto: 10.0.0.1/24 dev lo",
             "Adresa 10.0.0.255 je všesměrovou adresou podsítě rozhraní lo, a tento program pro ni proto nevytvoří "
             "záznam ani trasu. Zvolte pro zařízení jinou IP adresu. Příkaz ip to ukazuje takto: 10.0.0.1/24 dev lo",
             "Adresa 10.50.0.5 leží v síti, ke které je připojena jiná síťová karta tohoto počítače, a tento program "
             "pro ni proto na rozhraní lo nevytvoří záznam ani trasu, jež by provoz té sítě odvedly od její karty. "
             "Zvolte pro zařízení jinou IP adresu, nebo síťovou kartu, ke které je zařízení připojeno. Příkaz ip to "
             "ukazuje takto: 10.50.0.1/24 dev eth1",
             "Pomocný program už má v tabulce sousedů tolik svých záznamů, kolik smí, a pro adresu 10.0.0.5 na "
             "rozhraní lo už další nevytvoří, takže tento způsob přiřazení IP adresy selže. Jsou to nejspíš zbytky "
             "přerušených pokusů: správce je všechny odstraní tímto příkazem, který provede jako root:" + removal +
                 "ip neigh flush proto 86 nud permanent",
             "Pomocný program už má ve směrovací tabulce tolik svých tras k jedinému hostiteli, kolik smí, a k "
             "adrese 10.0.0.6 na rozhraní lo už další nevytvoří, takže tento způsob přiřazení IP adresy selže. Jsou "
             "to nejspíš zbytky přerušených pokusů: správce je všechny odstraní tímto příkazem, který provede jako "
             "root:" + removal + "ip route flush table all proto 86",
             "Vnitřní chyba programu: síťová změna, kterou tento způsob přiřazení IP adresy potřebuje, byla "
             "odmítnuta jako požadavek, který program nemá nikdy poslat (not an Ethernet interface: lo). Oznamte to "
             "prosím vývojářům programu.",
             "V tabulce sousedů je záznam pro adresu 10.0.0.5 na rozhraní lo, který nevytvořil tento program "
             "(nejspíš jej zadal správce nebo jiný program). Program jej ponechá, jak je, a tento způsob přiřazení "
             "IP adresy proto selže.",
             "V tabulce sousedů je záznam pro adresu 10.0.0.5 na rozhraní lo, který nevytvořil tento program "
             "(nejspíš jej zadal správce nebo jiný program). Program jej ponechá, jak je, a tento způsob přiřazení "
             "IP adresy proto selže.",
             "Pro adresu 10.0.0.5 tento program na rozhraní lo nevytvoří záznam ani trasu: je to adresa tohoto "
             "počítače, síťová nebo všesměrová adresa jeho podsítě, nebo brána, přes kterou vedou jeho trasy. "
             "Zvolte pro zařízení jinou IP adresu.",
         }},
        {"english.lng",
         [](const QString& helper, const QString& group, const QString& user) {
             return "The user " + user + " may not run the network helper " + helper +
                 ", which only members of its group " + group +
                 " may run, so this way of assigning the IP address fails. An administrator runs this command as "
                 "root, and the user then logs in again:";
         },
         [](const QString& helper, const QString& group, const QString& user) {
             return "The user " + user + " may not run the network helper " + helper +
                 ", which only members of its group " + group +
                 " may run, so this way of assigning the IP address fails. The helper also lacks the CAP_NET_ADMIN "
                 "and CAP_NET_RAW rights. An administrator runs this command as root, and the user then logs in "
                 "again:";
         },
         [](const QString& helper, const QString& group, const QString& user) {
             return "The user " + user + " may not run the network helper " + helper +
                 ", so this way of assigning the IP address fails. The helper is not yet kept to the group " + group +
                 ", whose members alone may run it. An administrator runs this command as root, and the user then "
                 "logs in again:";
         },
         [](const QString& helper, const QString& group, const QString& user) {
             return "The network helper " + helper +
                 " lacks the CAP_NET_ADMIN and CAP_NET_RAW rights, without which this way of assigning the IP "
                 "address fails. It gets them only together with the group " + group +
                 ", whose members alone may run it. An administrator runs this command as root, and the user " +
                 user + " then logs in again:";
         },
         [](const QString& helper) {
             return "The network helper " + helper +
                 " is missing, so this way of assigning the IP address fails; the program looks for it in its own "
                 "folder, where the command make run builds it.";
         },
         [](const QString& helper) {
             return "The network helper " + helper +
                 " does not work as it should (Connection timed out), so this way of assigning the IP address "
                 "fails.";
         },
         {
             "The routing table holds a host route to 10.78.0.8 that this program did not make (most likely an "
             "administrator's). The program leaves it as it is, so this way of assigning the IP address on "
             "interface lo fails. The command ip shows it as: 10.78.0.8 dev lo proto static scope link metric 100",
             "The kernel's route to 10.97.0.5 is a blackhole route, which silently drops the traffic. The program "
             "leaves it as it is and makes no route to that address on interface lo, so this way of assigning the "
             "IP address fails. The command ip shows it as: blackhole 10.97.0.0/16",
             "The kernel's route to 10.98.0.5 is an unreachable route, which tells the sender that the host is "
             "unreachable. The program leaves it as it is and makes no route to that address on interface lo, so "
             "this way of assigning the IP address fails. The command ip shows it as: unreachable 10.98.0.0/16",
             "The kernel's route to 10.99.0.5 is a prohibit route, which tells the sender that an administrator "
             "prohibits the traffic. The program leaves it as it is and makes no route to that address on interface "
             "lo, so this way of assigning the IP address fails. The command ip shows it as: prohibit 10.99.0.0/16",
             "The kernel's route to 10.96.0.5 is a throw route, which ends the route lookup in its table, so the "
             "traffic follows the next table or goes nowhere. The program leaves it as it is and makes no route to "
             "that address on interface lo, so this way of assigning the IP address fails. The command ip shows it "
             "as: throw 10.96.0.0/16",
             "The neighbour table holds a permanent entry for 10.0.0.254 on interface lo that this program did not "
             "make (most likely an administrator's). The program leaves it as it is, so this way of assigning the "
             "IP address fails. The command ip shows it as: 10.0.0.254 dev lo lladdr 02:00:00:00:fe:fe PERMANENT",
             "The neighbour table holds a NOARP entry for 10.0.0.253 on interface lo (one for which no ARP requests "
             "are sent) that this program did not make. The program leaves it as it is, so this way of assigning "
             "the IP address fails. The command ip shows it as: 10.0.0.253 dev lo lladdr 02:00:00:00:fe:fd NOARP",
             "The neighbour table holds a managed entry for 10.0.0.252 on interface lo (one the kernel keeps "
             "resolved for another program) that this program did not make. The program leaves it as it is, so "
             "this way of assigning the IP address fails. The command ip shows it as: 10.0.0.252 dev lo managed "
             "REACHABLE",
             "The neighbour table holds an externally learned entry for 10.0.0.251 on interface lo (extern_learn, "
             "put there by another program such as a switch driver or a routing daemon). The program leaves it as "
             "it is, so this way of assigning the IP address fails. The command ip shows it as: 10.0.0.251 dev lo "
             "lladdr 02:00:00:00:fe:fb extern_learn REACHABLE",
             "The neighbour table holds an entry of another protocol for 10.0.0.250 on interface lo (one another "
             "program marked as its own, or one of this program's that is no longer permanent). The program leaves "
             "it as it is, so this way of assigning the IP address fails. The command ip shows it as: 10.0.0.250 "
             "dev lo lladdr 02:00:00:00:fe:fa proto static PERMANENT",
             "The address 10.0.0.246 is the next hop (gateway) of a route of this PC, so this program makes no "
             "entry or route for it on interface lo. Choose another IP address for the device. The command ip "
             "shows it as: id 7 via 10.0.0.246 dev lo",
             "The address 10.0.0.245 is the next hop (gateway) of a route of this PC, so this program makes no "
             "entry or route for it on interface lo. Choose another IP address for the device.",
             "The address 10.0.0.1 is an address of this PC, so this program makes no entry or route for it on "
             "interface lo. Choose another IP address for the device. The command ip shows it as: 10.0.0.1/24 dev "
             "lo",
             "The address 10.0.0.0 is the network address of a subnet of interface lo, so this program makes no "
             "entry or route for it. Choose another IP address for the device. The command ip shows it as: "
             "10.0.0.1/24 dev lo",
             "The address 10.0.0.255 is the broadcast address of a subnet of interface lo, so this program makes "
             "no entry or route for it. Choose another IP address for the device. The command ip shows it as: "
             "10.0.0.1/24 dev lo",
             "The address 10.50.0.5 lies in the network another network card of this PC is connected to, so this "
             "program makes no entry or route for it on interface lo, which would take that network's traffic away "
             "from its card. Choose another IP address for the device, or the network card the device is connected "
             "to. The command ip shows it as: 10.50.0.1/24 dev eth1",
             "The network helper already holds as many neighbour entries of its own as it may, so it makes none for "
             "10.0.0.5 on interface lo, and this way of assigning the IP address fails. They are most likely left "
             "over from interrupted attempts: an administrator removes them all by running this command as root:" +
                 removal + "ip neigh flush proto 86 nud permanent",
             "The network helper already holds as many host routes of its own as it may, so it makes none to "
             "10.0.0.6 on interface lo, and this way of assigning the IP address fails. They are most likely left "
             "over from interrupted attempts: an administrator removes them all by running this command as root:" +
                 removal + "ip route flush table all proto 86",
             "Internal error of the program: the network change this way of assigning the IP address needs was "
             "refused as a request the program should never make (not an Ethernet interface: lo). Please tell the "
             "program's developers.",
             "The neighbour table holds an entry for 10.0.0.5 on interface lo that this program did not make (most "
             "likely an administrator's or another program's). The program leaves it as it is, so this way of "
             "assigning the IP address fails.",
             "The neighbour table holds an entry for 10.0.0.5 on interface lo that this program did not make (most "
             "likely an administrator's or another program's). The program leaves it as it is, so this way of "
             "assigning the IP address fails.",
             "This program makes no entry or route for 10.0.0.5 on interface lo: it is an address of this PC, a "
             "network or broadcast address of its subnet, or a gateway its routes lead through. Choose another IP "
             "address for the device.",
         }},
    };
    // Who owns the helper file, and whether it holds its capabilities,
    // decide the advice; whether the group exists and lists the user decide
    // the command. Each message is made on a thread of the user it names:
    // nobody, or a real user id without an entry (its effective one
    // nobody's). Without root the file is the builder's own and the user
    // the runner: only that state is left.
    const bool root = geteuid() == 0;
    const QString vynnet = QStringLiteral("vynnet");
    const bool vynnetExists = getgrnam("vynnet") != nullptr;
    const passwd* runner = getpwuid(getuid());
    ASSERT_NE(runner, nullptr);
    const QString runnerName = QString::fromLocal8Bit(runner->pw_name);
    // Whether the group database lists the user in vynnet, should the host
    // have that group already.
    const auto inVynnet = [](const QString& user) {
        const passwd* u = getpwnam(user.toLocal8Bit().constData());
        const group* g = getgrnam("vynnet");
        gid_t groups[256];
        int count = 256;
        return u && g && getgrouplist(u->pw_name, u->pw_gid, groups, &count) >= 0 &&
            std::find(groups, groups + count, g->gr_gid) != groups + count;
    };
    const struct {
        const char* what;
        uid_t owner;
        gid_t group;
        bool capable;
        uid_t user;                // the real user id the message is made for
        const QString* keptGroup;  // the helper's own group, kept; nullptr: vynnet
        bool addUser = true;       // for a kept group
    } owners[] = {
        {"kept to the user's own group", 0, 65534, false, 65534, &nobodysGroup, false},
        {"kept to a group the user is not in", 0, 100, false, 65534, &otherGroup},
        {"kept to a group the user is not in, with its capabilities", 0, 100, true, 65534, &otherGroup},
        {"built by a normal user", 65534, 65534, false, 65534, nullptr},
        {"of group root", 0, 0, false, 65534, nullptr},
        {"kept to a group without a name", 0, 4244, false, 65534, nullptr},
        {"of group root, for a user without an entry", 0, 0, false, 4242, nullptr},
    };
    // The rights messages for each code as the user with that real id reads
    // them.
    const auto readAs = [&](uid_t user, const std::vector<uint32_t>& codes) {
        std::vector<QString> texts;
        const auto read = [&] {
            TARPManager m(false);
            for (uint32_t code : codes) {
                fake.Rights = code;
                texts.push_back(m.MissingRightsText());
            }
        };
        if (!root) {
            read();
            return texts;
        }
        std::thread([&] {
            try {
                if (user == 65534)
                    BecomeNormalUser();
                else if (syscall(SYS_setgroups, 0, nullptr) != 0 || syscall(SYS_setresgid, 65534, 65534, 65534) != 0 ||
                         syscall(SYS_setresuid, user, 65534, 65534) != 0)
                    throw std::runtime_error("cannot become user " + std::to_string(user));
                read();
            } catch (const std::exception& e) {
                ADD_FAILURE() << e.what();
            }
        }).join();
        return texts;
    };
    for (const auto& l : languages) {
        SCOPED_TRACE(l.file);
        Language.LoadFromFile(QStringLiteral(VYN_SOURCE_DIR "/resources/") + QLatin1String(l.file));
        TARPManager m(false);
        for (const auto& [helper, word] : helpers) {
            SCOPED_TRACE(helper.toStdString());
            platform::SetNetHelperPath(helper);
            const QByteArray path = QFile::encodeName(helper);
            for (const auto& o : owners) {
                SCOPED_TRACE(o.what);
                if (root) {
                    // A change of owner takes the capabilities away.
                    ASSERT_EQ(chown(path.constData(), o.owner, o.group), 0);
                    ASSERT_EQ(std::system(("timeout 60 setcap " +
                                           std::string(o.capable ? "cap_net_admin,cap_net_raw+ep " : "-r ") +
                                           platform::ShellWord(path.toStdString()) + " 2>/dev/null")
                                              .c_str()) == 0,
                              o.capable);
                } else if (o.owner != 65534 || o.user != 65534) {
                    continue;
                }
                const QString group = o.keptGroup ? *o.keptGroup : vynnet;
                const QString user = !root ? runnerName
                    : o.user == 65534      ? QStringLiteral("nobody")
                                           : QString::number(o.user);
                const QString fix = setUp(word, group, user, !o.keptGroup && !vynnetExists,
                                          o.keptGroup ? o.addUser : !inVynnet(user));
                const auto& refused = !o.keptGroup ? l.notPermittedSetUp
                    : o.capable                    ? l.notPermitted
                                                   : l.notPermittedLacking;
                // The path as the text holds it: whole on a line.
                const QString shown = platform::UnbrokenPath(helper);
                const std::pair<uint32_t, QString> rights[] = {
                    {0, QString()},
                    {platform::ERROR_FILE_NOT_FOUND, l.missing(shown)},
                    {platform::ERROR_ACCESS_DISABLED_BY_POLICY, refused(shown, group, user) + fix},
                    {platform::ERROR_PRIVILEGE_NOT_HELD, l.lacking(shown, group, user) + fix},
                    {platform::ERROR_ERRNO_FLAG | ETIMEDOUT, l.broken(shown)},
                };
                std::vector<uint32_t> codes;
                for (const auto& r : rights)
                    codes.push_back(r.first);
                const std::vector<QString> texts = readAs(o.user, codes);
                ASSERT_EQ(texts.size(), codes.size());
                for (size_t i = 0; i < codes.size(); ++i)
                    EXPECT_EQ(texts[i], rights[i].second) << codes[i];
            }
        }
        // A failed change names the entry or route in the way, or the
        // address refused, in the operation's message.
        ASSERT_EQ(std::size(l.refused), std::size(refusals));
        for (size_t i = 0; i < std::size(refusals); ++i) {
            const auto& r = refusals[i];
            SCOPED_TRACE(r.kind + std::string(" ") + r.ip);
            fake.Why = {r.kind, r.shown, std::string()};
            fake.CreateResult = r.route ? 0 : r.code;
            fake.RouteResult = r.route ? r.code : 0;
            const QString code = QStringLiteral("\r\n(#%1)").arg(r.code, 8, 16, QLatin1Char('0'));
            EXPECT_EQ(ExceptionText<EARPException>([&] {
                          if (r.route)
                              m.CreateHostRoute(ip(r.ip), int32_t(lo));
                          else
                              m.CreateARPEntry(ip(r.ip), kDevMac, 4, int32_t(lo));
                      }),
                      (r.route ? "CreateHostRoute:\r\n" : "CreateARPEntry:\r\n") + l.refused[i] + code);
        }
        // Without a reason, a route someone else made is told as such.
        EXPECT_EQ(ARPErrorText(platform::ERROR_NOT_OWNER, {ip("10.0.0.5"), lo, true}),
                  QString::fromUtf8(std::string_view(l.file) == "cesky.lng"
                                        ? "Ve směrovací tabulce je trasa k adrese 10.0.0.5, kterou nevytvořil tento "
                                          "program (nejspíš ji zadal správce). Program ji ponechá, jak je, a tento "
                                          "způsob přiřazení IP adresy proto selže.\r\n"
                                        : "The routing table holds a route to 10.0.0.5 that this program did not make "
                                          "(most likely an administrator's). The program leaves it as it is, so this "
                                          "way of assigning the IP address fails.\r\n"));
    }
    Language = TLanguage();
    platform::SetNetHelperPath(QString());
}

namespace {

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// What of the host's /etc a group's making or a member's adding would
// change: the user and group files with their backups and locks.
std::map<std::string, std::string> accountFiles()
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator("/etc")) {
        const std::string name = entry.path().filename().string();
        if (name.find("passwd") != std::string::npos || name.find("group") != std::string::npos ||
            name.find("shadow") != std::string::npos || name.ends_with(".lock"))
            files[name] = entry.is_regular_file() ? fileText(entry.path().string()) : std::string("(not a file)");
    }
    return files;
}

} // namespace

// The whole fix each rights message gives, run once as root the way an
// administrator pastes it: it parses as one command, and afterwards the user
// named runs the helper in a new session, and the helper is root's, of the
// group named, mode 750, with its capabilities. The messages are made as
// user nobody reads them, for helpers on a plain path, one with a space and
// one with a quote. Each command runs in a mount namespace of its own over a
// private copy of /etc, which takes the group made and the member added;
// the host's /etc stays as it was.
TEST_F(ARPManagerTest, TheSetUpCommandGivesAHelperOnAnyPathItsGroupModeAndCapabilities)
{
    VYN_REQUIRE_ROOT();
    const auto groupName = [](gid_t gid) {
        const group* g = getgrgid(gid);
        return g ? std::string(g->gr_name) : std::string();
    };
    const std::string usersName = groupName(100);     // a group nobody is not a member of
    const std::string nogroupName = groupName(65534); // nobody's primary group
    ASSERT_FALSE(usersName.empty() || nogroupName.empty());
    const bool vynnetExists = getgrnam("vynnet") != nullptr;
    const std::map<std::string, std::string> hostFiles = accountFiles();

    const struct {
        const char* what;
        uint32_t code; // the helper's answer
        uid_t owner;
        gid_t group;
        mode_t mode;
        bool capable;
        std::string groupAfter;
        bool makesGroup;
        bool addsUser;
    } states[] = {
        {"outside a kept group, the helper capable", platform::ERROR_ACCESS_DISABLED_BY_POLICY, 0, 100, 0750, true,
         usersName, false, true},
        {"outside a kept group, the helper without capabilities", platform::ERROR_ACCESS_DISABLED_BY_POLICY, 0, 100,
         0750, false, usersName, false, true},
        {"a helper its builder owns, mode 755", platform::ERROR_PRIVILEGE_NOT_HELD, 65534, 65534, 0755, false,
         "vynnet", !vynnetExists, true},
        {"a helper of group root", platform::ERROR_ACCESS_DISABLED_BY_POLICY, 0, 0, 0750, false, "vynnet",
         !vynnetExists, true},
        {"lacking capabilities only", platform::ERROR_PRIVILEGE_NOT_HELD, 0, 65534, 0750, false, nogroupName, false,
         false},
    };
    for (const auto& s : states) {
        SCOPED_TRACE(s.what);
        for (const char* folderName : {"bin", "my bin", "it's a bin"}) {
            SCOPED_TRACE(folderName);
            QTemporaryDir dir;
            const std::string base = dir.path().toStdString();
            const std::string folder = base + "/" + folderName;
            const std::string helper = folder + "/vyn-netpriv";
            ASSERT_EQ(chmod(base.c_str(), 0755), 0);
            ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
            ASSERT_TRUE(QFile::copy(QString::fromStdString(NetHelperCopy::BuiltPath()), QString::fromStdString(helper)));
            ASSERT_EQ(chown(helper.c_str(), s.owner, s.group), 0);
            ASSERT_EQ(chmod(helper.c_str(), s.mode), 0);
            if (s.capable) {
                ASSERT_EQ(std::system(("timeout 60 setcap cap_net_admin,cap_net_raw+ep " + platform::ShellWord(helper))
                                          .c_str()),
                          0);
            }
            platform::SetNetHelperPath(QString::fromStdString(helper));

            // The message as user nobody reads it.
            QString message;
            std::thread([&] {
                try {
                    BecomeNormalUser();
                    TARPManager m(false);
                    fake.Rights = s.code;
                    message = m.MissingRightsText();
                } catch (const std::exception& e) {
                    ADD_FAILURE() << e.what();
                }
            }).join();
            const platform::MessageParts advice = platform::SplitCommands(message);
            ASSERT_EQ(advice.commands.size(), 1) << message.toStdString();
            EXPECT_TRUE(advice.text.contains(QStringLiteral(" nobody "))) << message.toStdString();
            const std::string command = advice.commands[0].toStdString();
            EXPECT_EQ(command.starts_with("groupadd --system "), s.makesGroup) << command;
            EXPECT_EQ(command.find("gpasswd -a nobody " + s.groupAfter + " && ") != std::string::npos, s.addsUser)
                << command;

            const auto write = [&](const std::string& name, const std::string& text) {
                std::ofstream(base + "/" + name) << text;
                return platform::ShellWord(base + "/" + name);
            };
            EXPECT_EQ(std::system(("timeout 60 bash -n " + write("command.sh", command + "\n")).c_str()), 0) << command;
            // Run once as root, then the user's new session, as the private
            // copy of /etc sees them.
            const std::string out = base + "/out";
            const std::string path = platform::ShellWord(helper);
            const std::string run = write(
                "run.sh", "export PATH=/usr/sbin:/usr/bin:/sbin:/bin\n"
                          "cp -a /etc " + platform::ShellWord(base + "/etc") + " && mount --bind " +
                          platform::ShellWord(base + "/etc") + " /etc || exit 8\n" +
                          command + "\nstatus=$?\n"
                          "setpriv --reuid=nobody --regid=nogroup --init-groups " + path + " check > " +
                          platform::ShellWord(out + ".check") + " 2>&1\n"
                          "stat -c '%U:%G %a' " + path + " > " + platform::ShellWord(out + ".stat") + "\n"
                          "/usr/sbin/getcap " + path + " > " + platform::ShellWord(out + ".caps") + "\n"
                          "exit $status\n");
            EXPECT_EQ(std::system(("timeout 60 unshare -m bash " + run + " > " + platform::ShellWord(out + ".log") +
                                   " 2>&1")
                                      .c_str()),
                      0)
                << command << '\n'
                << fileText(out + ".log");
            EXPECT_EQ(fileText(out + ".check"), "ok\n") << command;
            EXPECT_EQ(fileText(out + ".stat"), "root:" + s.groupAfter + " 750\n") << command;
            EXPECT_EQ(fileText(out + ".caps"), helper + " cap_net_admin,cap_net_raw=ep\n") << command;
            EXPECT_EQ(accountFiles(), hostFiles);
            platform::SetNetHelperPath(QString());
        }
    }
    EXPECT_EQ(getgrnam("vynnet") != nullptr, vynnetExists);
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
