#include "platform/NetPrivileged.h"
#include "platform/HexDigit.h"
#include "platform/UniqueFd.h"

#include <arpa/inet.h>
#include <linux/capability.h>
#include <linux/if_packet.h>
#include <linux/neighbour.h>
#include <linux/nexthop.h>
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

// A neighbour entry as the kernel holds it.
struct NeighbourEntry
{
    bool present = false;
    uint16_t state = 0;
    uint8_t flags = 0;     // ndm_flags
    uint32_t flagsExt = 0; // NDA_FLAGS_EXT
    uint8_t protocol = 0;
};

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
    const int rc = NlTransact(msg, [&out](const nlmsghdr* h) {
        if (h->nlmsg_type != RTM_NEWNEIGH || h->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg)))
            return;
        ndmsg nd{};
        std::memcpy(&nd, NLMSG_DATA(h), sizeof nd);
        out.present = true;
        out.state = nd.ndm_state;
        out.flags = nd.ndm_flags;
        ForEachAttr<ndmsg>(h, [&out](unsigned type, const void* data, size_t len) {
            if (type == NDA_PROTOCOL && len >= 1)
                out.protocol = *static_cast<const uint8_t*>(data);
            else if (type == NDA_FLAGS_EXT && len >= 4)
                std::memcpy(&out.flagsExt, data, 4);
        });
    });
    return rc == ENOENT ? 0 : rc;
}

// The protocol numbers iproute2 names that an administrator meets.
std::string protocolName(uint8_t protocol)
{
    switch (protocol) {
    case RTPROT_REDIRECT:
        return "redirect";
    case RTPROT_KERNEL:
        return "kernel";
    case RTPROT_BOOT:
        return "boot";
    case RTPROT_STATIC:
        return "static";
    case RTPROT_DHCP:
        return "dhcp";
    default:
        return std::to_string(protocol);
    }
}

std::string tableName(uint32_t table)
{
    switch (table) {
    case RT_TABLE_MAIN:
        return "main";
    case RT_TABLE_LOCAL:
        return "local";
    case RT_TABLE_DEFAULT:
        return "default";
    default:
        return std::to_string(table);
    }
}

// What makes an entry someone else's, as its kind is named in a refusal;
// empty for our own and for one the kernel learned, which a static entry
// may replace. An entry another control plane keeps (extern_learn,
// managed), one that takes no ARP, and one carrying another's protocol are
// never ours, whatever their state; ours are permanent with our protocol.
std::string foreignKind(const NeighbourEntry& e)
{
    if (!e.present)
        return std::string();
    if (e.flags & NTF_EXT_LEARNED)
        return "externally learned neighbour entry";
    if (e.flagsExt & NTF_EXT_MANAGED)
        return "managed neighbour entry";
    if (e.state & NUD_NOARP)
        return "NOARP neighbour entry";
    if (e.protocol == kOwnProtocol)
        return (e.state & NUD_PERMANENT) ? std::string() : "neighbour entry of protocol 86 that is not permanent";
    if (e.state & NUD_PERMANENT)
        return "permanent neighbour entry";
    if (e.protocol != 0)
        return "neighbour entry of protocol " + protocolName(e.protocol);
    return std::string();
}

// The reason kind of an entry foreignKind names.
const char* neighbourReasonKind(const NeighbourEntry& e)
{
    if (e.flags & NTF_EXT_LEARNED)
        return reason::kExternEntry;
    if (e.flagsExt & NTF_EXT_MANAGED)
        return reason::kManagedEntry;
    if (e.state & NUD_NOARP)
        return reason::kNoarpEntry;
    if (e.protocol != kOwnProtocol && (e.state & NUD_PERMANENT))
        return reason::kPermanentEntry;
    return reason::kProtocolEntry;
}

// One IPv4 route of any table, with the addresses it sends through.
struct RouteEntry
{
    uint32_t table = 0;
    uint32_t dst = 0;
    uint8_t dstLen = 0;
    uint8_t type = 0;
    uint8_t protocol = 0;
    uint32_t metric = 0;
    std::vector<uint32_t> nextHops;
};

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
                    const auto* a = reinterpret_cast<const rtattr*>(p + RTNH_ALIGN(sizeof nh));
                    int alen = static_cast<int>(nh.rtnh_len) - static_cast<int>(RTNH_ALIGN(sizeof nh));
                    for (; RTA_OK(a, alen); a = RTA_NEXT(a, alen)) {
                        if (a->rta_type == RTA_GATEWAY && RTA_PAYLOAD(a) == 4) {
                            uint32_t gw = 0;
                            std::memcpy(&gw, RTA_DATA(a), 4);
                            r.nextHops.push_back(gw);
                        }
                    }
                    const size_t step = std::min<size_t>(RTNH_ALIGN(nh.rtnh_len), left);
                    p += step;
                    left -= step;
                }
                return;
            }
            uint32_t v = 0;
            if (type == RTA_VIA && len == sizeof(rtvia) + 4) {
                rtvia via{};
                std::memcpy(&via, data, sizeof via);
                if (via.rtvia_family == AF_INET) {
                    std::memcpy(&v, static_cast<const char*>(data) + sizeof via, 4);
                    r.nextHops.push_back(v);
                }
                return;
            }
            if (len != 4)
                return;
            std::memcpy(&v, data, 4);
            if (type == RTA_TABLE)
                r.table = v;
            else if (type == RTA_DST)
                r.dst = v;
            else if (type == RTA_PRIORITY)
                r.metric = v;
            else if (type == RTA_GATEWAY)
                r.nextHops.push_back(v);
        });
        out.push_back(std::move(r));
    });
}

// The gateways of the kernel's IPv4 next-hop objects: a route that uses one
// may name only its number.
int readNextHopObjects(std::vector<uint32_t>& out)
{
    NlMessage msg(RTM_GETNEXTHOP, NLM_F_REQUEST | NLM_F_DUMP);
    nhmsg filter{};
    filter.nh_family = AF_INET;
    msg.Put(filter);
    const int rc = NlTransact(msg, [&out](const nlmsghdr* h) {
        if (h->nlmsg_type != RTM_NEWNEXTHOP || h->nlmsg_len < NLMSG_LENGTH(sizeof(nhmsg)))
            return;
        ForEachAttr<nhmsg>(h, [&out](unsigned type, const void* data, size_t len) {
            if (type == NHA_GATEWAY && len == 4) {
                uint32_t gw = 0;
                std::memcpy(&gw, data, 4);
                out.push_back(gw);
            }
        });
    });
    // A kernel without next-hop objects has none to use.
    return rc == EOPNOTSUPP || rc == EINVAL ? 0 : rc;
}

std::string routeText(const RouteEntry& r)
{
    return addressText(r.dst) + "/" + std::to_string(r.dstLen) + " in table " + tableName(r.table);
}

// The PC reaches every host behind a gateway through the gateway's entry;
// an entry or host route of ours for that address would send all of that
// traffic elsewhere, and a device given the address would break the
// network anyway.
int checkNotNextHop(uint32_t addr, const std::vector<RouteEntry>& routes, Reason& why)
{
    for (const RouteEntry& r : routes) {
        if (std::find(r.nextHops.begin(), r.nextHops.end(), addr) != r.nextHops.end()) {
            why = {reason::kNextHop, std::string(),
                   "address is the next hop of the route to " + routeText(r) + ": " + addressText(addr)};
            return kRefused;
        }
    }
    std::vector<uint32_t> objects;
    if (const int err = readNextHopObjects(objects))
        return err;
    if (std::find(objects.begin(), objects.end(), addr) != objects.end()) {
        why = {reason::kNextHop, std::string(), "address is the gateway of a next-hop object: " + addressText(addr)};
        return kRefused;
    }
    return 0;
}

struct InterfaceAddress
{
    uint32_t local = 0;
    uint32_t broadcast = 0; // as configured; 0 when none was
    uint8_t prefix = 0;
};

// The IPv4 addresses the system lists for the interface.
int interfaceAddresses(uint32_t ifindex, std::vector<InterfaceAddress>& out)
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
        if (ifa.ifa_family != AF_INET || ifa.ifa_index != ifindex)
            return;
        InterfaceAddress a;
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
            } else if (type == IFA_ADDRESS && !hasLocal) {
                std::memcpy(&a.local, data, 4);
            } else if (type == IFA_BROADCAST) {
                std::memcpy(&a.broadcast, data, 4);
            }
        });
        out.push_back(a);
    });
}

// An entry or route for the interface's own address, or for a network or
// broadcast address of its subnets, would take traffic from the PC itself
// or from a whole subnet.
int checkEntryAddress(uint32_t ifindex, uint32_t addr, Reason& why)
{
    std::vector<InterfaceAddress> addresses;
    if (const int err = interfaceAddresses(ifindex, addresses))
        return err;
    for (const InterfaceAddress& a : addresses) {
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
        if (what) {
            why = {kind, std::string(), std::string("address is ") + what + addressText(addr)};
            return kRefused;
        }
    }
    return 0;
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

std::string foreignHostRoute(const RouteEntry& r)
{
    return "the host route to " + addressText(r.dst) + " of protocol " + protocolName(r.protocol) + " and metric " +
        std::to_string(r.metric) + " in table " + tableName(r.table) + " was not made by vyn-netpriv: left as it is";
}

// Another's host route to dest, or the route the kernel takes to dest when
// it drops what is sent there: an address the administrator made
// unreachable stays so.
int checkRouteInTheWay(uint32_t dest, const std::vector<RouteEntry>& routes, Reason& why)
{
    if (const RouteEntry* r = anothersHostRoute(dest, routes)) {
        why = {reason::kHostRoute, std::string(), foreignHostRoute(*r)};
        return kNotOurs;
    }
    // The lookup fails with the error of such a route.
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
    if (dropping == std::end(kDropping))
        return 0;
    // Named by the most specific route of that type over dest.
    const RouteEntry* over = nullptr;
    for (const RouteEntry& r : routes) {
        if (r.type == dropping->type && (dest & prefixMask(r.dstLen)) == r.dst && (!over || r.dstLen > over->dstLen))
            over = &r;
    }
    why = {dropping->reasonKind, std::string(),
           std::string("the kernel's route to ") + addressText(dest) + " is the " + dropping->kind + " route" +
               (over ? " " + routeText(*over) : std::string()) + ", which vyn-netpriv leaves as it is"};
    return kNotOurs;
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
// went in between (create: exclusive; replace: not creating), and then read
// again. Only a learned entry made permanent by someone in that instant
// could still be replaced.
int AddOwnNeighbour(uint32_t ifindex, uint32_t addr, const uint8_t (&mac)[6], Reason& why)
{
    if (const int err = checkEntryAddress(ifindex, addr, why))
        return err;
    std::vector<RouteEntry> routes;
    if (const int err = readRoutes(routes))
        return err;
    if (const int err = checkNotNextHop(addr, routes, why))
        return err;
    for (int tries = kRaceTries; tries > 0; --tries) {
        NeighbourEntry entry;
        if (const int err = readNeighbour(ifindex, addr, entry))
            return err;
        if (const std::string kind = foreignKind(entry); !kind.empty()) {
            why = {neighbourReasonKind(entry), std::string(), foreignNeighbour(kind, addr)};
            return kNotOurs;
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
    NeighbourEntry entry;
    if (const int err = readNeighbour(ifindex, addr, entry))
        return err;
    if (!entry.present)
        return 0;
    if (const std::string kind = foreignKind(entry); !kind.empty()) {
        why = {neighbourReasonKind(entry), std::string(), foreignNeighbour(kind, addr)};
        return kNotOurs;
    }
    const int err = changeNeighbour(RTM_DELNEIGH, 0, ifindex, addr, nullptr, 0, 0, 0);
    return err == ENOENT ? 0 : err;
}

int AddOwnHostRoute(uint32_t dest, uint32_t ifindex, Reason& why)
{
    if (const int err = checkEntryAddress(ifindex, dest, why))
        return err;
    std::vector<RouteEntry> routes;
    if (const int err = readRoutes(routes))
        return err;
    if (const int err = checkNotNextHop(dest, routes, why))
        return err;
    if (const int err = checkRouteInTheWay(dest, routes, why))
        return err;
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
    if (const RouteEntry* r = anothersHostRoute(dest, routes)) {
        why = {reason::kHostRoute, std::string(), foreignHostRoute(*r)};
        return kNotOurs;
    }
    return 0;
}

int ArpProbe(uint32_t ifindex, const uint8_t (&ownMac)[6], uint32_t source, uint32_t dest, milliseconds wait,
             uint8_t (&mac)[6], bool& answered, Reason& why)
{
    answered = false;
    if (source != 0) {
        std::vector<InterfaceAddress> addresses;
        if (const int err = interfaceAddresses(ifindex, addresses))
            return err;
        if (std::none_of(addresses.begin(), addresses.end(),
                         [source](const InterfaceAddress& a) { return a.local == source; })) {
            why = {reason::kArgument, std::string(),
                   "source address is neither 0.0.0.0 nor an address of the interface: " + addressText(source)};
            return kRefused;
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
