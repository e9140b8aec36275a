// The network helper program, run as the program runs it, inside the PC
// namespace of a bench.

#include "support/NetBench.h"
#include "support/NetHelperCopy.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

const std::string kUsageStart = "\nusage: vyn-netpriv check\n";

class NetHelper : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VYN_REQUIRE_ROOT();
        bench = std::make_unique<NetBench>("np");
    }

    // What the helper printed (its answer, then any reason) and its exit code.
    std::string Run(const std::string& args, const std::string& helper = NetHelperCopy::BuiltPath(),
                    const std::string& as = "") const
    {
        return bench->OutputInPc(as + helper + " " + args + "; echo \"exit $?\"");
    }

    // The PC's neighbour entries and routes, every table: what the helper
    // can change (the bench takes no part in IPv6). The kernel moves an
    // entry it resolves from one passing state to another by itself.
    std::string Tables() const
    {
        return bench->OutputInPc("ip -4 neigh show | sed -E 's/ (INCOMPLETE|FAILED|PROBE|DELAY|REACHABLE|STALE) / /'; "
                                 "ip -4 route show table all; ip nexthop show");
    }

    std::unique_ptr<NetBench> bench;
};

const std::string kNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
const std::string kMac = "02:00:00:aa:bb:cc";

} // namespace

TEST_F(NetHelper, RefusesEveryArgumentItDoesNotKnowAndChangesNothing)
{
    // The reasons' openings; the refused word follows each.
    const std::string count = "wrong number of arguments for ", ifc = "not an interface name: ",
                      ip = "address is not a dotted IPv4 address of four decimal numbers: ",
                      host = "address is not a unicast host address: ", mac = "MAC address is not ",
                      hex = mac + "six hex bytes joined by ':': ", wait = "wait is not a number of milliseconds from 1 to 5000: ",
                      neigh = "neigh-add veth-pc 10.213.0.60 ", arp = "arp veth-pc 10.213.0.1 10.213.0.2 ",
                      own = "address is an address of the interface itself: ", subnet = "address is the ",
                      source = "source address is neither 0.0.0.0 nor an address of the interface: ";
    const struct {
        std::string args;
        std::string reason;
    } rows[] = {
        {"", "no command"}, {"fly", "unknown command: fly"}, {"CHECK", "unknown command: CHECK"},
        {"check now", count + "check"}, {"neigh-add veth-pc 10.213.0.60", count + "neigh-add"},
        {neigh + kMac + " permanent", count + "neigh-add"}, {"neigh-del veth-pc 10.213.0.60 " + kMac, count + "neigh-del"},
        {"route-add veth-pc", count + "route-add"}, {"route-del veth-pc 10.78.0.5 table", count + "route-del"},
        {"arp veth-pc 10.213.0.1 10.213.0.2", count + "arp"},
        {"neigh-add nosuch0 10.213.0.60 " + kMac, "no such interface: nosuch0"},
        {"route-add ../veth-pc 10.78.0.5", ifc + "../veth-pc"}, {"route-add veth-pc:1 10.78.0.5", ifc + "veth-pc:1"},
        {"route-add '' 10.78.0.5", ifc}, {"route-add abcdefghijklmnop 10.78.0.5", ifc + "abcdefghijklmnop"},
        {"neigh-del lo 10.213.0.60", "not an Ethernet interface: lo"},
        {"neigh-add veth-pc 10.213.0 " + kMac, ip + "10.213.0"},
        {"neigh-add veth-pc 10.213.0.60.1 " + kMac, ip + "10.213.0.60.1"},
        {"neigh-add veth-pc 10.213.0.060 " + kMac, ip + "10.213.0.060"},
        {"neigh-add veth-pc 10.213.0.256 " + kMac, ip + "10.213.0.256"},
        {"neigh-add veth-pc 0x0a.213.0.60 " + kMac, ip + "0x0a.213.0.60"},
        {"neigh-add veth-pc 10.213..60 " + kMac, ip + "10.213..60"},
        {"neigh-add veth-pc +10.213.0.60 " + kMac, ip + "+10.213.0.60"},
        {"route-add veth-pc 167.772.16.1", ip + "167.772.16.1"}, {"route-add veth-pc 0.0.0.0", host + "0.0.0.0"},
        {"route-add veth-pc 127.0.0.1", host + "127.0.0.1"}, {"route-add veth-pc 224.0.0.1", host + "224.0.0.1"},
        {"route-del veth-pc 255.255.255.255", host + "255.255.255.255"},
        {"arp veth-pc 10.213.0.1 10.213.0.0x 100", "destination " + ip + "10.213.0.0x"},
        {"arp veth-pc 10.213.1 10.213.0.2 100", "source " + ip + "10.213.1"},
        {neigh + "02:00:00:aa:bb", hex + "02:00:00:aa:bb"}, {neigh + "02-00-00-aa-bb-cc", hex + "02-00-00-aa-bb-cc"},
        {neigh + "02:00:00:aa:bb:cg", hex + "02:00:00:aa:bb:cg"},
        {neigh + "02:00:00:aa:bb:cc:dd", hex + "02:00:00:aa:bb:cc:dd"},
        {neigh + "00:00:00:00:00:00", mac + "a unicast address: 00:00:00:00:00:00"},
        {neigh + "ff:ff:ff:ff:ff:ff", mac + "a unicast address: ff:ff:ff:ff:ff:ff"},
        {neigh + "01:00:5e:00:00:01", mac + "a unicast address: 01:00:5e:00:00:01"},
        {arp + "0", wait + "0"}, {arp + "5001", wait + "5001"}, {arp + "0550", wait + "0550"}, {arp + "-5", wait + "-5"},
        {arp + "1e3", wait + "1e3"}, {arp + "100ms", wait + "100ms"},
        // Valid addresses that are not the helper's to name: its own, and
        // its subnet's network and broadcast addresses; ARP in another's name.
        {"neigh-add veth-pc 10.213.0.1 " + kMac, own + "10.213.0.1"},
        {"neigh-add veth-pc 10.213.0.0 " + kMac, subnet + "network address of a subnet of the interface: 10.213.0.0"},
        {"neigh-add veth-pc 10.213.0.255 " + kMac, subnet + "broadcast address of a subnet of the interface: 10.213.0.255"},
        {"route-add veth-pc 10.213.0.1", own + "10.213.0.1"},
        {"route-add veth-pc 10.213.0.255", subnet + "broadcast address of a subnet of the interface: 10.213.0.255"},
        {"arp veth-pc 8.8.8.8 10.213.0.2 100", source + "8.8.8.8"},
        {"arp veth-pc 10.213.0.2 10.213.0.77 100", source + "10.213.0.2"},
    };
    const std::string before = Tables();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        const std::string out = Run(row.args);
        EXPECT_EQ(out.rfind("refused\nvyn-netpriv: " + row.reason + kUsageStart, 0), 0u) << out;
        EXPECT_EQ(out.substr(out.size() - 7), "exit 2\n") << out;
    }
    EXPECT_EQ(Tables(), before);
}

TEST_F(NetHelper, EachCommandDoesWhatItSaysAndRemovingTwiceIsHarmless)
{
    const std::string own = " proto 86 ";
    const struct {
        std::string args;
        std::string answer;
        std::string look; // a command showing the state afterwards, and what it must show
        std::string shows;
        std::string before = ""; // what the kernel or another made first
    } steps[] = {
        {"check", "ok\nexit 0\n", "", ""},
        {"neigh-add veth-pc 10.213.0.60 " + kMac, "ok\nexit 0\n", "ip neigh show 10.213.0.60",
         "10.213.0.60 dev veth-pc lladdr 02:00:00:aa:bb:cc PERMANENT" + own + "\n"},
        // A second entry replaces the first.
        {"neigh-add veth-pc 10.213.0.60 02:00:00:aa:bb:dd", "ok\nexit 0\n", "ip neigh show 10.213.0.60",
         "10.213.0.60 dev veth-pc lladdr 02:00:00:aa:bb:dd PERMANENT" + own + "\n"},
        {"neigh-del veth-pc 10.213.0.60", "ok\nexit 0\n", "ip neigh show 10.213.0.60", ""},
        {"neigh-del veth-pc 10.213.0.60", "ok\nexit 0\n", "ip neigh show 10.213.0.60", ""},
        // Learned entries, whoever made them, give way.
        {"neigh-add veth-pc 10.213.0.61 " + kMac, "ok\nexit 0\n", "ip neigh show 10.213.0.61",
         "10.213.0.61 dev veth-pc lladdr 02:00:00:aa:bb:cc PERMANENT" + own + "\n",
         "ip neigh add 10.213.0.61 lladdr 02:00:00:00:00:61 dev veth-pc nud stale"},
        {"neigh-add veth-pc 10.213.0.62 " + kMac, "ok\nexit 0\n", "ip neigh show 10.213.0.62",
         "10.213.0.62 dev veth-pc lladdr 02:00:00:aa:bb:cc PERMANENT" + own + "\n",
         "ip neigh add 10.213.0.62 lladdr 02:00:00:00:00:62 dev veth-pc nud reachable"},
        {"neigh-del veth-pc 10.213.0.63", "ok\nexit 0\n", "ip neigh show 10.213.0.63", "",
         "ip neigh add 10.213.0.63 lladdr 02:00:00:00:00:63 dev veth-pc nud stale"},
        {"route-add veth-pc 10.78.0.5", "ok\nexit 0\n", "ip route show 10.78.0.5",
         "10.78.0.5 dev veth-pc" + own + "scope link \n"},
        {"route-add veth-pc 10.78.0.5", "error 17\nvyn-netpriv: File exists\nexit 1\n", "ip route show 10.78.0.5",
         "10.78.0.5 dev veth-pc" + own + "scope link \n"},
        {"route-del veth-pc 10.78.0.5", "ok\nexit 0\n", "ip route show 10.78.0.5", ""},
        {"route-del veth-pc 10.78.0.5", "ok\nexit 0\n", "ip route show 10.78.0.5", ""},
        // A device behind the default route through a gateway, and inside an
        // administrator's wider route through another.
        {"route-add veth-pc 10.78.0.9", "ok\nexit 0\n", "ip route show 10.78.0.9",
         "10.78.0.9 dev veth-pc" + own + "scope link \n", "ip route replace default via 10.213.0.254 dev veth-pc"},
        {"route-add veth-pc 10.90.0.9", "ok\nexit 0\n", "ip route show 10.90.0.9",
         "10.90.0.9 dev veth-pc" + own + "scope link \n", "ip route add 10.90.0.0/16 via 10.213.0.250 dev veth-pc"},
        {"neigh-add veth-pc 10.90.0.9 " + kMac, "ok\nexit 0\n", "ip neigh show 10.90.0.9",
         "10.90.0.9 dev veth-pc lladdr 02:00:00:aa:bb:cc PERMANENT" + own + "\n"},
        // The device's side answers for its own address only.
        {"arp veth-pc 10.213.0.1 10.213.0.2 550", "ok 02:76:79:6e:00:02\nexit 0\n", "", ""},
        {"arp veth-pc 0.0.0.0 10.213.0.2 550", "ok 02:76:79:6e:00:02\nexit 0\n", "", ""},
        {"arp veth-pc 10.213.0.1 10.213.0.77 100", "none\nexit 0\n", "", ""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.args);
        ASSERT_EQ(bench->RunInPc(step.before), 0);
        EXPECT_EQ(Run(step.args), step.answer);
        if (!step.look.empty()) {
            EXPECT_EQ(bench->OutputInPc(step.look), step.shows);
        }
    }
}

// What an administrator or another control plane made stays as it is,
// whatever the helper is asked: a permanent entry for the gateway, one
// without ARP, flagged and marked ones, host routes of the protocols a hand
// or a start-up script gives them, of a higher metric or in another table,
// and routes that drop what is sent. The addresses routes send through get
// no entry or route at all, even while the kernel's entry is only learned.
TEST_F(NetHelper, LeavesTheEntriesAndRoutesOthersMadeAsTheyAre)
{
    ASSERT_EQ(bench->RunInPc(
                  "ip neigh add 10.213.0.254 lladdr 02:00:00:00:fe:fe dev veth-pc nud permanent && "
                  "ip neigh add 10.213.0.253 lladdr 02:00:00:00:fe:fd dev veth-pc nud noarp && "
                  "ip neigh add 10.213.0.70 dev veth-pc managed && "
                  "ip neigh add 10.213.0.71 lladdr 02:00:00:00:00:71 dev veth-pc extern_learn nud stale && "
                  "ip neigh add 10.213.0.72 lladdr 02:00:00:00:00:72 dev veth-pc nud stale proto static && "
                  "ip neigh add 10.213.0.250 lladdr 02:00:00:00:fe:fa dev veth-pc nud stale && "
                  "ip route replace default via 10.213.0.250 dev veth-pc && "
                  "ip route add default via 10.213.0.249 dev veth-pc table 100 && "
                  "ip route add 10.92.0.0/16 nexthop via 10.213.0.247 dev veth-pc nexthop via 10.213.0.248 dev veth-pc && "
                  "ip nexthop add id 7 via 10.213.0.246 dev veth-pc && "
                  "ip route add 10.78.0.7 dev veth-pc && ip route add 10.78.0.8 dev veth-pc proto static && "
                  "ip route add 10.98.0.6 dev veth-pc metric 100 && ip route add 10.98.0.7 dev veth-pc table 100 && "
                  "ip route add blackhole 10.97.0.0/16 && ip route add unreachable 10.96.0.0/16 && "
                  "ip route add prohibit 10.95.5.0/24"),
              0);
    const std::string entry = "foreign\nvyn-netpriv: the ", taken = " on the interface was not made by vyn-netpriv: "
                                                                    "left as it is\nexit 3\n",
                      route = "foreign\nvyn-netpriv: the host route to ",
                      made = " was not made by vyn-netpriv: left as it is\nexit 3\n",
                      kernel = "foreign\nvyn-netpriv: the kernel's route to ",
                      leaves = ", which vyn-netpriv leaves as it is\nexit 3\n",
                      hop = "refused\nvyn-netpriv: address is the next hop of the route to ", exit2 = "\nexit 2\n";
    const std::pair<std::string, std::string> rows[] = {
        {"neigh-del veth-pc 10.213.0.254", entry + "permanent neighbour entry for 10.213.0.254" + taken},
        {"neigh-add veth-pc 10.213.0.254 " + kMac, entry + "permanent neighbour entry for 10.213.0.254" + taken},
        {"neigh-del veth-pc 10.213.0.253", entry + "NOARP neighbour entry for 10.213.0.253" + taken},
        {"neigh-add veth-pc 10.213.0.70 " + kMac, entry + "managed neighbour entry for 10.213.0.70" + taken},
        {"neigh-del veth-pc 10.213.0.70", entry + "managed neighbour entry for 10.213.0.70" + taken},
        {"neigh-add veth-pc 10.213.0.71 " + kMac, entry + "externally learned neighbour entry for 10.213.0.71" + taken},
        {"neigh-del veth-pc 10.213.0.71", entry + "externally learned neighbour entry for 10.213.0.71" + taken},
        {"neigh-add veth-pc 10.213.0.72 " + kMac, entry + "neighbour entry of protocol static for 10.213.0.72" + taken},
        {"neigh-add veth-pc 10.213.0.250 " + kMac, hop + "0.0.0.0/0 in table main: 10.213.0.250" + exit2},
        {"route-add veth-pc 10.213.0.250", hop + "0.0.0.0/0 in table main: 10.213.0.250" + exit2},
        {"neigh-add veth-pc 10.213.0.249 " + kMac, hop + "0.0.0.0/0 in table 100: 10.213.0.249" + exit2},
        {"neigh-add veth-pc 10.213.0.248 " + kMac, hop + "10.92.0.0/16 in table main: 10.213.0.248" + exit2},
        {"neigh-add veth-pc 10.213.0.246 " + kMac,
         "refused\nvyn-netpriv: address is the gateway of a next-hop object: 10.213.0.246" + exit2},
        {"route-del veth-pc 10.78.0.7", route + "10.78.0.7 of protocol boot and metric 0 in table main" + made},
        {"route-del veth-pc 10.78.0.8", route + "10.78.0.8 of protocol static and metric 0 in table main" + made},
        {"route-add veth-pc 10.78.0.8", route + "10.78.0.8 of protocol static and metric 0 in table main" + made},
        {"route-add veth-pc 10.98.0.6", route + "10.98.0.6 of protocol boot and metric 100 in table main" + made},
        {"route-add veth-pc 10.98.0.7", route + "10.98.0.7 of protocol boot and metric 0 in table 100" + made},
        {"route-add veth-pc 10.97.3.4", kernel + "10.97.3.4 is the blackhole route 10.97.0.0/16 in table main" + leaves},
        {"route-add veth-pc 10.96.0.1", kernel + "10.96.0.1 is the unreachable route 10.96.0.0/16 in table main" + leaves},
        {"route-add veth-pc 10.95.5.5", kernel + "10.95.5.5 is the prohibit route 10.95.5.0/24 in table main" + leaves},
    };
    const std::string before = Tables();
    for (const auto& [args, answer] : rows) {
        std::string out = Run(args);
        if (const size_t usage = out.find(kUsageStart); usage != std::string::npos)
            out.erase(usage + 1, out.rfind("exit ") - usage - 1);
        EXPECT_EQ(out, answer) << args;
    }
    EXPECT_EQ(Tables(), before);
}

// The rights are the file's: a normal user gets them from a copy given them
// by setcap and from nothing else; the environment and closed standard
// descriptors change nothing.
TEST_F(NetHelper, ANormalUserHasTheRightsOfTheHelperFileAlone)
{
    const NetHelperCopy without(false);
    const NetHelperCopy with(true);
    const std::string add = "neigh-add veth-pc 10.213.0.60 " + kMac;
    const std::string before = Tables();
    for (const std::string& args : {std::string("check"), add, std::string("route-add veth-pc 10.78.0.5")})
        EXPECT_EQ(Run(args, without.Path(), kNobody), "error 1\nvyn-netpriv: Operation not permitted\nexit 1\n");
    EXPECT_EQ(Tables(), before);

    EXPECT_EQ(Run("check", with.Path(), kNobody), "ok\nexit 0\n");
    EXPECT_EQ(Run(add, with.Path(), "LC_ALL=cs_CZ.UTF-8 QT_PLUGIN_PATH=/tmp " + kNobody), "ok\nexit 0\n");
    EXPECT_NE(bench->OutputInPc("ip neigh show 10.213.0.60").find("02:00:00:aa:bb:cc PERMANENT"), std::string::npos);
    // Without standard input and error the answer still goes to its output.
    EXPECT_EQ(Run("neigh-del veth-pc 10.213.0.60 <&- 2>&-", with.Path(), kNobody), "ok\nexit 0\n");
    EXPECT_EQ(Tables(), before);
}
