#pragma once

// The changes to the host's network that need CAP_NET_ADMIN or CAP_NET_RAW
// (a neighbour entry, a host route, a raw ARP request), with the route
// netlink plumbing that the table reads share. Free of Qt: the window
// program runs these in-process only while it holds both capabilities
// itself; otherwise the small helper program vyn-netpriv, which links this
// file and nothing else of ours, runs them for it.

#include <linux/netlink.h>
#include <linux/rtnetlink.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::net {

// One route netlink request being built: header, body, attributes.
class NlMessage
{
public:
    NlMessage(uint16_t type, uint16_t flags)
    {
        nlmsghdr h{};
        h.nlmsg_type = type;
        h.nlmsg_flags = flags;
        append(&h, sizeof h);
    }

    template <class Body>
    void Put(const Body& body)
    {
        append(&body, sizeof body);
    }

    void Attr(uint16_t type, const void* data, size_t len)
    {
        rtattr a{};
        a.rta_len = static_cast<unsigned short>(RTA_LENGTH(len));
        a.rta_type = type;
        append(&a, sizeof a);
        append(data, len);
    }

    // The finished message with its length and sequence number filled in.
    const std::vector<char>& Finish(uint32_t seq)
    {
        const auto len = static_cast<uint32_t>(m_buf.size());
        std::memcpy(m_buf.data() + offsetof(nlmsghdr, nlmsg_len), &len, sizeof len);
        std::memcpy(m_buf.data() + offsetof(nlmsghdr, nlmsg_seq), &seq, sizeof seq);
        return m_buf;
    }

private:
    void append(const void* data, size_t len)
    {
        const auto* p = static_cast<const char*>(data);
        m_buf.insert(m_buf.end(), p, p + len);
        m_buf.resize(NLMSG_ALIGN(m_buf.size()), '\0');
    }

    std::vector<char> m_buf;
};

using NlHandler = std::function<void(const nlmsghdr*)>;

// Walks the attributes following a message body of type Body.
template <class Body, class Fn>
void ForEachAttr(const nlmsghdr* h, Fn fn)
{
    const auto* a = reinterpret_cast<const rtattr*>(static_cast<const char*>(NLMSG_DATA(h)) + NLMSG_ALIGN(sizeof(Body)));
    int len = static_cast<int>(h->nlmsg_len) - static_cast<int>(NLMSG_LENGTH(sizeof(Body)));
    for (; RTA_OK(a, len); a = RTA_NEXT(a, len))
        fn(a->rta_type, RTA_DATA(a), RTA_PAYLOAD(a));
}

// One request or dump on a fresh route netlink socket (so every call sees the
// network namespace of the calling thread). Returns 0 or an errno.
int NlTransact(NlMessage& msg, const NlHandler& each);

// A request for the kernel's route to an IPv4 address, as a packet sent
// there would take it.
NlMessage RouteLookup(uint32_t dest);

// Both CAP_NET_ADMIN and CAP_NET_RAW in the calling thread's effective set
// (capabilities belong to threads).
bool HasNetCapabilities();

// Neighbour entries and host routes made here carry this protocol number
// (NDA_PROTOCOL, rtm_protocol): what carries it is ours to replace or
// remove, what does not is someone else's. No routing daemon iproute2 knows
// uses it.
constexpr uint8_t kOwnProtocol = 86;

// Outcomes of the checked changes besides 0 and an errno; `why` then says
// what was refused, naming the address.
constexpr int kNotOurs = -1; // an entry or route someone else made is in the way; nothing changed
constexpr int kRefused = -2; // an address these changes may not name; nothing changed

// Why a checked change gave kNotOurs or kRefused, for the program to word in
// its own language. The helper answers with it on one line of standard
// output: "foreign KIND" (exit 3) or "refused KIND" (exit 2), followed by a
// space and `shown` when that is not empty; `text` goes to standard error.
// `shown` is what is in the way, in the words of `ip`:
// - a route as `ip route show table all` prints it, the paths of a
//   multipath route following on the same line ("default via 10.1.0.254 dev
//   eth0", "blackhole 10.97.0.0/16", "10.9.0.0/16 dev eth1 table 100 scope
//   link");
// - a neighbour entry as `ip neigh show nud all` prints it ("10.1.0.254 dev
//   eth0 lladdr 02:00:00:00:fe:fe PERMANENT");
// - a next-hop object as `ip nexthop show` prints it ("id 7 via 10.1.0.246
//   dev eth0 scope link");
// - an address of an interface, its own or another's: "10.1.0.1/24 dev eth0";
// - for kArgument, the English reason itself;
// - nothing for the limits.
// It is one line of printable ASCII (other bytes become '?') of at most
// kMostShownBytes bytes.
struct Reason
{
    std::string kind;  // one of the kinds below
    std::string shown; // what is in the way as `ip` shows it: a route, an entry, an address with its prefix
    std::string text;  // the whole reason in English, naming the address
};

constexpr size_t kMostShownBytes = 200;

// Text as one line of printable ASCII, cut after `most` bytes.
std::string OneLine(std::string_view text, size_t most);

// The most neighbour entries, and the most routes, carrying kOwnProtocol
// that the checked changes let stand at once, each counted over every
// interface and table: a caller in a loop fills no table. The count and the
// change after it are not one step for the kernel; callers that may run at
// the same time take turns around them (the helper locks its own file).
constexpr int kMostOwn = 64;

namespace reason {
// kNotOurs: someone else's entry or route, or a route that drops the traffic.
constexpr const char* kHostRoute = "host-route";               // another's host route, any table or metric
constexpr const char* kBlackholeRoute = "blackhole-route";
constexpr const char* kUnreachableRoute = "unreachable-route";
constexpr const char* kProhibitRoute = "prohibit-route";
constexpr const char* kThrowRoute = "throw-route";             // deciding for the address in table main
constexpr const char* kPermanentEntry = "permanent-entry";
constexpr const char* kNoarpEntry = "noarp-entry";
constexpr const char* kManagedEntry = "managed-entry";
constexpr const char* kExternEntry = "extern-learn-entry";     // externally learned
constexpr const char* kProtocolEntry = "protocol-entry";       // marked with another protocol, or ours but not permanent
// kRefused: what the address is, or a bound.
constexpr const char* kNextHop = "next-hop";                   // a route's or next-hop object's gateway
constexpr const char* kOwnAddress = "own-address";
constexpr const char* kNetworkAddress = "network-address";
constexpr const char* kBroadcastAddress = "broadcast-address";
constexpr const char* kOtherNetwork = "other-network";         // in a network another interface sits on, or its address
constexpr const char* kEntryLimit = "entry-limit";             // the helper holds its most entries
constexpr const char* kRouteLimit = "route-limit";             // the helper holds its most host routes
constexpr const char* kArgument = "argument";                  // a request no caller of ours makes
} // namespace reason

// Adds a neighbour entry with the given state, unchecked: for the program's
// own dynamic entries. Returns 0 or an errno.
int AddNeighbour(uint32_t ifindex, uint32_t addr, const uint8_t* mac, uint32_t macLen, uint16_t state);

// The static ARP way's changes, checked against what the kernel holds:
// - a static entry of ours for addr with mac, made anew, or put in place of
//   our own or a learned entry; one someone else keeps (permanent, NOARP,
//   managed, externally learned, or of another protocol) stays: kNotOurs;
//   past kMostOwn of ours, a new one is kRefused;
// - removal of our own or a learned entry; none there is 0;
// - a host route of ours making dest on-link on the interface (EEXIST when
//   one of ours is there; another's host route of any table or metric, a
//   blackhole, unreachable or prohibit route to dest, or a throw route
//   deciding for dest in table main: kNotOurs; past kMostOwn of ours:
//   kRefused), and the removal of ours alone (none there is 0).
// The interface's own addresses, its subnets' network and broadcast
// addresses, the next hops of every route and next-hop object, the
// addresses of other interfaces, and those inside a network another
// interface sits on are refused (kRefused) for entries, their removal and
// routes alike. An interface sits on what an on-link route out of it covers
// (a path without a gateway: its own, a multipath route's, a next-hop
// object's or a group member's; any scope, any table; not ours, not a
// default route or one of its /1 halves) and on the subnet of each of its
// addresses, whatever its state. Such a network stays allowed when the
// interface named holds one over the address at least as specific, by the
// same measure: two cards on one LAN both serve it.
int AddOwnNeighbour(uint32_t ifindex, uint32_t addr, const uint8_t (&mac)[6], Reason& why);
int RemoveOwnNeighbour(uint32_t ifindex, uint32_t addr, Reason& why);
int AddOwnHostRoute(uint32_t dest, uint32_t ifindex, Reason& why);
int RemoveOwnHostRoute(uint32_t dest, uint32_t ifindex, Reason& why);

// ARP requests for dest from source (0.0.0.0 allowed) on an Ethernet
// interface whose own MAC is ownMac. Setting an IP asks who holds a free
// address, which by definition nobody answers, so the silent case decides
// how long the operator waits: a request goes out every 100 ms (a lost
// request or reply costs one step, not a whole try) while 250 ms of the wait
// remain after it, and the first reply ends the wait at once. With the
// standard wait of 550 ms, four requests go out and every host that answers
// any of them within 200 ms is heard, with 50 ms to spare for a busy bench,
// against about three seconds of a classic resolver.
// Only a reply from dest (its sender address) counts. The source is
// 0.0.0.0 or an address of the interface; any other is kRefused, since
// asking in another host's name would teach the network a false address.
// Returns 0 (answered tells whether a reply came), kRefused or an errno;
// EPERM or EACCES when the thread may not open a packet socket.
constexpr std::chrono::milliseconds kArpProbeWait{550};
int ArpProbe(uint32_t ifindex, const uint8_t (&ownMac)[6], uint32_t source, uint32_t dest,
             std::chrono::milliseconds wait, uint8_t (&mac)[6], bool& answered, Reason& why);

// MAC addresses as the helper takes and gives them: six two-digit hex bytes
// joined by ':'.
std::string MacText(const uint8_t (&mac)[6]);
bool ParseMacText(std::string_view text, uint8_t (&mac)[6]);

} // namespace platform::net
