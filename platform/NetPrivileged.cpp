#include "platform/NetPrivileged.h"
#include "platform/HexDigit.h"
#include "platform/UniqueFd.h"

#include <arpa/inet.h>
#include <linux/capability.h>
#include <linux/if_packet.h>
#include <linux/neighbour.h>
#include <linux/nexthop.h>
#include <net/if.h>
#include <net/ethernet.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <thread>

namespace platform::net {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kArpRepeat{100};
constexpr milliseconds kArpLastWait{250};

// The network-order mask of a prefix length.
uint32_t prefixMask(uint8_t prefix)
{
    return prefix == 0 ? 0 : htonl(~0u << (32 - std::min<uint8_t>(prefix, 32)));
}

std::string addressText(uint32_t addr)
{
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = addr;
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

int changeNeighbour(uint16_t type, uint16_t flags, uint32_t ifindex, uint32_t addr, const uint8_t* mac,
                    uint32_t macLen, uint16_t state, uint8_t protocol)
{
    NlMessage msg(type, static_cast<uint16_t>(NLM_F_REQUEST | NLM_F_ACK | flags));
    ndmsg req{};
    req.ndm_family = AF_INET;
    req.ndm_ifindex = static_cast<int>(ifindex);
    req.ndm_state = state;
    msg.Put(req);
    msg.Attr(NDA_DST, &addr, sizeof addr);
    if (mac)
        msg.Attr(NDA_LLADDR, mac, macLen);
    if (protocol)
        msg.Attr(NDA_PROTOCOL, &protocol, sizeof protocol);
    return NlTransact(msg, [](const nlmsghdr*) {});
}

int changeHostRoute(uint16_t type, uint16_t flags, uint32_t dest, uint32_t ifindex)
{
    NlMessage msg(type, static_cast<uint16_t>(NLM_F_REQUEST | NLM_F_ACK | flags));
    rtmsg req{};
    req.rtm_family = AF_INET;
    req.rtm_dst_len = 32;
    req.rtm_table = RT_TABLE_MAIN;
    // The kernel removes only a route of this protocol, so the removal
    // itself leaves every other route alone.
    req.rtm_protocol = kOwnProtocol;
    req.rtm_scope = RT_SCOPE_LINK;
    req.rtm_type = RTN_UNICAST;
    msg.Put(req);
    msg.Attr(RTA_DST, &dest, sizeof dest);
    msg.Attr(RTA_OIF, &ifindex, sizeof ifindex);
    return NlTransact(msg, [](const nlmsghdr*) {});
}

// Interface names as ip prints them, "if" and the number for one that is
// gone.
std::string linkName(uint32_t ifindex)
{
    char name[IF_NAMESIZE] = {};
    if (::if_indextoname(ifindex, name))
        return name;
    return "if" + std::to_string(ifindex);
}

// A number as ip names it: by the names iproute2 knows without its
// configuration files, else in decimal.
struct Name
{
    unsigned value;
    const char* name;
};

template <size_t N>
std::string nameOf(const Name (&names)[N], unsigned value)
{
    for (const Name& n : names) {
        if (n.value == value)
            return n.name;
    }
    return std::to_string(value);
}

std::string protocolName(uint8_t protocol)
{
    static constexpr Name kNames[] = {
        {RTPROT_UNSPEC, "unspec"}, {RTPROT_REDIRECT, "redirect"}, {RTPROT_KERNEL, "kernel"}, {RTPROT_BOOT, "boot"},
        {RTPROT_STATIC, "static"}, {RTPROT_GATED, "gated"}, {RTPROT_RA, "ra"}, {RTPROT_MRT, "mrt"},
        {RTPROT_ZEBRA, "zebra"}, {RTPROT_BIRD, "bird"}, {RTPROT_DNROUTED, "dnrouted"}, {RTPROT_XORP, "xorp"},
        {RTPROT_NTK, "ntk"}, {RTPROT_DHCP, "dhcp"}, {RTPROT_KEEPALIVED, "keepalived"}, {RTPROT_BABEL, "babel"},
        {RTPROT_OPENR, "openr"}, {RTPROT_BGP, "bgp"}, {RTPROT_ISIS, "isis"}, {RTPROT_OSPF, "ospf"},
        {RTPROT_RIP, "rip"}, {RTPROT_EIGRP, "eigrp"}};
    return nameOf(kNames, protocol);
}

std::string tableName(uint32_t table)
{
    static constexpr Name kNames[] = {
        {RT_TABLE_MAIN, "main"}, {RT_TABLE_LOCAL, "local"}, {RT_TABLE_DEFAULT, "default"}};
    return nameOf(kNames, table);
}

std::string scopeName(uint8_t scope)
{
    static constexpr Name kNames[] = {{RT_SCOPE_UNIVERSE, "global"}, {RT_SCOPE_SITE, "site"}, {RT_SCOPE_LINK, "link"},
                                      {RT_SCOPE_HOST, "host"}, {RT_SCOPE_NOWHERE, "nowhere"}};
    return nameOf(kNames, scope);
}

std::string routeTypeName(uint8_t type)
{
    static constexpr Name kNames[] = {
        {RTN_UNICAST, "unicast"}, {RTN_LOCAL, "local"}, {RTN_BROADCAST, "broadcast"}, {RTN_ANYCAST, "anycast"},
        {RTN_MULTICAST, "multicast"}, {RTN_BLACKHOLE, "blackhole"}, {RTN_UNREACHABLE, "unreachable"},
        {RTN_PROHIBIT, "prohibit"}, {RTN_THROW, "throw"}, {RTN_NAT, "nat"}, {RTN_XRESOLVE, "xresolve"}};
    return nameOf(kNames, type);
}

// The flags of a route, a path or a next-hop object, each word with a space
// in front.
std::string routeFlagWords(uint32_t flags)
{
    static constexpr Name kWords[] = {
        {RTNH_F_DEAD, "dead"}, {RTNH_F_ONLINK, "onlink"}, {RTNH_F_PERVASIVE, "pervasive"},
        {RTNH_F_OFFLOAD, "offload"}, {RTNH_F_TRAP, "trap"}, {RTM_F_NOTIFY, "notify"},
        {RTNH_F_LINKDOWN, "linkdown"}, {RTNH_F_UNRESOLVED, "unresolved"}, {RTM_F_OFFLOAD, "rt_offload"},
        {RTM_F_TRAP, "rt_trap"}, {RTM_F_OFFLOAD_FAILED, "rt_offload_failed"}};
    std::string out;
    for (const Name& w : kWords) {
        if (flags & w.value)
            out += std::string(" ") + w.name;
    }
    return out;
}

// A refusal's reason; what it shows is kept to one short line.
int give(Reason& why, int outcome, const char* kind, const std::string& shown, std::string text)
{
    why = {kind, OneLine(shown, kMostShownBytes), std::move(text)};
    return outcome;
}

// A neighbour entry as the kernel holds it.
struct NeighbourEntry
{
    bool present = false;
    uint32_t addr = 0;
    uint32_t ifindex = 0;
    std::vector<uint8_t> lladdr;
    uint16_t state = 0;
    uint8_t flags = 0;     // ndm_flags
    uint32_t flagsExt = 0; // NDA_FLAGS_EXT
    uint8_t protocol = 0;
};

// An IPv4 entry of a neighbour message.
bool parseNeighbour(const nlmsghdr* h, NeighbourEntry& out)
{
    if (h->nlmsg_type != RTM_NEWNEIGH || h->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg)))
        return false;
    ndmsg nd{};
    std::memcpy(&nd, NLMSG_DATA(h), sizeof nd);
    if (nd.ndm_family != AF_INET)
        return false;
    out = NeighbourEntry{};
    out.present = true;
    out.ifindex = static_cast<uint32_t>(nd.ndm_ifindex);
    out.state = nd.ndm_state;
    out.flags = nd.ndm_flags;
    ForEachAttr<ndmsg>(h, [&out](unsigned type, const void* data, size_t len) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        if (type == NDA_DST && len == 4)
            std::memcpy(&out.addr, data, 4);
        else if (type == NDA_LLADDR)
            out.lladdr.assign(bytes, bytes + len);
        else if (type == NDA_PROTOCOL && len >= 1)
            out.protocol = bytes[0];
        else if (type == NDA_FLAGS_EXT && len >= 4)
            std::memcpy(&out.flagsExt, data, 4);
    });
    return true;
}

// The kernel's neighbour entry for addr on the interface.
int readNeighbour(uint32_t ifindex, uint32_t addr, NeighbourEntry& out)
{
    out = NeighbourEntry{};
    NlMessage msg(RTM_GETNEIGH, NLM_F_REQUEST | NLM_F_ACK);
    ndmsg req{};
    req.ndm_family = AF_INET;
    req.ndm_ifindex = static_cast<int>(ifindex);
    msg.Put(req);
    msg.Attr(NDA_DST, &addr, sizeof addr);
    const int rc = NlTransact(msg, [&out](const nlmsghdr* h) { parseNeighbour(h, out); });
    return rc == ENOENT ? 0 : rc;
}

// Ours: permanent with our protocol, as the removal the limit's reason
// advises (`nud permanent proto 86`) finds them.
bool carriesOurMark(const NeighbourEntry& e)
{
    return e.protocol == kOwnProtocol && (e.state & NUD_PERMANENT);
}

// The IPv4 entries carrying our mark, on every interface.
int countOwnNeighbours(int& count)
{
    count = 0;
    NlMessage msg(RTM_GETNEIGH, NLM_F_REQUEST | NLM_F_DUMP);
    ndmsg filter{};
    filter.ndm_family = AF_INET;
    msg.Put(filter);
    return NlTransact(msg, [&count](const nlmsghdr* h) {
        NeighbourEntry e;
        if (parseNeighbour(h, e) && carriesOurMark(e))
            ++count;
    });
}

// As `ip neigh show` prints it (NOARP ones only with `nud all`).
std::string neighbourShown(const NeighbourEntry& e)
{
    std::string out = addressText(e.addr) + " dev " + linkName(e.ifindex);
    if (!e.lladdr.empty()) {
        out += " lladdr ";
        for (size_t i = 0; i < e.lladdr.size(); ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, i ? ":%02x" : "%02x", e.lladdr[i]);
            out += hex;
        }
    }
    static constexpr Name kFlags[] = {{NTF_ROUTER, "router"}, {NTF_PROXY, "proxy"}, {NTF_EXT_LEARNED, "extern_learn"},
                                      {NTF_OFFLOADED, "offload"}};
    for (const Name& f : kFlags) {
        if (e.flags & f.value)
            out += std::string(" ") + f.name;
    }
    if (e.flagsExt & NTF_EXT_MANAGED)
        out += " managed";
    static constexpr Name kStates[] = {{NUD_INCOMPLETE, "INCOMPLETE"}, {NUD_REACHABLE, "REACHABLE"},
                                       {NUD_STALE, "STALE"},           {NUD_DELAY, "DELAY"},
                                       {NUD_PROBE, "PROBE"},           {NUD_FAILED, "FAILED"},
                                       {NUD_NOARP, "NOARP"},           {NUD_PERMANENT, "PERMANENT"}};
    for (const Name& s : kStates) {
        if (e.state & s.value)
            out += std::string(" ") + s.name;
    }
    if (e.protocol != 0)
        out += " proto " + protocolName(e.protocol);
    return out;
}

// What makes an entry someone else's: its reason kind and its words in a
// refusal; no kind for our own and for one the kernel learned, which a
// static entry may replace. An entry another control plane keeps
// (extern_learn, managed), one that takes no ARP, and one carrying
// another's protocol are never ours, whatever their state; ours are
// permanent with our protocol. The flags come first: `ip neigh replace`
// sets them and keeps our mark.
struct ForeignEntry
{
    const char* kind = nullptr;
    std::string words;
};

ForeignEntry foreignKind(const NeighbourEntry& e)
{
    if (!e.present)
        return {};
    if (e.flags & NTF_EXT_LEARNED)
        return {reason::kExternEntry, "externally learned neighbour entry"};
    if (e.flagsExt & NTF_EXT_MANAGED)
        return {reason::kManagedEntry, "managed neighbour entry"};
    if (e.state & NUD_NOARP)
        return {reason::kNoarpEntry, "NOARP neighbour entry"};
    if (e.protocol == kOwnProtocol) {
        if (e.state & NUD_PERMANENT)
            return {};
        return {reason::kProtocolEntry, "neighbour entry of protocol 86 that is not permanent"};
    }
    if (e.state & NUD_PERMANENT)
        return {reason::kPermanentEntry, "permanent neighbour entry"};
    if (e.protocol != 0)
        return {reason::kProtocolEntry, "neighbour entry of protocol " + protocolName(e.protocol)};
    return {};
}

// Where a route or one of its paths sends: its gateway as ip words it, and
// the interface.
struct RoutePath
{
    std::string via; // "via 10.1.2.3", "via inet6 fe80::1"; empty for none
    uint32_t ifindex = 0;
    int weight = 1;
    uint32_t flags = 0;
};

// One IPv4 route of any table, with the addresses it sends through.
struct RouteEntry
{
    uint32_t table = 0;
    uint32_t dst = 0;
    uint8_t dstLen = 0;
    uint8_t type = 0;
    uint8_t protocol = 0;
    uint8_t scope = 0;
    uint32_t flags = 0;
    bool hasMetric = false;
    uint32_t metric = 0;
    uint32_t nhid = 0;
    uint32_t prefsrc = 0;
    RoutePath path;                 // RTA_GATEWAY or RTA_VIA, RTA_OIF
    std::vector<RoutePath> paths;   // RTA_MULTIPATH
    std::vector<uint32_t> nextHops; // the IPv4 gateways of all of them
};

// A gateway attribute of a route or of one of its paths.
void gatewayAttr(unsigned type, const void* data, size_t len, RoutePath& path, std::vector<uint32_t>& nextHops)
{
    uint32_t gw = 0;
    if (type == RTA_GATEWAY && len == 4) {
        std::memcpy(&gw, data, 4);
        path.via = "via " + addressText(gw);
        nextHops.push_back(gw);
    } else if (type == RTA_VIA && len >= sizeof(rtvia)) {
        rtvia via{};
        std::memcpy(&via, data, sizeof via);
        const char* address = static_cast<const char*>(data) + sizeof via;
        char text[INET6_ADDRSTRLEN] = {};
        if (via.rtvia_family == AF_INET && len == sizeof via + 4) {
            std::memcpy(&gw, address, 4);
            nextHops.push_back(gw);
            path.via = "via inet " + addressText(gw);
        } else if (via.rtvia_family == AF_INET6 && len == sizeof via + 16 &&
                   ::inet_ntop(AF_INET6, address, text, sizeof text)) {
            path.via = std::string("via inet6 ") + text;
        }
    }
}

// Every IPv4 route the kernel holds, of every table.
int readRoutes(std::vector<RouteEntry>& out)
{
    NlMessage msg(RTM_GETROUTE, NLM_F_REQUEST | NLM_F_DUMP);
    rtmsg filter{};
    filter.rtm_family = AF_INET;
    msg.Put(filter);
    return NlTransact(msg, [&out](const nlmsghdr* h) {
        if (h->nlmsg_type != RTM_NEWROUTE || h->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg)))
            return;
        rtmsg rt{};
        std::memcpy(&rt, NLMSG_DATA(h), sizeof rt);
        if (rt.rtm_family != AF_INET)
            return;
        RouteEntry r;
        r.table = rt.rtm_table;
        r.dstLen = rt.rtm_dst_len;
        r.type = rt.rtm_type;
        r.protocol = rt.rtm_protocol;
        r.scope = rt.rtm_scope;
        r.flags = rt.rtm_flags;
        ForEachAttr<rtmsg>(h, [&r](unsigned type, const void* data, size_t len) {
            if (type == RTA_MULTIPATH) {
                // rtnexthop records, each followed by its own attributes.
                const auto* p = static_cast<const char*>(data);
                size_t left = len;
                while (left >= sizeof(rtnexthop)) {
                    rtnexthop nh{};
                    std::memcpy(&nh, p, sizeof nh);
                    if (nh.rtnh_len < sizeof nh || nh.rtnh_len > left)
                        break;
                    RoutePath path;
                    path.ifindex = static_cast<uint32_t>(nh.rtnh_ifindex);
                    path.weight = nh.rtnh_hops + 1;
                    path.flags = nh.rtnh_flags;
                    const auto* a = reinterpret_cast<const rtattr*>(p + RTNH_ALIGN(sizeof nh));
                    int alen = static_cast<int>(nh.rtnh_len) - static_cast<int>(RTNH_ALIGN(sizeof nh));
                    for (; RTA_OK(a, alen); a = RTA_NEXT(a, alen))
                        gatewayAttr(a->rta_type, RTA_DATA(a), RTA_PAYLOAD(a), path, r.nextHops);
                    r.paths.push_back(std::move(path));
                    const size_t step = std::min<size_t>(RTNH_ALIGN(nh.rtnh_len), left);
                    p += step;
                    left -= step;
                }
                return;
            }
            gatewayAttr(type, data, len, r.path, r.nextHops);
            if (len != 4)
                return;
            uint32_t v = 0;
            std::memcpy(&v, data, 4);
            if (type == RTA_TABLE) {
                r.table = v;
            } else if (type == RTA_DST) {
                r.dst = v;
            } else if (type == RTA_PRIORITY) {
                r.metric = v;
                r.hasMetric = true;
            } else if (type == RTA_OIF) {
                r.path.ifindex = v;
            } else if (type == RTA_PREFSRC) {
                r.prefsrc = v;
            } else if (type == RTA_NH_ID) {
                r.nhid = v;
            }
        });
        out.push_back(std::move(r));
    });
}

// " via GATEWAY dev NAME", each part where the path has it.
std::string pathWords(const RoutePath& p)
{
    return (p.via.empty() ? std::string() : " " + p.via) + (p.ifindex ? " dev " + linkName(p.ifindex) : std::string());
}

// As `ip route show table all` prints it, on one line: the paths of a
// multipath route follow it, each as "nexthop via ... dev ... weight N".
std::string routeShown(const RouteEntry& r)
{
    std::string out = r.type == RTN_UNICAST ? std::string() : routeTypeName(r.type) + " ";
    if (r.dstLen == 0)
        out += "default";
    else
        out += addressText(r.dst) + (r.dstLen == 32 ? std::string() : "/" + std::to_string(r.dstLen));
    if (r.nhid)
        out += " nhid " + std::to_string(r.nhid);
    out += pathWords(r.path);
    if (r.table != RT_TABLE_MAIN)
        out += " table " + tableName(r.table);
    if (r.protocol != RTPROT_BOOT)
        out += " proto " + protocolName(r.protocol);
    if (r.scope != RT_SCOPE_UNIVERSE)
        out += " scope " + scopeName(r.scope);
    if (r.prefsrc)
        out += " src " + addressText(r.prefsrc);
    if (r.hasMetric)
        out += " metric " + std::to_string(r.metric);
    out += routeFlagWords(r.flags);
    for (const RoutePath& p : r.paths)
        out += " nexthop" + pathWords(p) + " weight " + std::to_string(p.weight) + routeFlagWords(p.flags);
    return out;
}

std::string routeText(const RouteEntry& r)
{
    return addressText(r.dst) + "/" + std::to_string(r.dstLen) + " in table " + tableName(r.table);
}

bool covers(const RouteEntry& r, uint32_t addr)
{
    return (addr & prefixMask(r.dstLen)) == r.dst;
}

// One of the kernel's next-hop objects, of any family: a route that uses
// one may name only its number, and a group names its members by theirs.
struct NextHopObject
{
    uint32_t id = 0;
    uint32_t gateway = 0; // IPv4 only
    RoutePath path;
    uint8_t scope = 0;
    uint8_t protocol = 0;
    bool blackhole = false;
    bool fdb = false;
    std::vector<nexthop_grp> group;
};

int readNextHopObjects(std::vector<NextHopObject>& out)
{
    NlMessage msg(RTM_GETNEXTHOP, NLM_F_REQUEST | NLM_F_DUMP);
    nhmsg filter{};
    msg.Put(filter);
    const int rc = NlTransact(msg, [&out](const nlmsghdr* h) {
        if (h->nlmsg_type != RTM_NEWNEXTHOP || h->nlmsg_len < NLMSG_LENGTH(sizeof(nhmsg)))
            return;
        nhmsg nh{};
        std::memcpy(&nh, NLMSG_DATA(h), sizeof nh);
        NextHopObject o;
        o.scope = nh.nh_scope;
        o.protocol = nh.nh_protocol;
        o.path.flags = nh.nh_flags;
        ForEachAttr<nhmsg>(h, [&o](unsigned type, const void* data, size_t len) {
            char text[INET6_ADDRSTRLEN] = {};
            if (type == NHA_ID && len == 4) {
                std::memcpy(&o.id, data, 4);
            } else if (type == NHA_GATEWAY && len == 4) {
                std::memcpy(&o.gateway, data, 4);
                o.path.via = "via " + addressText(o.gateway);
            } else if (type == NHA_GATEWAY && len == 16 && ::inet_ntop(AF_INET6, data, text, sizeof text)) {
                o.path.via = std::string("via ") + text;
            } else if (type == NHA_OIF && len == 4) {
                std::memcpy(&o.path.ifindex, data, 4);
            } else if (type == NHA_BLACKHOLE) {
                o.blackhole = true;
            } else if (type == NHA_FDB) {
                o.fdb = true;
            } else if (type == NHA_GROUP) {
                o.group.resize(len / sizeof(nexthop_grp));
                std::memcpy(o.group.data(), data, o.group.size() * sizeof(nexthop_grp));
            }
        });
        out.push_back(std::move(o));
    });
    // A kernel without next-hop objects has none to use.
    return rc == EOPNOTSUPP || rc == EINVAL ? 0 : rc;
}

// As `ip nexthop show` prints it.
std::string nextHopObjectShown(const NextHopObject& o)
{
    std::string out = "id " + std::to_string(o.id);
    for (size_t i = 0; i < o.group.size(); ++i) {
        out += (i ? "/" : " group ") + std::to_string(o.group[i].id);
        if (o.group[i].weight)
            out += "," + std::to_string(o.group[i].weight + 1);
    }
    out += pathWords(o.path);
    if (o.scope != RT_SCOPE_UNIVERSE)
        out += " scope " + scopeName(o.scope);
    if (o.blackhole)
        out += " blackhole";
    if (o.protocol != RTPROT_UNSPEC)
        out += " proto " + protocolName(o.protocol);
    return out + routeFlagWords(o.path.flags) + (o.fdb ? " fdb" : "");
}

// The routes and next-hop objects, read once for all checks of a change.
struct RoutingTables
{
    std::vector<RouteEntry> routes;
    std::vector<NextHopObject> objects;
};

int readRoutingTables(RoutingTables& out)
{
    if (const int err = readRoutes(out.routes))
        return err;
    return readNextHopObjects(out.objects);
}

// The PC reaches every host behind a gateway through the gateway's entry;
// an entry or host route of ours for that address would send all of that
// traffic elsewhere, and a device given the address would break the
// network anyway.
int checkNotNextHop(uint32_t addr, const RoutingTables& tables, Reason& why)
{
    for (const RouteEntry& r : tables.routes) {
        if (std::find(r.nextHops.begin(), r.nextHops.end(), addr) != r.nextHops.end())
            return give(why, kRefused, reason::kNextHop, routeShown(r),
                        "address is the next hop of the route to " + routeText(r) + ": " + addressText(addr));
    }
    for (const NextHopObject& o : tables.objects) {
        if (o.gateway == addr)
            return give(why, kRefused, reason::kNextHop, nextHopObjectShown(o),
                        "address is the gateway of a next-hop object: " + addressText(addr));
    }
    return 0;
}

struct InterfaceAddress
{
    uint32_t ifindex = 0;
    uint32_t local = 0;
    uint32_t address = 0;   // the peer's on a point-to-point link, else local
    uint32_t broadcast = 0; // as configured; 0 when none was
    uint8_t prefix = 0;
};

// The IPv4 addresses the system lists for every interface, whatever its
// state: one dump serves all checks of a change.
int readAddresses(std::vector<InterfaceAddress>& out)
{
    NlMessage msg(RTM_GETADDR, NLM_F_REQUEST | NLM_F_DUMP);
    ifaddrmsg filter{};
    filter.ifa_family = AF_INET;
    msg.Put(filter);
    return NlTransact(msg, [&](const nlmsghdr* h) {
        if (h->nlmsg_type != RTM_NEWADDR || h->nlmsg_len < NLMSG_LENGTH(sizeof(ifaddrmsg)))
            return;
        ifaddrmsg ifa{};
        std::memcpy(&ifa, NLMSG_DATA(h), sizeof ifa);
        if (ifa.ifa_family != AF_INET)
            return;
        InterfaceAddress a;
        a.ifindex = ifa.ifa_index;
        a.prefix = ifa.ifa_prefixlen;
        bool hasLocal = false;
        ForEachAttr<ifaddrmsg>(h, [&](unsigned type, const void* data, size_t len) {
            if (len != 4)
                return;
            // IFA_LOCAL is this host's end; IFA_ADDRESS is the peer's on a
            // point-to-point link and equal to it elsewhere.
            if (type == IFA_LOCAL) {
                std::memcpy(&a.local, data, 4);
                hasLocal = true;
            } else if (type == IFA_ADDRESS) {
                std::memcpy(&a.address, data, 4);
            } else if (type == IFA_BROADCAST) {
                std::memcpy(&a.broadcast, data, 4);
            }
        });
        if (!hasLocal)
            a.local = a.address;
        out.push_back(a);
    });
}

// "10.1.2.3/24", or with the peer of a point-to-point link
// ("10.1.2.3 peer 10.1.2.4/32").
std::string addressWords(const InterfaceAddress& a)
{
    const std::string peer = a.address != a.local ? " peer " + addressText(a.address) : std::string();
    return addressText(a.local) + peer + "/" + std::to_string(a.prefix);
}

// As `ip address` words it: "10.1.2.3/24 dev eth0".
std::string interfaceAddressShown(const InterfaceAddress& a)
{
    return addressWords(a) + " dev " + linkName(a.ifindex);
}

// An entry or route for the interface's own address, or for a network or
// broadcast address of its subnets, would take traffic from the PC itself
// or from a whole subnet.
int checkEntryAddress(uint32_t ifindex, uint32_t addr, const std::vector<InterfaceAddress>& addresses, Reason& why)
{
    for (const InterfaceAddress& a : addresses) {
        if (a.ifindex != ifindex)
            continue;
        const uint32_t mask = prefixMask(a.prefix);
        // /31 and /32 have no network or broadcast address.
        const bool subnet = a.prefix <= 30;
        const char* what = nullptr;
        const char* kind = nullptr;
        if (addr == a.local) {
            what = "an address of the interface itself: ";
            kind = reason::kOwnAddress;
        } else if (subnet && addr == (a.local & mask)) {
            what = "the network address of a subnet of the interface: ";
            kind = reason::kNetworkAddress;
        } else if ((subnet && addr == (a.local | ~mask)) || (a.broadcast != 0 && addr == a.broadcast)) {
            what = "the broadcast address of a subnet of the interface: ";
            kind = reason::kBroadcastAddress;
        }
        if (what)
            return give(why, kRefused, kind, interfaceAddressShown(a), std::string("address is ") + what + addressText(addr));
    }
    return 0;
}

// The interfaces a route reaches hosts on directly: those of its paths
// without a gateway, whether its own, a multipath route's, or those of the
// next-hop object it uses (a group's members'). A path through a gateway
// reaches a network behind it, not one the card sits on.
std::vector<uint32_t> onLinkInterfaces(const RouteEntry& r, const RoutingTables& tables)
{
    std::vector<uint32_t> out;
    const auto add = [&out](const RoutePath& p) {
        if (p.via.empty() && p.ifindex)
            out.push_back(p.ifindex);
    };
    const auto object = [&tables](uint32_t id) -> const NextHopObject* {
        for (const NextHopObject& o : tables.objects) {
            if (o.id == id)
                return &o;
        }
        return nullptr;
    };
    // The object decides; a route's own paths stand for it only when the
    // object went between the two dumps.
    if (const NextHopObject* o = r.nhid ? object(r.nhid) : nullptr) {
        if (o->group.empty() && !o->blackhole)
            add(o->path);
        for (const nexthop_grp& member : o->group) {
            if (const NextHopObject* m = object(member.id); m && !m->blackhole)
                add(m->path);
        }
        return out;
    }
    add(r.path);
    for (const RoutePath& p : r.paths)
        add(p);
    return out;
}

// Prefixes of 0 and 1 bit stand for a default route (a full tunnel routes
// the two halves of it), not for a network.
constexpr uint8_t kLeastNetworkPrefix = 2;

// A device given an address of a network another card of the PC sits on
// would take the place of a host there; an entry or route of ours would
// send that host's traffic out of the wrong card. A card sits on every
// network an on-link route out of it covers (any scope, any table), and on
// the subnet of each of its addresses, which stays while the card is down
// or when the address makes no route. Ours are no network. The PC's own
// addresses on other cards are refused outright. A network the device's
// card sits on too, at least as specifically, is the device card's as
// well: a laptop's cable and Wi-Fi on one LAN both serve it, while a wide
// network of the device's card opens no narrower one of another card.
int checkNotOtherNetwork(uint32_t ifindex, uint32_t addr, const RoutingTables& tables,
                         const std::vector<InterfaceAddress>& addresses, Reason& why)
{
    for (const InterfaceAddress& a : addresses) {
        if (a.ifindex != ifindex && a.local == addr)
            return give(why, kRefused, reason::kOtherNetwork, interfaceAddressShown(a),
                        "address is an address of another interface, " + linkName(a.ifindex) + ": " +
                            addressText(addr));
    }
    int device = -1; // the longest prefix of the device card's networks over addr
    struct Other
    {
        int prefix = -1;
        uint32_t ifindex = 0;
        const RouteEntry* route = nullptr;
        const InterfaceAddress* address = nullptr;
    } other;
    const auto consider = [&](uint32_t card, int prefix, const RouteEntry* route, const InterfaceAddress* address) {
        if (card == ifindex)
            device = std::max(device, prefix);
        else if (prefix > other.prefix || (prefix == other.prefix && route && !other.route))
            other = {prefix, card, route, address};
    };
    for (const RouteEntry& r : tables.routes) {
        if (r.type != RTN_UNICAST || r.protocol == kOwnProtocol || r.dstLen < kLeastNetworkPrefix || !covers(r, addr))
            continue;
        for (const uint32_t card : onLinkInterfaces(r, tables))
            consider(card, r.dstLen, &r, nullptr);
    }
    for (const InterfaceAddress& a : addresses) {
        if (a.prefix >= kLeastNetworkPrefix && ((a.address ^ addr) & prefixMask(a.prefix)) == 0)
            consider(a.ifindex, a.prefix, nullptr, &a);
    }
    if (other.prefix <= device)
        return 0;
    const std::string tail = " of another interface, " + linkName(other.ifindex) + ": " + addressText(addr);
    if (other.route)
        return give(why, kRefused, reason::kOtherNetwork, routeShown(*other.route),
                    "address lies in the network " + routeText(*other.route) + tail);
    return give(why, kRefused, reason::kOtherNetwork, interfaceAddressShown(*other.address),
                "address lies in the subnet of the address " + addressWords(*other.address) + tail);
}

// What the address is, for entries and routes alike: not the interface's
// own, not a next hop, not in another card's network. `tables` is read
// here, for the checks that follow to use.
int checkAddress(uint32_t ifindex, uint32_t addr, RoutingTables& tables, Reason& why)
{
    std::vector<InterfaceAddress> addresses;
    if (const int err = readAddresses(addresses))
        return err;
    if (const int err = checkEntryAddress(ifindex, addr, addresses, why))
        return err;
    if (const int err = readRoutingTables(tables))
        return err;
    if (const int err = checkNotNextHop(addr, tables, why))
        return err;
    return checkNotOtherNetwork(ifindex, addr, tables, addresses, why);
}

std::string foreignNeighbour(const std::string& kind, uint32_t addr)
{
    return "the " + kind + " for " + addressText(addr) + " on the interface was not made by vyn-netpriv: left as it is";
}

// A host route to dest that is not ours, of any table, interface or metric
// (ours, of metric 0, would win over one of a higher metric).
const RouteEntry* anothersHostRoute(uint32_t dest, const std::vector<RouteEntry>& routes)
{
    for (const RouteEntry& r : routes) {
        if (r.dstLen == 32 && r.dst == dest && r.protocol != kOwnProtocol)
            return &r;
    }
    return nullptr;
}

int foreignHostRoute(const RouteEntry& r, Reason& why)
{
    return give(why, kNotOurs, reason::kHostRoute, routeShown(r),
                "the host route to " + addressText(r.dst) + " of protocol " + protocolName(r.protocol) +
                    " and metric " + std::to_string(r.metric) + " in table " + tableName(r.table) +
                    " was not made by vyn-netpriv: left as it is");
}

// The route of table main that decides for dest there: the longest prefix
// over it, of the lowest metric among equals.
const RouteEntry* mainRouteOver(uint32_t dest, const std::vector<RouteEntry>& routes)
{
    const RouteEntry* best = nullptr;
    for (const RouteEntry& r : routes) {
        if (r.table != RT_TABLE_MAIN || !covers(r, dest))
            continue;
        if (!best || r.dstLen > best->dstLen || (r.dstLen == best->dstLen && r.metric < best->metric))
            best = &r;
    }
    return best;
}

// Another's host route to dest, or a route that drops or throws what is
// sent there: an address the administrator made unreachable stays so.
// The kernel's lookup tells a blackhole, unreachable or prohibit route by
// its error. A throw gives the error of no route at all, which must stay
// allowed (a device in a network the PC has no route to is what the static
// ARP way is for), so it is found in the table: when the route deciding for
// dest in table main is a throw, our host route there would override it.
// A throw in another table only sends the lookup on, to main among others.
int checkRouteInTheWay(uint32_t dest, const std::vector<RouteEntry>& routes, Reason& why)
{
    if (const RouteEntry* r = anothersHostRoute(dest, routes))
        return foreignHostRoute(*r, why);
    static constexpr struct {
        int err;
        uint8_t type;
        const char* kind;
        const char* reasonKind;
    } kDropping[] = {{EINVAL, RTN_BLACKHOLE, "blackhole", reason::kBlackholeRoute},
                     {EHOSTUNREACH, RTN_UNREACHABLE, "unreachable", reason::kUnreachableRoute},
                     {EACCES, RTN_PROHIBIT, "prohibit", reason::kProhibitRoute}};
    NlMessage msg = RouteLookup(dest);
    const int err = NlTransact(msg, [](const nlmsghdr*) {});
    const auto* dropping = std::find_if(std::begin(kDropping), std::end(kDropping),
                                        [err](const auto& d) { return d.err == err; });
    if (dropping != std::end(kDropping)) {
        // Named by the most specific route of that type over dest.
        const RouteEntry* over = nullptr;
        for (const RouteEntry& r : routes) {
            if (r.type == dropping->type && covers(r, dest) && (!over || r.dstLen > over->dstLen))
                over = &r;
        }
        return give(why, kNotOurs, dropping->reasonKind, over ? routeShown(*over) : std::string(),
                    std::string("the kernel's route to ") + addressText(dest) + " is the " + dropping->kind +
                        " route" + (over ? " " + routeText(*over) : std::string()) +
                        ", which vyn-netpriv leaves as it is");
    }
    const RouteEntry* main = mainRouteOver(dest, routes);
    if (main && main->type == RTN_THROW)
        return give(why, kNotOurs, reason::kThrowRoute, routeShown(*main),
                    "the route deciding for " + addressText(dest) + " in table main is the throw route " +
                        addressText(main->dst) + "/" + std::to_string(main->dstLen) +
                        ", which vyn-netpriv leaves as it is");
    return 0;
}

// Tries left when an entry came or went between looking and changing.
constexpr int kRaceTries = 3;

// A packet socket costs the kernel a network-wide grace period (tens of ms
// on a busy machine) when it closes, and another when one opened for a
// protocol is bound: it is opened for none, bound once, and closed on a
// thread of its own, so the operator does not wait for either.
class PacketFd
{
public:
    PacketFd() : m_fd(::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
    ~PacketFd()
    {
        if (m_fd < 0)
            return;
        try {
            std::thread([fd = m_fd] { ::close(fd); }).detach();
        } catch (const std::system_error&) {
            ::close(m_fd);
        }
    }
    PacketFd(const PacketFd&) = delete;
    PacketFd& operator=(const PacketFd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

int NlTransact(NlMessage& msg, const NlHandler& each)
{
    static std::atomic<uint32_t> s_seq{1};
    UniqueFd fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (fd.get() < 0)
        return errno;
    timeval tv{3, 0};
    ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);

    const uint32_t seq = s_seq++;
    const std::vector<char>& out = msg.Finish(seq);
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fd.get(), out.data(), out.size(), 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0)
        return errno;

    std::vector<uint64_t> buffer(8192); // 64 KiB, aligned for the headers
    for (;;) {
        const ssize_t n = ::recv(fd.get(), buffer.data(), buffer.size() * sizeof(uint64_t), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno == EAGAIN ? ETIMEDOUT : errno;
        }
        int left = static_cast<int>(n);
        for (auto* h = reinterpret_cast<const nlmsghdr*>(buffer.data()); NLMSG_OK(h, left);
             h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_seq != seq)
                continue;
            if (h->nlmsg_type == NLMSG_DONE)
                return 0;
            if (h->nlmsg_type == NLMSG_ERROR) {
                const auto* e = static_cast<const nlmsgerr*>(NLMSG_DATA(h));
                return -e->error;
            }
            each(h);
        }
    }
}

NlMessage RouteLookup(uint32_t dest)
{
    NlMessage msg(RTM_GETROUTE, NLM_F_REQUEST | NLM_F_ACK);
    rtmsg req{};
    req.rtm_family = AF_INET;
    req.rtm_dst_len = 32;
    msg.Put(req);
    msg.Attr(RTA_DST, &dest, sizeof dest);
    return msg;
}

bool HasNetCapabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const uint32_t net = (1u << CAP_NET_ADMIN) | (1u << CAP_NET_RAW);
    return (data[0].effective & net) == net;
}

int AddNeighbour(uint32_t ifindex, uint32_t addr, const uint8_t* mac, uint32_t macLen, uint16_t state)
{
    return changeNeighbour(RTM_NEWNEIGH, NLM_F_CREATE | NLM_F_REPLACE, ifindex, addr, mac, macLen, state, 0);
}

// The entry is read first, then changed with flags that fail if it came or
// went in between (create: exclusive; replace: not creating), and tried
// again when it did. Only a learned entry made permanent by someone in that
// instant could still be replaced; reading it once more afterwards would
// not undo that.
int AddOwnNeighbour(uint32_t ifindex, uint32_t addr, const uint8_t (&mac)[6], Reason& why)
{
    RoutingTables tables;
    if (const int err = checkAddress(ifindex, addr, tables, why))
        return err;
    for (int tries = kRaceTries; tries > 0; --tries) {
        NeighbourEntry entry;
        if (const int err = readNeighbour(ifindex, addr, entry))
            return err;
        if (const ForeignEntry foreign = foreignKind(entry); foreign.kind)
            return give(why, kNotOurs, foreign.kind, neighbourShown(entry), foreignNeighbour(foreign.words, addr));
        // Replacing our own adds nothing; taking a learned one over does.
        if (!carriesOurMark(entry)) {
            int own = 0;
            if (const int err = countOwnNeighbours(own))
                return err;
            if (own >= kMostOwn)
                return give(why, kRefused, reason::kEntryLimit, std::string(),
                            "vyn-netpriv holds " + std::to_string(own) + " neighbour entries and keeps at most " +
                                std::to_string(kMostOwn) +
                                "; to remove them, as root: ip neigh flush proto 86 nud permanent");
        }
        const uint16_t flags = entry.present ? NLM_F_REPLACE : NLM_F_CREATE | NLM_F_EXCL;
        const int err = changeNeighbour(RTM_NEWNEIGH, flags, ifindex, addr, mac, sizeof mac, NUD_PERMANENT,
                                        kOwnProtocol);
        if (!(entry.present ? err == ENOENT : err == EEXIST))
            return err;
    }
    return EAGAIN;
}

int RemoveOwnNeighbour(uint32_t ifindex, uint32_t addr, Reason& why)
{
    // What may not get an entry keeps the one it has: a gateway's learned
    // entry removed again and again would cut the PC off its network.
    RoutingTables tables;
    if (const int err = checkAddress(ifindex, addr, tables, why))
        return err;
    NeighbourEntry entry;
    if (const int err = readNeighbour(ifindex, addr, entry))
        return err;
    if (!entry.present)
        return 0;
    if (const ForeignEntry foreign = foreignKind(entry); foreign.kind)
        return give(why, kNotOurs, foreign.kind, neighbourShown(entry), foreignNeighbour(foreign.words, addr));
    const int err = changeNeighbour(RTM_DELNEIGH, 0, ifindex, addr, nullptr, 0, 0, 0);
    return err == ENOENT ? 0 : err;
}

int AddOwnHostRoute(uint32_t dest, uint32_t ifindex, Reason& why)
{
    RoutingTables tables;
    if (const int err = checkAddress(ifindex, dest, tables, why))
        return err;
    if (const int err = checkRouteInTheWay(dest, tables.routes, why))
        return err;
    // One of ours to dest already makes the kernel answer EEXIST; any other
    // is an addition.
    const auto ours = [dest](const RouteEntry& r) {
        return r.protocol == kOwnProtocol && r.table == RT_TABLE_MAIN && r.dstLen == 32 && r.dst == dest;
    };
    const auto own = std::count_if(tables.routes.begin(), tables.routes.end(),
                                   [](const RouteEntry& r) { return r.protocol == kOwnProtocol; });
    if (own >= kMostOwn && std::none_of(tables.routes.begin(), tables.routes.end(), ours))
        return give(why, kRefused, reason::kRouteLimit, std::string(),
                    "vyn-netpriv holds " + std::to_string(own) + " host routes and keeps at most " +
                        std::to_string(kMostOwn) + "; to remove them, as root: ip route flush table all proto 86");
    return changeHostRoute(RTM_NEWROUTE, NLM_F_CREATE | NLM_F_EXCL, dest, ifindex);
}

int RemoveOwnHostRoute(uint32_t dest, uint32_t ifindex, Reason& why)
{
    const int err = changeHostRoute(RTM_DELROUTE, 0, dest, ifindex);
    if (err != ESRCH && err != ENOENT)
        return err;
    // None of ours: is another's there?
    std::vector<RouteEntry> routes;
    if (const int readErr = readRoutes(routes))
        return readErr;
    if (const RouteEntry* r = anothersHostRoute(dest, routes))
        return foreignHostRoute(*r, why);
    return 0;
}

int ArpProbe(uint32_t ifindex, const uint8_t (&ownMac)[6], uint32_t source, uint32_t dest, milliseconds wait,
             uint8_t (&mac)[6], bool& answered, Reason& why)
{
    answered = false;
    if (source != 0) {
        std::vector<InterfaceAddress> addresses;
        if (const int err = readAddresses(addresses))
            return err;
        if (std::none_of(addresses.begin(), addresses.end(), [ifindex, source](const InterfaceAddress& a) {
                return a.ifindex == ifindex && a.local == source;
            })) {
            const std::string text =
                "source address is neither 0.0.0.0 nor an address of the interface: " + addressText(source);
            return give(why, kRefused, reason::kArgument, text, text);
        }
    }
    PacketFd fd;
    if (fd.get() < 0)
        return errno;
    sockaddr_ll here{};
    here.sll_family = AF_PACKET;
    here.sll_protocol = htons(ETH_P_ARP);
    here.sll_ifindex = static_cast<int>(ifindex);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&here), sizeof here) != 0)
        return errno;

    // Ethernet/IPv4 ARP request: hardware type 1, protocol 0x0800, lengths 6
    // and 4, operation 1, our MAC and address, an empty target MAC, target.
    uint8_t request[28] = {0, 1, 8, 0, 6, 4, 0, 1};
    std::memcpy(request + 8, ownMac, 6);
    std::memcpy(request + 14, &source, 4);
    std::memcpy(request + 24, &dest, 4);
    sockaddr_ll broadcast = here;
    broadcast.sll_halen = 6;
    std::memset(broadcast.sll_addr, 0xFF, 6);

    // Paced from the first request, so slow replies of others do not
    // stretch the schedule.
    const auto first = Clock::now();
    const auto end = first + wait;
    for (int attempt = 0;; ++attempt) {
        if (::sendto(fd.get(), request, sizeof request, 0, reinterpret_cast<sockaddr*>(&broadcast), sizeof broadcast) < 0)
            return errno;
        const auto next = first + kArpRepeat * (attempt + 1);
        const bool last = next + kArpLastWait > end;
        const auto deadline = last ? end : next;
        for (;;) {
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                break;
            pollfd p{fd.get(), POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0)
                continue;
            uint8_t reply[64];
            sockaddr_ll from{};
            socklen_t fromLen = sizeof from;
            const ssize_t n =
                ::recvfrom(fd.get(), reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
            // The socket also sees what this host sends.
            if (n < 28 || from.sll_pkttype == PACKET_OUTGOING)
                continue;
            const bool isReply = reply[0] == 0 && reply[1] == 1 && reply[2] == 8 && reply[3] == 0 &&
                reply[4] == 6 && reply[5] == 4 && reply[6] == 0 && reply[7] == 2;
            // A reply counts only from the destination itself, with a MAC a
            // host can have: another host's answer is not the holder's.
            const bool fromDest = std::memcmp(reply + 14, &dest, 4) == 0;
            const bool unicast = (reply[8] & 1) == 0 &&
                (reply[8] | reply[9] | reply[10] | reply[11] | reply[12] | reply[13]) != 0;
            if (isReply && fromDest && unicast) {
                std::memcpy(mac, reply + 8, 6);
                answered = true;
                return 0;
            }
        }
        if (last)
            return 0;
    }
}

std::string MacText(const uint8_t (&mac)[6])
{
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4],
                  mac[5]);
    return text;
}

std::string OneLine(std::string_view text, size_t most)
{
    std::string out(text.substr(0, most));
    for (char& c : out) {
        if (c < ' ' || c > '~')
            c = '?';
    }
    return out;
}

bool ParseMacText(std::string_view text, uint8_t (&mac)[6])
{
    if (text.size() != 17)
        return false;
    for (size_t i = 0; i < 6; ++i) {
        const int hi = HexDigitValue(text[i * 3]);
        const int lo = HexDigitValue(text[i * 3 + 1]);
        if (hi < 0 || lo < 0 || (i < 5 && text[i * 3 + 2] != ':'))
            return false;
        mac[i] = static_cast<uint8_t>(hi * 16 + lo);
    }
    return true;
}

} // namespace platform::net
