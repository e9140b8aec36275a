// The network helper program, run as the program runs it, inside the PC
// namespace of a bench.

#include "support/NetBench.h"
#include "support/NetHelperCopy.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kUsageStart = "usage: vyn-netpriv check\n";

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

// Output without the states the kernel moves an entry through by itself.
std::string WithoutPassingStates(const std::string& text)
{
    static const std::regex passing(" (INCOMPLETE|FAILED|PROBE|DELAY|REACHABLE|STALE)");
    return std::regex_replace(text, passing, "");
}

// A second card of the PC, card2 with 10.77.0.1/24, its other end in the PC too.
const std::string kSecondCard = "ip link add card2 type veth peer name card2-end && ip link set card2 up && "
                                "ip link set card2-end up && ip addr add 10.77.0.1/24 dev card2";

// A third, card3, without an address.
const std::string kThirdCard = "ip link add card3 type veth peer name card3-end && ip link set card3 up && "
                               "ip link set card3-end up";

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
                      source = "source address is neither 0.0.0.0 nor an address of the interface: ",
                      itf = "10.213.0.1/24 dev veth-pc";
    const std::string longName(300, 'x');
    const struct {
        std::string args;
        std::string reason;
        std::string line = ""; // after "refused "; empty for "argument" and the reason, with the usage
    } rows[] = {
        {"", "no command"}, {"fly", "unknown command: fly"}, {"CHECK", "unknown command: CHECK"},
        // The answer and the reason stay one line each, the answer short.
        {"\"$(printf 'fl\\033y\\nz\\303\\251')\"", "unknown command: fl?y?z??"},
        {longName, "unknown command: " + longName, "argument unknown command: " + longName.substr(0, 200 - 17)},
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
        {"neigh-add veth-pc 10.213.0.1 " + kMac, own + "10.213.0.1", "own-address " + itf},
        {"neigh-add veth-pc 10.213.0.0 " + kMac, subnet + "network address of a subnet of the interface: 10.213.0.0",
         "network-address " + itf},
        {"neigh-add veth-pc 10.213.0.255 " + kMac,
         subnet + "broadcast address of a subnet of the interface: 10.213.0.255", "broadcast-address " + itf},
        {"route-add veth-pc 10.213.0.1", own + "10.213.0.1", "own-address " + itf},
        {"route-add veth-pc 10.213.0.255", subnet + "broadcast address of a subnet of the interface: 10.213.0.255",
         "broadcast-address " + itf},
        {"neigh-del veth-pc 10.213.0.1", own + "10.213.0.1", "own-address " + itf},
        {"neigh-del veth-pc 10.213.0.0", subnet + "network address of a subnet of the interface: 10.213.0.0",
         "network-address " + itf},
        {"arp veth-pc 8.8.8.8 10.213.0.2 100", source + "8.8.8.8"},
        {"arp veth-pc 10.213.0.2 10.213.0.77 100", source + "10.213.0.2"},
    };
    const std::string before = Tables();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        const std::string out = Run(row.args);
        // What the address is gets its reason alone; only a wrong argument
        // is followed by the usage.
        const bool argument = row.line.empty() || row.line.rfind("argument ", 0) == 0;
        const std::string head = "refused " + (row.line.empty() ? "argument " + row.reason : row.line) +
                                 "\nvyn-netpriv: " + row.reason + "\n";
        EXPECT_EQ(out.substr(0, head.size()), head);
        const std::string rest = out.substr(std::min(head.size(), out.size()));
        if (argument) {
            EXPECT_EQ(rest.rfind(kUsageStart, 0), 0u) << out;
            EXPECT_EQ(rest.substr(rest.size() - 7), "exit 2\n") << out;
        } else {
            EXPECT_EQ(rest, "exit 2\n") << out;
        }
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
        // The device's new address, its entry learned once it answered.
        {"neigh-del veth-pc 10.90.0.9", "ok\nexit 0\n", "ip neigh show 10.90.0.9", "",
         "ip neigh del 10.90.0.9 dev veth-pc && "
         "ip neigh add 10.90.0.9 lladdr 02:00:00:00:00:09 dev veth-pc nud reachable"},
        // A laptop's cable and Wi-Fi on one LAN: the device's card serves it.
        {"neigh-add veth-pc 10.213.0.64 " + kMac, "ok\nexit 0\n", "ip neigh show 10.213.0.64",
         "10.213.0.64 dev veth-pc lladdr 02:00:00:aa:bb:cc PERMANENT" + own + "\n",
         kThirdCard + " && ip addr add 10.213.0.3/24 dev card3 metric 600"},
        {"neigh-del veth-pc 10.213.0.64", "ok\nexit 0\n", "ip neigh show 10.213.0.64", ""},
        {"route-add veth-pc 10.213.0.65", "ok\nexit 0\n", "ip route show 10.213.0.65",
         "10.213.0.65 dev veth-pc" + own + "scope link \n"},
        // A second card holds the gateway, then an on-link default route: a
        // device outside its network is reached on veth-pc all the same.
        // Routes of ours are no network of that card.
        {"route-add veth-pc 10.88.0.9", "ok\nexit 0\n", "ip route show 10.88.0.9",
         "10.88.0.9 dev veth-pc" + own + "scope link \n",
         kSecondCard + " && ip route replace default via 10.77.0.254 dev card2"},
        {"neigh-add veth-pc 10.88.0.9 " + kMac, "ok\nexit 0\n", "ip neigh show 10.88.0.9",
         "10.88.0.9 dev veth-pc lladdr 02:00:00:aa:bb:cc PERMANENT" + own + "\n"},
        {"route-add veth-pc 10.88.0.10", "ok\nexit 0\n", "ip route show 10.88.0.10",
         "10.88.0.10 dev veth-pc" + own + "scope link \n", "ip route replace default dev card2"},
        {"route-add veth-pc 10.75.0.5", "ok\nexit 0\n", "ip route show 10.75.0.5",
         "10.75.0.5 dev veth-pc" + own + "scope link \n", "ip route add 10.75.0.0/24 dev card2 proto 86"},
        // A network behind a gateway on that card, and a full tunnel's two
        // halves of the default route.
        {"route-add veth-pc 10.60.0.5", "ok\nexit 0\n", "ip route show 10.60.0.5",
         "10.60.0.5 dev veth-pc" + own + "scope link \n", "ip route add 10.60.0.0/24 via 10.77.0.254 dev card2"},
        {"route-add veth-pc 10.61.0.5", "ok\nexit 0\n", "ip route show 10.61.0.5",
         "10.61.0.5 dev veth-pc" + own + "scope link \n",
         "ip route add 0.0.0.0/1 dev card2 && ip route add 128.0.0.0/1 dev card2"},
        {"neigh-add veth-pc 10.61.0.5 " + kMac, "ok\nexit 0\n", "ip neigh show 10.61.0.5",
         "10.61.0.5 dev veth-pc lladdr 02:00:00:aa:bb:cc PERMANENT" + own + "\n"},
        // Throw routes that do not decide for the address in table main: a
        // wider one, one of a higher metric, one in another table.
        {"route-add veth-pc 10.94.7.7", "ok\nexit 0\n", "ip route show 10.94.7.7",
         "10.94.7.7 dev veth-pc" + own + "scope link \n",
         "ip route add throw 10.94.0.0/16 && ip route add 10.94.7.0/24 dev veth-pc"},
        {"route-add veth-pc 10.94.8.8", "ok\nexit 0\n", "ip route show 10.94.8.8",
         "10.94.8.8 dev veth-pc" + own + "scope link \n",
         "ip route add 10.94.8.0/24 dev veth-pc metric 5 && ip route add throw 10.94.8.0/24 metric 10"},
        {"route-add veth-pc 10.93.0.3", "ok\nexit 0\n", "ip route show 10.93.0.3",
         "10.93.0.3 dev veth-pc" + own + "scope link \n", "ip route add throw 10.93.0.0/16 table 100"},
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
// without ARP, flagged and marked ones (flagged after the helper made them,
// too), host routes of the protocols a hand or a start-up script gives
// them, of a higher metric or in another table, and routes that drop or
// throw what is sent. The addresses routes send through, and those of a
// network another card sits on, however the tables hold it, get no entry or
// route at all, and the entry the kernel learned for them stays. Each answer
// shows what is in the way as ip shows it.
TEST_F(NetHelper, LeavesTheEntriesAndRoutesOthersMadeAsTheyAre)
{
    ASSERT_EQ(bench->RunInPc(
                  kSecondCard + " && "
                  "ip neigh add 10.213.0.254 lladdr 02:00:00:00:fe:fe dev veth-pc nud permanent && "
                  "ip neigh add 10.213.0.253 lladdr 02:00:00:00:fe:fd dev veth-pc nud noarp && "
                  "ip neigh add 10.213.0.70 dev veth-pc managed && "
                  "ip neigh add 10.213.0.71 lladdr 02:00:00:00:00:71 dev veth-pc extern_learn nud stale && "
                  "ip neigh add 10.213.0.72 lladdr 02:00:00:00:00:72 dev veth-pc nud stale proto static && "
                  "ip neigh add 10.213.0.73 lladdr 02:00:00:00:00:73 dev veth-pc nud permanent proto 86 && "
                  "ip neigh replace 10.213.0.73 lladdr 02:00:00:00:00:73 dev veth-pc extern_learn && "
                  "ip neigh add 10.213.0.250 lladdr 02:00:00:00:fe:fa dev veth-pc nud stale && "
                  "ip neigh add 10.77.0.5 lladdr 02:00:00:00:77:05 dev veth-pc nud stale && "
                  "ip route replace default via 10.213.0.250 dev veth-pc && "
                  "ip route add default via 10.213.0.249 dev veth-pc table 100 && "
                  "ip route add 10.92.0.0/16 nexthop via 10.213.0.247 dev veth-pc nexthop via 10.213.0.248 dev veth-pc && "
                  "ip nexthop add id 7 via 10.213.0.246 dev veth-pc && "
                  "ip route add 10.78.0.7 dev veth-pc && ip route add 10.78.0.8 dev veth-pc proto static && "
                  "ip route add 10.98.0.6 dev veth-pc metric 100 && ip route add 10.98.0.7 dev veth-pc table 100 && "
                  "ip route add 10.76.0.0/16 dev card2 table 100 && "
                  "ip route add blackhole 10.97.0.0/16 && ip route add unreachable 10.96.0.0/16 && "
                  "ip route add prohibit 10.95.5.0/24 && ip route add throw 10.94.0.0/16 && "
                  // Networks of other cards, each as the tables may hold one;
                  // the wide network of veth-pc opens none of them.
                  "ip route add 10.0.0.0/8 dev veth-pc && " + kThirdCard + " && "
                  "ip route add 10.53.0.0/24 dev card2 scope global && "
                  "ip nexthop add id 5 dev card2 && ip route add 10.55.0.0/24 nhid 5 && "
                  "ip nexthop add id 6 dev card3 && ip nexthop add id 8 group 5/6 && ip route add 10.54.0.0/24 nhid 8 && "
                  "ip route add 10.56.0.0/24 nexthop dev card2 nexthop dev card3 && "
                  "ip addr add 10.57.0.1/24 dev card2 noprefixroute && "
                  "ip link add card4 type veth peer name card4-end && ip addr add 10.58.0.1/24 dev card4 && "
                  "ip link set card4-end up && ip link set card4 up && ip link set card4 down"),
              0);
    const std::string leftAsItIs = " was not made by vyn-netpriv: left as it is",
                      entry = " on the interface" + leftAsItIs, kernel = "the kernel's route to ",
                      leaves = ", which vyn-netpriv leaves as it is", hop = "address is the next hop of the route to ",
                      other = "address lies in the network ", card2 = " of another interface, card2: ",
                      inCard2 = other + "10.77.0.0/24 in table main" + card2,
                      subnet = "address lies in the subnet of the address ",
                      network = "10.77.0.0/24 dev card2 proto kernel scope link src 10.77.0.1",
                      gateway = "default via 10.213.0.250 dev veth-pc",
                      viaGateway = hop + "0.0.0.0/0 in table main: 10.213.0.250",
                      extern86 = "10.213.0.73 dev veth-pc lladdr 02:00:00:00:00:73 extern_learn PERMANENT proto 86";
    const struct {
        std::string args;
        std::string line; // the answer line, without "exit N"
        std::string reason;
    } rows[] = {
        {"neigh-del veth-pc 10.213.0.254",
         "foreign permanent-entry 10.213.0.254 dev veth-pc lladdr 02:00:00:00:fe:fe PERMANENT",
         "the permanent neighbour entry for 10.213.0.254" + entry},
        {"neigh-add veth-pc 10.213.0.254 " + kMac,
         "foreign permanent-entry 10.213.0.254 dev veth-pc lladdr 02:00:00:00:fe:fe PERMANENT",
         "the permanent neighbour entry for 10.213.0.254" + entry},
        {"neigh-del veth-pc 10.213.0.253",
         "foreign noarp-entry 10.213.0.253 dev veth-pc lladdr 02:00:00:00:fe:fd NOARP",
         "the NOARP neighbour entry for 10.213.0.253" + entry},
        {"neigh-add veth-pc 10.213.0.70 " + kMac, "foreign managed-entry 10.213.0.70 dev veth-pc managed INCOMPLETE",
         "the managed neighbour entry for 10.213.0.70" + entry},
        {"neigh-del veth-pc 10.213.0.70", "foreign managed-entry 10.213.0.70 dev veth-pc managed INCOMPLETE",
         "the managed neighbour entry for 10.213.0.70" + entry},
        {"neigh-add veth-pc 10.213.0.71 " + kMac,
         "foreign extern-learn-entry 10.213.0.71 dev veth-pc lladdr 02:00:00:00:00:71 extern_learn STALE",
         "the externally learned neighbour entry for 10.213.0.71" + entry},
        {"neigh-del veth-pc 10.213.0.71",
         "foreign extern-learn-entry 10.213.0.71 dev veth-pc lladdr 02:00:00:00:00:71 extern_learn STALE",
         "the externally learned neighbour entry for 10.213.0.71" + entry},
        {"neigh-add veth-pc 10.213.0.72 " + kMac,
         "foreign protocol-entry 10.213.0.72 dev veth-pc lladdr 02:00:00:00:00:72 STALE proto static",
         "the neighbour entry of protocol static for 10.213.0.72" + entry},
        // Permanent with our mark, but flagged by an administrator since.
        {"neigh-add veth-pc 10.213.0.73 " + kMac, "foreign extern-learn-entry " + extern86,
         "the externally learned neighbour entry for 10.213.0.73" + entry},
        {"neigh-del veth-pc 10.213.0.73", "foreign extern-learn-entry " + extern86,
         "the externally learned neighbour entry for 10.213.0.73" + entry},
        {"neigh-add veth-pc 10.213.0.250 " + kMac, "refused next-hop " + gateway,
         viaGateway},
        {"neigh-del veth-pc 10.213.0.250", "refused next-hop " + gateway, viaGateway},
        {"route-add veth-pc 10.213.0.250", "refused next-hop " + gateway, viaGateway},
        {"neigh-add veth-pc 10.213.0.249 " + kMac, "refused next-hop default via 10.213.0.249 dev veth-pc table 100",
         hop + "0.0.0.0/0 in table 100: 10.213.0.249"},
        {"neigh-add veth-pc 10.213.0.248 " + kMac,
         "refused next-hop 10.92.0.0/16 nexthop via 10.213.0.247 dev veth-pc weight 1 "
         "nexthop via 10.213.0.248 dev veth-pc weight 1",
         hop + "10.92.0.0/16 in table main: 10.213.0.248"},
        {"neigh-add veth-pc 10.213.0.246 " + kMac, "refused next-hop id 7 via 10.213.0.246 dev veth-pc scope link",
         "address is the gateway of a next-hop object: 10.213.0.246"},
        // The network of another card, its own table's or another's, and the
        // card's own address.
        {"route-add veth-pc 10.77.0.5", "refused other-network " + network, inCard2 + "10.77.0.5"},
        {"neigh-add veth-pc 10.77.0.5 " + kMac, "refused other-network " + network,
         inCard2 + "10.77.0.5"},
        {"neigh-del veth-pc 10.77.0.5", "refused other-network " + network, inCard2 + "10.77.0.5"},
        {"neigh-add veth-pc 10.77.0.1 " + kMac, "refused other-network 10.77.0.1/24 dev card2",
         "address is an address of another interface, card2: 10.77.0.1"},
        {"route-add veth-pc 10.76.3.3", "refused other-network 10.76.0.0/16 dev card2 table 100 scope link",
         other + "10.76.0.0/16 in table 100" + card2 + "10.76.3.3"},
        // An on-link route of global scope, through a next-hop object or a
        // group's members, or with every path out of other cards; an
        // address's subnet without its route, or on a card that is down.
        {"route-add veth-pc 10.53.0.5", "refused other-network 10.53.0.0/24 dev card2",
         other + "10.53.0.0/24 in table main" + card2 + "10.53.0.5"},
        {"neigh-add veth-pc 10.53.0.5 " + kMac, "refused other-network 10.53.0.0/24 dev card2",
         other + "10.53.0.0/24 in table main" + card2 + "10.53.0.5"},
        {"route-add veth-pc 10.55.0.5", "refused other-network 10.55.0.0/24 nhid 5 dev card2",
         other + "10.55.0.0/24 in table main" + card2 + "10.55.0.5"},
        {"route-add veth-pc 10.54.0.5",
         "refused other-network 10.54.0.0/24 nhid 8 nexthop dev card2 weight 1 nexthop dev card3 weight 1",
         other + "10.54.0.0/24 in table main" + card2 + "10.54.0.5"},
        {"route-add veth-pc 10.56.0.5",
         "refused other-network 10.56.0.0/24 nexthop dev card2 weight 1 nexthop dev card3 weight 1",
         other + "10.56.0.0/24 in table main" + card2 + "10.56.0.5"},
        {"route-add veth-pc 10.57.0.5", "refused other-network 10.57.0.1/24 dev card2",
         subnet + "10.57.0.1/24" + card2 + "10.57.0.5"},
        {"neigh-del veth-pc 10.57.0.5", "refused other-network 10.57.0.1/24 dev card2",
         subnet + "10.57.0.1/24" + card2 + "10.57.0.5"},
        {"route-add veth-pc 10.58.0.5", "refused other-network 10.58.0.1/24 dev card4",
         subnet + "10.58.0.1/24 of another interface, card4: 10.58.0.5"},
        {"route-del veth-pc 10.78.0.7", "foreign host-route 10.78.0.7 dev veth-pc scope link",
         "the host route to 10.78.0.7 of protocol boot and metric 0 in table main" + leftAsItIs},
        {"route-del veth-pc 10.78.0.8", "foreign host-route 10.78.0.8 dev veth-pc proto static scope link",
         "the host route to 10.78.0.8 of protocol static and metric 0 in table main" + leftAsItIs},
        {"route-add veth-pc 10.78.0.8", "foreign host-route 10.78.0.8 dev veth-pc proto static scope link",
         "the host route to 10.78.0.8 of protocol static and metric 0 in table main" + leftAsItIs},
        {"route-add veth-pc 10.98.0.6", "foreign host-route 10.98.0.6 dev veth-pc scope link metric 100",
         "the host route to 10.98.0.6 of protocol boot and metric 100 in table main" + leftAsItIs},
        {"route-add veth-pc 10.98.0.7", "foreign host-route 10.98.0.7 dev veth-pc table 100 scope link",
         "the host route to 10.98.0.7 of protocol boot and metric 0 in table 100" + leftAsItIs},
        {"route-add veth-pc 10.97.3.4", "foreign blackhole-route blackhole 10.97.0.0/16",
         kernel + "10.97.3.4 is the blackhole route 10.97.0.0/16 in table main" + leaves},
        {"route-add veth-pc 10.96.0.1", "foreign unreachable-route unreachable 10.96.0.0/16",
         kernel + "10.96.0.1 is the unreachable route 10.96.0.0/16 in table main" + leaves},
        {"route-add veth-pc 10.95.5.5", "foreign prohibit-route prohibit 10.95.5.0/24",
         kernel + "10.95.5.5 is the prohibit route 10.95.5.0/24 in table main" + leaves},
        {"route-add veth-pc 10.94.1.1", "foreign throw-route throw 10.94.0.0/16",
         "the route deciding for 10.94.1.1 in table main is the throw route 10.94.0.0/16" + leaves},
    };
    const std::string before = Tables();
    // Each line as ip prints it, a multipath route's paths joined to it.
    const std::string ipLines = "\n" + WithoutPassingStates(bench->OutputInPc(
        "{ ip -o -4 route show table all; ip -4 neigh show nud all; ip nexthop show; } | "
        "sed -E 's/ \\\\\\t/ /g; s/ +$//'; ip -o -4 addr | awk '{print $4 \" dev \" $2}'"));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.args);
        const std::string out = Run(row.args);
        const std::string code = row.line.rfind("foreign ", 0) == 0 ? "3" : "2";
        EXPECT_EQ(WithoutPassingStates(out),
                  WithoutPassingStates(row.line + "\nvyn-netpriv: " + row.reason + "\nexit " + code + "\n"));
        const std::string shown = row.line.substr(row.line.find(' ', row.line.find(' ') + 1) + 1);
        EXPECT_NE(ipLines.find("\n" + WithoutPassingStates(shown) + "\n"), std::string::npos) << ipLines;
    }
    EXPECT_EQ(Tables(), before);
}

// The helper holds at most 64 entries and 64 routes of its own, counted on
// every interface and in every table, whoever made them; the 65th is
// refused until one goes, and replacing one of its own adds none. Helpers
// run together take turns, so none of them sees room another is taking,
// and one that waits too long for its turn answers instead of hanging.
TEST_F(NetHelper, HoldsNoMoreThanItsMostEntriesAndRoutes)
{
    // 63 of each: entries on both cards, routes in two tables; a learned
    // entry and one that only carries the mark, which do not count.
    std::string batch;
    for (int i = 1; i <= 63; ++i) {
        const std::string n = std::to_string(i), card = i <= 40 ? "veth-pc" : "card2";
        batch += "neigh add 10.50.0." + n + " lladdr 02:00:00:00:50:01 dev " + card + " nud permanent proto 86\n" +
                 "route add 10.51.0." + n + " dev " + card + " proto 86" + (i <= 40 ? "" : " table 100") + "\n";
    }
    batch += "neigh add 10.50.1.1 lladdr 02:00:00:00:50:01 dev veth-pc nud stale proto 86\n"
             "neigh add 10.50.1.2 lladdr 02:00:00:00:50:02 dev veth-pc nud stale\n";
    ASSERT_EQ(bench->RunInPc(kSecondCard + " && printf '" + batch + "' | ip -batch -"), 0);

    const std::string ok = "ok\nexit 0\n",
                      entries = "refused entry-limit\nvyn-netpriv: vyn-netpriv holds 64 neighbour entries and keeps at "
                                "most 64; to remove them, as root: ip neigh flush proto 86 nud permanent\nexit 2\n",
                      routes = "refused route-limit\nvyn-netpriv: vyn-netpriv holds 64 host routes and keeps at most "
                               "64; to remove them, as root: ip route flush table all proto 86\nexit 2\n";
    const std::pair<std::string, std::string> steps[] = {
        {"neigh-add veth-pc 10.50.0.64 " + kMac, ok},
        {"neigh-add veth-pc 10.50.0.65 " + kMac, entries},
        {"neigh-add card2 10.50.0.65 " + kMac, entries},
        {"neigh-add veth-pc 10.50.1.2 " + kMac, entries},
        {"neigh-add veth-pc 10.50.0.64 02:00:00:aa:bb:dd", ok},
        {"neigh-add card2 10.50.0.41 02:00:00:aa:bb:dd", ok},
        {"neigh-del veth-pc 10.50.0.64", ok},
        {"neigh-add veth-pc 10.50.0.65 " + kMac, ok},
        {"route-add veth-pc 10.51.0.64", ok},
        {"route-add veth-pc 10.51.0.65", routes},
        {"route-add veth-pc 10.51.0.64", "error 17\nvyn-netpriv: File exists\nexit 1\n"},
        {"route-del veth-pc 10.51.0.64", ok},
        {"route-add veth-pc 10.51.0.65", ok},
        {"route-add veth-pc 10.51.0.66", routes},
    };
    for (const auto& [args, answer] : steps)
        EXPECT_EQ(Run(args), answer) << args;
    const std::string count = "ip neigh show proto 86 nud permanent | wc -l; ip route show table all proto 86 | wc -l";
    EXPECT_EQ(bench->OutputInPc(count), "64\n64\n");

    // Four free places, and eight helpers at once trying for three each.
    ASSERT_EQ(bench->RunInPc("ip neigh del 10.50.0.1 dev veth-pc && ip neigh del 10.50.0.2 dev veth-pc && "
                             "ip route del 10.51.0.1 && ip route del 10.51.0.2"),
              0);
    // A copy of its own: the turn is one for every namespace, and the built
    // helper's is left to the tests running beside this one.
    const NetHelperCopy copy(false);
    const std::string helper = copy.Path();
    std::string together;
    for (int j = 11; j <= 18; ++j) {
        const std::string net = std::to_string(j);
        together += "for i in 1 2 3; do " + helper + " neigh-add veth-pc 10.50." + net + ".$i " + kMac + "; " + helper +
                    " route-add veth-pc 10.51." + net + ".$i; done >/dev/null 2>&1 & ";
    }
    bench->RunInPc(together + "wait");
    EXPECT_EQ(bench->OutputInPc(count), "64\n64\n");

    // While another holds the turn, the helper gives up within its wait
    // (bounded: one that waits for ever fails here in seconds).
    EXPECT_EQ(bench->OutputInPc("flock " + helper + " timeout 20 " + helper + " route-add veth-pc 10.51.0.1; "
                                "echo \"exit $?\""),
              "error 11\nvyn-netpriv: Resource temporarily unavailable\nexit 1\n");
    EXPECT_EQ(Run("route-del veth-pc 10.51.0.3", helper), ok);
    EXPECT_EQ(Run("route-add veth-pc 10.51.0.1", helper), ok);
}

namespace {

// Polls until `done` holds, for at most `most`: whether it held.
template <class Done>
bool Eventually(Done done, std::chrono::seconds most = std::chrono::seconds(30))
{
    const auto end = std::chrono::steady_clock::now() + most;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string FileText(const std::string& path)
{
    std::ostringstream out;
    out << std::ifstream(path).rdbuf();
    return out.str();
}

// The turn helpers take, held by this process as another helper run holds it.
class HeldTurn
{
public:
    explicit HeldTurn(const std::string& helper) : m_fd(::open(helper.c_str(), O_RDONLY | O_CLOEXEC))
    {
        m_held = m_fd >= 0 && ::flock(m_fd, LOCK_EX) == 0;
    }
    ~HeldTurn() { Free(); }
    HeldTurn(const HeldTurn&) = delete;
    HeldTurn& operator=(const HeldTurn&) = delete;

    bool Held() const { return m_held; }
    void Free()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    // Whether another process waits for it: /proc/locks lists a waiter
    // ("->") on the file this process holds it on.
    bool Awaited() const
    {
        std::istringstream locks(FileText("/proc/locks"));
        const std::string mine = std::to_string(::getpid());
        std::string file;
        std::vector<std::string> waiting;
        for (std::string line; std::getline(locks, line);) {
            std::istringstream words(line);
            std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
            if (w.size() < 8)
                continue;
            const bool waiter = w[1] == "->";
            const std::string& pid = w[waiter ? 5 : 4];
            const std::string& where = w[waiter ? 6 : 5];
            if (!waiter && pid == mine)
                file = where;
            else if (waiter)
                waiting.push_back(where);
        }
        return !file.empty() && std::find(waiting.begin(), waiting.end(), file) != waiting.end();
    }

private:
    int m_fd;
    bool m_held = false;
};

} // namespace

// Helpers started together take turns: one waits while another holds the
// turn, changing nothing and answering nothing, and goes on when it is
// freed; one whose turn never comes answers "error 11" after its wait of a
// second instead of hanging.
TEST_F(NetHelper, WaitsForItsTurnAndGivesUpAfterASecond)
{
    const NetHelperCopy copy(false);
    const std::string answer = copy.Dir() + "/answer";
    const std::string before = Tables();
    const struct {
        const char* what;
        bool freed;
        std::string answer;
    } rows[] = {
        {"held throughout", false, "error 11\nvyn-netpriv: Resource temporarily unavailable\nexit 1\n"},
        {"freed while it waits", true, "ok\nexit 0\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        // A turn freed after the helper's second is up is a lost try, which
        // only a busy machine makes; a helper that never waits shows at once.
        for (int tries = 3; tries > 0; --tries) {
            HeldTurn turn(copy.Path());
            ASSERT_TRUE(turn.Held());
            std::remove(answer.c_str());
            // Bounded: a helper that waits for ever fails the row in seconds.
            ASSERT_EQ(bench->RunInPc("( { timeout 20 " + copy.Path() + " route-add veth-pc 10.52.0.1; echo \"exit $?\"; } >" +
                                     answer + ".part 2>&1; mv " + answer + ".part " + answer + " ) >/dev/null 2>&1 &"),
                      0);
            const auto answered = [&] { return ::access(answer.c_str(), F_OK) == 0; };
            ASSERT_TRUE(Eventually([&] { return turn.Awaited() || answered(); }));
            ASSERT_FALSE(answered()) << "answered without waiting for its turn: " << FileText(answer);
            if (row.freed) {
                turn.Free();
                ASSERT_TRUE(Eventually(answered));
            } else {
                // Nothing changes while it waits.
                bool unchanged = true;
                ASSERT_TRUE(Eventually([&] {
                    unchanged = unchanged && Tables() == before;
                    return answered() || !unchanged;
                }));
                EXPECT_TRUE(unchanged) << Tables();
            }
            if (tries > 1 && row.freed && FileText(answer).rfind("error 11\n", 0) == 0)
                continue;
            EXPECT_EQ(FileText(answer), row.answer);
            break;
        }
    }
    EXPECT_EQ(bench->OutputInPc("ip route show 10.52.0.1"), "10.52.0.1 dev veth-pc proto 86 scope link \n");
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
