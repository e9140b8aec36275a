#include "platform/IpHelper.h"
#include "support/NetBench.h"
#include "support/NetHelperCopy.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace platform;

TEST(IpHelper, AdapterRecordsAreChainedInsideTheBufferAndErrorsHaveTexts)
{
    AdapterEntry bare;
    bare.Name = "eth0";
    bare.Description = std::string(300, 'd'); // cut to fit
    AdapterEntry two;
    two.Name = "eth1";
    two.Addresses = {{inet_addr("10.0.0.5"), inet_addr("255.0.0.0")},
                     {inet_addr("192.168.1.10"), inet_addr("255.255.255.0")}};

    uint32_t size = 0;
    EXPECT_EQ(WriteAdaptersInfo({bare, two}, nullptr, &size), ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(size, 2 * sizeof(IP_ADAPTER_INFO) + sizeof(IP_ADDR_STRING));
    std::vector<uint64_t> buffer(size / 8 + 1);
    EXPECT_EQ(WriteAdaptersInfo({bare, two}, reinterpret_cast<char*>(buffer.data()) + 1, &size), ERROR_INVALID_PARAMETER);
    ASSERT_EQ(WriteAdaptersInfo({bare, two}, buffer.data(), &size), NO_ERROR);

    const auto* a = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
    EXPECT_STREQ(a->AdapterName, "eth0");
    EXPECT_EQ(strlen(a->Description), sizeof a->Description - 1);
    EXPECT_STREQ(a->IpAddressList.IpAddress, "0.0.0.0");
    ASSERT_NE(a->Next, nullptr);
    ASSERT_NE(a->Next->IpAddressList.Next, nullptr);
    EXPECT_STREQ(a->Next->IpAddressList.Next->IpMask, "255.255.255.0");

    EXPECT_EQ(WriteAdaptersInfo({}, nullptr, &size), NO_ERROR);
    EXPECT_EQ(size, 0u);

    // Error texts end with a line break, as the system's do.
    EXPECT_EQ(SystemErrorText(ERROR_MOD_NOT_FOUND), QStringLiteral("The specified module could not be found.\r\n"));
    EXPECT_TRUE(SystemErrorText(ERROR_ERRNO_FLAG | EIO).endsWith(QStringLiteral("\r\n")));
    EXPECT_TRUE(SystemErrorText(999999).isEmpty());
}

// ------------------------------------------------------------ rights

namespace {

// The reason the calling thread's last error was given with, when it has a
// kind: " [KIND|SHOWN]".
std::string LastReason()
{
    const net::Reason& why = GetLastErrorReason();
    return why.kind.empty() ? std::string() : " [" + why.kind + "|" + why.shown + "]";
}

// What the changes that need rights come to on a bench: the PC reaches
// 10.77.0.0/24, where the device answers ARP, through a gateway only.
std::string Changes(IpHelper& h, bool all)
{
    std::string out = "rights " + std::to_string(h.NetworkRights());
    uint32_t index = 0;
    uint32_t hop = 0;
    if (h.GetBestRoute(inet_addr("10.213.0.60"), &index, &hop) != NO_ERROR)
        return out + "; no interface";

    MIB_IPNETROW row{index, 6, {0x02, 0, 0, 0xaa, 0xbb, 0xcc}, inet_addr("10.213.0.60"), MIB_IPNET_TYPE_STATIC};
    const auto entry = [&] {
        std::vector<uint64_t> table(512);
        uint32_t size = static_cast<uint32_t>(table.size() * 8);
        if (h.GetIpNetTable(table.data(), &size, false) == NO_ERROR) {
            const auto* rows = reinterpret_cast<const MIB_IPNETROW*>(reinterpret_cast<const char*>(table.data()) + 4);
            for (uint32_t i = 0; i < *reinterpret_cast<const uint32_t*>(table.data()); ++i) {
                if (rows[i].dwAddr == row.dwAddr && rows[i].dwType == MIB_IPNET_TYPE_STATIC &&
                    std::memcmp(rows[i].bPhysAddr, row.bPhysAddr, 6) == 0)
                    return std::string(", entry");
            }
        }
        return std::string(", no entry");
    };
    const auto route = [&] {
        uint32_t i = 0;
        uint32_t next = 0;
        h.GetBestRoute(inet_addr("10.77.0.2"), &i, &next);
        return std::string(next == 0 ? ", on-link" : ", via gateway");
    };
    // Each change, then what it left.
    const auto step = [&](const char* name, uint32_t rc, const std::function<std::string()>& look) {
        out += std::string("; ") + name + " " + std::to_string(rc) + LastReason();
        out += look();
    };
    step("create", h.CreateIpNetEntry(row), entry);
    if (!all)
        return out;
    step("delete", h.DeleteIpNetEntry(row), entry);
    step("route", h.CreateHostRoute(inet_addr("10.77.0.2"), index), route);
    step("unroute", h.DeleteHostRoute(inet_addr("10.77.0.2"), index), route);
    uint8_t mac[8] = {};
    uint32_t length = 6;
    const uint32_t arp = h.SendARP(inet_addr("10.77.0.2"), 0, mac, &length);
    const std::string why = arp != NO_ERROR ? LastReason() : std::string();
    char text[64];
    std::snprintf(text, sizeof text, "; arp %u %02x:%02x:%02x:%02x:%02x:%02x", arp, mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return out + text + why;
}

class IpHelperRights : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VYN_REQUIRE_ROOT();
        NetBenchOptions options;
        options.pcRoute = NetBenchOptions::Route::Gateway;
        options.devAddress = "10.77.0.2/24";
        bench = std::make_unique<NetBench>("iph", options);
    }
    void TearDown() override { SetNetHelperPath(QString()); }

    // The changes, made on a thread in the PC namespace: a normal user's
    // (a member of the group, if one is given), or root's with its
    // capabilities.
    std::string ChangesAs(bool normalUser, const std::string& helper, bool all = true, gid_t group = 0)
    {
        SetNetHelperPath(QString::fromStdString(helper));
        std::string out;
        NetBench::RunOnThreadIn(bench->PcNamespace(), false, [&] {
            if (normalUser)
                BecomeNormalUser(group);
            const std::unique_ptr<IpHelper> h = OpenIpHelper();
            out = h ? Changes(*h, all) : "no helper";
        });
        // Nothing outlives the changes but the entry of a refused delete.
        EXPECT_EQ(bench->OutputInPc("ip route show 10.77.0.2"), "");
        bench->RunInPc("ip neigh flush 10.213.0.60 nud permanent");
        return out;
    }

    std::unique_ptr<NetBench> bench;
};

// A group no name is given to, standing in for the administrator's.
constexpr gid_t kHelperGroup = 4242;

const std::string kDone = "rights 0; create 0, entry; delete 0, no entry; route 0, on-link; unroute 0, via gateway; "
                          "arp 0 02:76:79:6e:00:02";

// Every change refused with the code of why; a helper that runs finds no
// entry to delete, which is no failure.
std::string Refused(uint32_t code, bool helperRuns = false)
{
    const std::string c = std::to_string(code);
    return "rights " + c + "; create " + c + ", no entry; delete " + (helperRuns ? "0" : c) + ", no entry; route " + c +
           ", via gateway; unroute " + c + ", via gateway; arp " + c + " 00:00:00:00:00:00";
}

} // namespace

TEST_F(IpHelperRights, ANormalUserChangesTheNetworkThroughAHelperWithRightsAndIsToldOtherwise)
{
    const NetHelperCopy with(true);
    const NetHelperCopy without(false);
    // As an administrator sets it up: a group of its own alone may run it.
    const NetHelperCopy locked(true, kHelperGroup);
    const struct {
        const char* what;
        bool normalUser;
        std::string helper;
        std::string changes;
        gid_t group = 0;
    } rows[] = {
        {"helper with its rights", true, with.Path(), kDone},
        {"helper without them", true, without.Path(), Refused(ERROR_PRIVILEGE_NOT_HELD, true)},
        {"helper exists but this user may not run it", true, locked.Path(), Refused(ERROR_ACCESS_DISABLED_BY_POLICY)},
        {"a member of the helper's group", true, locked.Path(), kDone, kHelperGroup},
        {"no helper", true, with.Dir() + "/absent", Refused(ERROR_FILE_NOT_FOUND)},
        // A program file that still holds the rights does the changes itself.
        {"the program's own rights", false, with.Dir() + "/absent", kDone},
        {"the program's own rights before a helper without them", false, without.Path(), kDone},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(ChangesAs(row.normalUser, row.helper, true, row.group), row.changes);
    }
    // The words of each state name the helper's group as the system has it.
    SetNetHelperPath(QString::fromStdString(locked.Path()));
    EXPECT_EQ(NetHelperGroup(), QString::number(kHelperGroup));
}

// A helper that does not answer as one is a failure with a code of its own:
// one that overruns its deadline is killed, one that says something else is
// not believed. Its own answers pass through as the system's, a refusal
// with its kind and what is in the way (at most 200 bytes, no control
// characters), or without them from a helper older than the reasons.
TEST_F(IpHelperRights, AHelperThatHangsOrTalksNonsenseFails)
{
    const NetHelperCopy dir(false);
    const uint32_t proto = ERROR_ERRNO_FLAG | EPROTO;
    const std::string most(200, 'x');
    const struct {
        std::string body;
        uint32_t code;
        std::string why = "";
    } rows[] = {
        {"echo 'ok 02:00:00:aa:bb:cc'; echo ok", proto}, {"echo okay", proto}, {"echo ok; exit 1", proto},
        {"echo 'error 1x'; exit 1", proto}, {"echo refused; exit 3", proto}, {"echo foreign; exit 2", proto},
        {"kill -9 $$", proto}, {"echo 'error 17'; exit 1", ERROR_ERRNO_FLAG | EEXIST},
        {"echo 'error 1'; exit 1", ERROR_PRIVILEGE_NOT_HELD}, {"echo refused; exit 2", ERROR_INVALID_PARAMETER},
        {"echo foreign; exit 3", ERROR_NOT_OWNER},
        {"echo 'refused next-hop default via 10.213.0.250 dev veth-pc'; exit 2", ERROR_INVALID_PARAMETER,
         " [next-hop|default via 10.213.0.250 dev veth-pc]"},
        {"echo 'foreign permanent-entry 10.213.0.254 dev veth-pc lladdr 02:00:00:00:fe:fe PERMANENT'; exit 3",
         ERROR_NOT_OWNER, " [permanent-entry|10.213.0.254 dev veth-pc lladdr 02:00:00:00:fe:fe PERMANENT]"},
        {"echo 'refused entry-limit'; exit 2", ERROR_INVALID_PARAMETER, " [entry-limit|]"},
        {"echo 'refused argument not an Ethernet interface: lo'; exit 2", ERROR_INVALID_PARAMETER,
         " [argument|not an Ethernet interface: lo]"},
        {"echo 'foreign host-route " + most + "'; exit 3", ERROR_NOT_OWNER, " [host-route|" + most + "]"},
        {"echo 'foreign host-route " + most + "x'; exit 3", proto},
        // A kind the other refusal carries, a refusal with the other's exit, a kind of no helper's.
        {"echo 'refused host-route 10.78.0.8 dev veth-pc'; exit 2", proto},
        {"echo 'foreign next-hop'; exit 3", proto},
        {"echo 'refused next-hop'; exit 3", proto},
        {"echo 'refused gateway 10.213.0.254'; exit 2", proto},
        // No space, two spaces, an empty or broken line of what is in the way.
        {"echo refusednext-hop; exit 2", proto},
        {"echo 'refused  next-hop'; exit 2", proto},
        {"echo 'refused next-hop '; exit 2", proto},
        {"printf 'refused next-hop id 7\\tvia 10.213.0.246\\n'; exit 2", proto},
    };
    for (const auto& [body, code, why] : rows)
        EXPECT_EQ(ChangesAs(true, dir.Script("helper", body), false),
                  "rights " + std::to_string(code) + "; create " + std::to_string(code) + why + ", no entry")
            << body;

    // Each change has the reason of its own answer: none for a bare
    // refusal or a failure after a refusal with one.
    const std::string failed = std::to_string(ERROR_ERRNO_FLAG | EEXIST);
    EXPECT_EQ(ChangesAs(true, dir.Script("helper", "case \"$1\" in\n"
                                                   "neigh-add) echo 'refused own-address 10.213.0.1/24 dev veth-pc'; exit 2;;\n"
                                                   "neigh-del) echo refused; exit 2;;\n"
                                                   "*) echo 'error 17'; exit 1;;\n"
                                                   "esac")),
              "rights " + failed + "; create 87 [own-address|10.213.0.1/24 dev veth-pc], no entry; delete 87, no entry; "
              "route " + failed + ", via gateway; unroute " + failed + ", via gateway; arp " + failed +
                  " 00:00:00:00:00:00");

    // Asking for the rights and the change each wait for the 2 s deadline;
    // the bound leaves a wide margin and is far below the hang itself. One
    // that answers and then lingers, its output closed, has not ended either.
    const std::string timedOut = std::to_string(ERROR_ERRNO_FLAG | ETIMEDOUT);
    for (const char* body : {"exec sleep 60", "echo ok; exec sleep 60 >&-"}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ChangesAs(true, dir.Script("helper", body), false),
                  "rights " + timedOut + "; create " + timedOut + ", no entry")
            << body;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15)) << body;
    }
}

// The program's own rights check a change as the helper does and give the
// same reasons; a later failure without one leaves none from before.
TEST_F(IpHelperRights, TheProgramsOwnChangesGiveTheReasonOfARefusal)
{
    ASSERT_EQ(bench->RunInPc("ip neigh add 10.213.0.61 lladdr 02:00:00:00:00:61 dev veth-pc nud permanent"), 0);
    const auto entry = [&](const char* addr, uint32_t length = 6) {
        return MIB_IPNETROW{0, length, {0x02, 0, 0, 0xaa, 0xbb, 0xcc}, inet_addr(addr), MIB_IPNET_TYPE_STATIC};
    };
    const struct {
        const char* what;
        std::function<uint32_t(IpHelper&, uint32_t)> change;
        uint32_t code;
        const char* kind;
    } rows[] = {
        {"an entry for the PC's own address",
         [&](IpHelper& h, uint32_t i) { MIB_IPNETROW r = entry("10.213.0.1"); r.dwIndex = i; return h.CreateIpNetEntry(r); },
         ERROR_INVALID_PARAMETER, net::reason::kOwnAddress},
        {"an entry of nobody's size",
         [&](IpHelper& h, uint32_t i) { MIB_IPNETROW r = entry("10.213.0.60", 0); r.dwIndex = i; return h.CreateIpNetEntry(r); },
         ERROR_INVALID_PARAMETER, ""},
        {"a route to the gateway", [](IpHelper& h, uint32_t i) { return h.CreateHostRoute(inet_addr("10.213.0.254"), i); },
         ERROR_INVALID_PARAMETER, net::reason::kNextHop},
        {"an administrator's entry",
         [&](IpHelper& h, uint32_t i) { MIB_IPNETROW r = entry("10.213.0.61"); r.dwIndex = i; return h.CreateIpNetEntry(r); },
         ERROR_NOT_OWNER, net::reason::kPermanentEntry},
        {"an address of the PC asked ARP from another's",
         [](IpHelper& h, uint32_t) {
             uint8_t mac[8];
             uint32_t length = 6;
             return h.SendARP(inet_addr("10.77.0.2"), inet_addr("10.213.0.9"), mac, &length);
         },
         ERROR_INVALID_PARAMETER, net::reason::kArgument},
    };
    NetBench::RunOnThreadIn(bench->PcNamespace(), false, [&] {
        const std::unique_ptr<IpHelper> h = OpenIpHelper();
        ASSERT_NE(h, nullptr);
        const uint32_t pc = if_nametoindex("veth-pc");
        for (const auto& r : rows) {
            SCOPED_TRACE(r.what);
            EXPECT_EQ(r.change(*h, pc), r.code);
            EXPECT_EQ(GetLastError(), r.code);
            EXPECT_EQ(GetLastErrorReason().kind, r.kind);
        }
    });
    bench->RunInPc("ip neigh flush 10.213.0.61 nud permanent");
}

// Whether the helper file holds its capabilities, as any user reads it from
// the file, for a helper that user may not run: both capabilities, permitted
// and effective, or it lacks them; a file that cannot be looked at says
// nothing.
TEST(IpHelper, AnyUserReadsWhetherTheHelperFileLacksItsCapabilities)
{
    VYN_REQUIRE_ROOT();
    const NetHelperCopy bare(false);
    const NetHelperCopy kept(true, kHelperGroup);
    const NetHelperCopy keptBare(false, kHelperGroup);
    const struct {
        const char* what;
        std::string helper;
        const char* caps; // given with setcap, if any
        bool lacks;
    } rows[] = {
        {"both, permitted and effective", bare.Path(), "cap_net_admin,cap_net_raw+ep", false},
        {"both and another", bare.Path(), "cap_net_admin,cap_net_raw,cap_sys_time+ep", false},
        {"none", bare.Path(), nullptr, true},
        {"one", bare.Path(), "cap_net_admin+ep", true},
        {"the other", bare.Path(), "cap_net_raw+ep", true},
        {"both, permitted only", bare.Path(), "cap_net_admin,cap_net_raw+p", true},
        {"kept to a group, with them", kept.Path(), nullptr, false},
        {"kept to a group, without them", keptBare.Path(), nullptr, true},
        {"no file", bare.Dir() + "/absent", nullptr, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        if (r.caps)
            ASSERT_EQ(std::system(("setcap " + std::string(r.caps) + " " + r.helper).c_str()), 0);
        else if (r.helper == bare.Path())
            std::system(("setcap -r " + r.helper + " 2>/dev/null").c_str());
        SetNetHelperPath(QString::fromStdString(r.helper));
        EXPECT_EQ(NetHelperLacksCapabilities(), r.lacks) << "root";
        bool asNobody = !r.lacks;
        std::thread([&] {
            BecomeNormalUser();
            asNobody = NetHelperLacksCapabilities();
        }).join();
        EXPECT_EQ(asNobody, r.lacks) << "nobody";
    }
    SetNetHelperPath(QString());
}
