#include "platform/IpHelper.h"
#include "support/NetBench.h"
#include "support/NetHelperCopy.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
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
        out += std::string("; ") + name + " " + std::to_string(rc);
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
    char text[32];
    std::snprintf(text, sizeof text, "; arp %u %02x:%02x:%02x:%02x:%02x:%02x", arp, mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return out + text;
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
// not believed. Its own answers pass through as the system's.
TEST_F(IpHelperRights, AHelperThatHangsOrTalksNonsenseFails)
{
    const NetHelperCopy dir(false);
    const uint32_t proto = ERROR_ERRNO_FLAG | EPROTO;
    const std::pair<const char*, uint32_t> rows[] = {
        {"echo 'ok 02:00:00:aa:bb:cc'; echo ok", proto}, {"echo okay", proto}, {"echo ok; exit 1", proto},
        {"echo 'error 1x'; exit 1", proto}, {"echo refused; exit 3", proto}, {"echo foreign; exit 2", proto},
        {"kill -9 $$", proto}, {"echo 'error 17'; exit 1", ERROR_ERRNO_FLAG | EEXIST},
        {"echo 'error 1'; exit 1", ERROR_PRIVILEGE_NOT_HELD}, {"echo refused; exit 2", ERROR_INVALID_PARAMETER},
        {"echo foreign; exit 3", ERROR_NOT_OWNER},
    };
    for (const auto& [body, code] : rows)
        EXPECT_EQ(ChangesAs(true, dir.Script("helper", body), false),
                  "rights " + std::to_string(code) + "; create " + std::to_string(code) + ", no entry")
            << body;

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
