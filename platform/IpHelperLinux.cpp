// The IP Helper interface on Linux: route netlink for the neighbour (ARP),
// address, link and route tables, and an ARP request on a packet socket.

#include "platform/IpHelper.h"
#include "platform/Posix.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// ARP probe timing. Setting an IP asks who holds a free address, which by
// definition nobody answers, so the silent case decides how long the
// operator waits. Four requests go out 100 ms apart (a lost request or
// reply costs one step, not a whole try) and the first reply ends the wait
// at once. After the last request we listen 250 ms more: every host that
// answers any request within 200 ms is heard, with 50 ms to spare for a
// busy bench. Silence is concluded 550 ms after the first request, against
// about three seconds of a classic resolver.
constexpr int kArpTries = 4;
constexpr milliseconds kArpRepeat{100};
constexpr milliseconds kArpLastWait{250};
constexpr milliseconds kKernelResolveWait{3500};
constexpr milliseconds kNeighbourPollPause{20};
constexpr uint16_t kDiscardPort = 9;

uint32_t codeFromErrno(int err)
{
    switch (err) {
    case EPERM:
    case EACCES:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
    case ENOBUFS:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
    case ENODEV:
    case EAFNOSUPPORT:
        return ERROR_INVALID_PARAMETER;
    case ENOENT:
    case ESRCH:
    case ENXIO:
        return ERROR_NOT_FOUND;
    case ENETUNREACH:
        return ERROR_NETWORK_UNREACHABLE;
    case EHOSTUNREACH:
        return ERROR_HOST_UNREACHABLE;
    default:
        return ERROR_ERRNO_FLAG | static_cast<uint32_t>(err);
    }
}

uint32_t failed(uint32_t code)
{
    SetLastError(code);
    return code;
}

// ------------------------------------------------------------ netlink

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

// One request or dump on a fresh route netlink socket (so every call sees the
// network namespace of the calling thread). Returns 0 or an errno.
int nlTransact(NlMessage& msg, const NlHandler& each)
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

// Walks the attributes following a message body of type Body.
template <class Body, class Fn>
void forEachAttr(const nlmsghdr* h, Fn fn)
{
    const auto* a = reinterpret_cast<const rtattr*>(static_cast<const char*>(NLMSG_DATA(h)) + NLMSG_ALIGN(sizeof(Body)));
    int len = static_cast<int>(h->nlmsg_len) - static_cast<int>(NLMSG_LENGTH(sizeof(Body)));
    for (; RTA_OK(a, len); a = RTA_NEXT(a, len))
        fn(a->rta_type, RTA_DATA(a), RTA_PAYLOAD(a));
}

template <class Body>
Body bodyOf(const nlmsghdr* h)
{
    Body b{};
    std::memcpy(&b, NLMSG_DATA(h), sizeof b);
    return b;
}

// A dump of one table; `each` gets the body of every reply and the message.
template <class Body, class Fn>
int dump(uint16_t request, uint16_t reply, const Body& filter, Fn each)
{
    NlMessage msg(request, NLM_F_REQUEST | NLM_F_DUMP);
    msg.Put(filter);
    return nlTransact(msg, [&](const nlmsghdr* h) {
        if (h->nlmsg_type == reply)
            each(bodyOf<Body>(h), h);
    });
}

uint32_t attrU32(const void* data, size_t len)
{
    uint32_t v = 0;
    std::memcpy(&v, data, std::min(len, sizeof v));
    return v;
}

struct Neighbour
{
    uint32_t ifindex = 0;
    uint32_t addr = 0;
    uint16_t state = 0;
    uint8_t lladdr[8] = {};
    uint32_t lllen = 0;
    // How long ago the entry was last confirmed, in clock ticks (1/100 s);
    // -1 when the kernel did not say.
    int64_t confirmedAge = -1;
};

constexpr int64_t kClockTickMs = 10;

int dumpNeighbours(std::vector<Neighbour>& out)
{
    ndmsg filter{};
    filter.ndm_family = AF_INET;
    return dump(RTM_GETNEIGH, RTM_NEWNEIGH, filter, [&out](const ndmsg& nd, const nlmsghdr* h) {
        if (nd.ndm_family != AF_INET)
            return;
        Neighbour n;
        bool hasDst = false;
        n.ifindex = static_cast<uint32_t>(nd.ndm_ifindex);
        n.state = nd.ndm_state;
        forEachAttr<ndmsg>(h, [&](unsigned type, const void* data, size_t len) {
            if (type == NDA_DST && len == 4) {
                n.addr = attrU32(data, len);
                hasDst = true;
            } else if (type == NDA_LLADDR) {
                n.lllen = static_cast<uint32_t>(std::min(len, sizeof n.lladdr));
                std::memcpy(n.lladdr, data, n.lllen);
            } else if (type == NDA_CACHEINFO && len >= sizeof(nda_cacheinfo)) {
                nda_cacheinfo ci{};
                std::memcpy(&ci, data, sizeof ci);
                n.confirmedAge = ci.ndm_confirmed;
            }
        });
        if (hasDst)
            out.push_back(n);
    });
}

struct Address
{
    uint32_t ifindex = 0;
    uint32_t addr = 0;
    uint8_t prefix = 0;
    bool secondary = false;
};

int dumpAddresses(std::vector<Address>& out)
{
    ifaddrmsg filter{};
    filter.ifa_family = AF_INET;
    return dump(RTM_GETADDR, RTM_NEWADDR, filter, [&out](const ifaddrmsg& ifa, const nlmsghdr* h) {
        if (ifa.ifa_family != AF_INET)
            return;
        Address a;
        a.ifindex = ifa.ifa_index;
        a.prefix = ifa.ifa_prefixlen;
        a.secondary = (ifa.ifa_flags & IFA_F_SECONDARY) != 0;
        bool hasLocal = false;
        forEachAttr<ifaddrmsg>(h, [&](unsigned type, const void* data, size_t len) {
            // IFA_LOCAL is this host's end; IFA_ADDRESS is the peer's on a
            // point-to-point link and equal to it elsewhere.
            if (type == IFA_LOCAL && len == 4) {
                a.addr = attrU32(data, len);
                hasLocal = true;
            } else if (type == IFA_ADDRESS && len == 4 && !hasLocal) {
                a.addr = attrU32(data, len);
            }
        });
        out.push_back(a);
    });
}

struct Link
{
    uint32_t ifindex = 0;
    uint32_t flags = 0;
    uint16_t type = 0;
    std::string name;
    std::string alias;
    uint8_t mac[8] = {};
    uint32_t maclen = 0;
};

int dumpLinks(std::vector<Link>& out)
{
    ifinfomsg filter{};
    filter.ifi_family = AF_UNSPEC;
    const int rc = dump(RTM_GETLINK, RTM_NEWLINK, filter, [&out](const ifinfomsg& ifi, const nlmsghdr* h) {
        Link l;
        l.ifindex = static_cast<uint32_t>(ifi.ifi_index);
        l.flags = ifi.ifi_flags;
        l.type = ifi.ifi_type;
        forEachAttr<ifinfomsg>(h, [&](unsigned type, const void* data, size_t len) {
            const auto* text = static_cast<const char*>(data);
            if (type == IFLA_IFNAME)
                l.name.assign(text, strnlen(text, len));
            else if (type == IFLA_IFALIAS)
                l.alias.assign(text, strnlen(text, len));
            else if (type == IFLA_ADDRESS) {
                l.maclen = static_cast<uint32_t>(std::min(len, sizeof l.mac));
                std::memcpy(l.mac, data, l.maclen);
            }
        });
        out.push_back(l);
    });
    std::sort(out.begin(), out.end(), [](const Link& a, const Link& b) { return a.ifindex < b.ifindex; });
    return rc;
}

struct Route
{
    uint32_t oif = 0;
    uint32_t prefsrc = 0;
    uint32_t gateway = 0;
    uint8_t type = 0;
};

int getRoute(uint32_t dest, Route& route)
{
    NlMessage msg(RTM_GETROUTE, NLM_F_REQUEST | NLM_F_ACK);
    rtmsg req{};
    req.rtm_family = AF_INET;
    req.rtm_dst_len = 32;
    msg.Put(req);
    msg.Attr(RTA_DST, &dest, sizeof dest);
    bool answered = false;
    const int rc = nlTransact(msg, [&](const nlmsghdr* h) {
        if (h->nlmsg_type != RTM_NEWROUTE)
            return;
        answered = true;
        route.type = bodyOf<rtmsg>(h).rtm_type;
        forEachAttr<rtmsg>(h, [&](unsigned type, const void* data, size_t len) {
            if (type == RTA_OIF)
                route.oif = attrU32(data, len);
            else if (type == RTA_PREFSRC)
                route.prefsrc = attrU32(data, len);
            else if (type == RTA_GATEWAY)
                route.gateway = attrU32(data, len);
        });
    });
    if (rc == 0 && !answered)
        return ENETUNREACH;
    return rc;
}

int changeHostRoute(uint16_t type, uint16_t flags, uint32_t dest, uint32_t ifindex)
{
    NlMessage msg(type, static_cast<uint16_t>(NLM_F_REQUEST | NLM_F_ACK | flags));
    rtmsg req{};
    req.rtm_family = AF_INET;
    req.rtm_dst_len = 32;
    req.rtm_table = RT_TABLE_MAIN;
    req.rtm_protocol = RTPROT_BOOT;
    req.rtm_scope = RT_SCOPE_LINK;
    req.rtm_type = RTN_UNICAST;
    msg.Put(req);
    msg.Attr(RTA_DST, &dest, sizeof dest);
    msg.Attr(RTA_OIF, &ifindex, sizeof ifindex);
    return nlTransact(msg, [](const nlmsghdr*) {});
}

// Both capabilities the static ARP way needs, in the calling thread's
// effective set (capabilities belong to threads).
bool hasNetCapabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const uint32_t net = (1u << CAP_NET_ADMIN) | (1u << CAP_NET_RAW);
    return (data[0].effective & net) == net;
}

int changeNeighbour(uint16_t type, uint16_t flags, const MIB_IPNETROW& row, uint16_t state)
{
    NlMessage msg(type, static_cast<uint16_t>(NLM_F_REQUEST | NLM_F_ACK | flags));
    ndmsg req{};
    req.ndm_family = AF_INET;
    req.ndm_ifindex = static_cast<int>(row.dwIndex);
    req.ndm_state = state;
    msg.Put(req);
    msg.Attr(NDA_DST, &row.dwAddr, sizeof row.dwAddr);
    if (type == RTM_NEWNEIGH)
        msg.Attr(NDA_LLADDR, row.bPhysAddr, row.dwPhysAddrLen);
    return nlTransact(msg, [](const nlmsghdr*) {});
}

// ------------------------------------------------------------ tables

uint32_t neighbourType(uint16_t state)
{
    if (state & NUD_PERMANENT)
        return MIB_IPNET_TYPE_STATIC;
    if (state & (NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE))
        return MIB_IPNET_TYPE_DYNAMIC;
    if (state & (NUD_FAILED | NUD_INCOMPLETE))
        return MIB_IPNET_TYPE_INVALID;
    return MIB_IPNET_TYPE_OTHER;
}

uint32_t hostOrder(uint32_t addr)
{
    return ntohl(addr);
}

uint32_t prefixMask(uint8_t prefix)
{
    return prefix == 0 ? 0 : htonl(prefix >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefix));
}

const Link* findLink(const std::vector<Link>& links, uint32_t ifindex)
{
    for (const Link& l : links) {
        if (l.ifindex == ifindex)
            return &l;
    }
    return nullptr;
}

// ------------------------------------------------------------ ARP request

constexpr uint32_t kNeedRawSocket = 0xFFFFFFFFu;

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

// An ARP request for `dest` from `source` on the interface, repeated until a
// reply comes. Returns 0, an error code, or kNeedRawSocket when this process
// may not send raw frames.
uint32_t rawArp(const Link& link, uint32_t source, uint32_t dest, uint8_t (&mac)[8], uint32_t& macLen)
{
    PacketFd fd;
    if (fd.get() < 0)
        return (errno == EPERM || errno == EACCES) ? kNeedRawSocket : codeFromErrno(errno);
    sockaddr_ll here{};
    here.sll_family = AF_PACKET;
    here.sll_protocol = htons(ETH_P_ARP);
    here.sll_ifindex = static_cast<int>(link.ifindex);
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&here), sizeof here) != 0)
        return codeFromErrno(errno);

    // Ethernet/IPv4 ARP request: hardware type 1, protocol 0x0800, lengths 6
    // and 4, operation 1, our MAC and address, an empty target MAC, target.
    uint8_t request[28] = {0, 1, 8, 0, 6, 4, 0, 1};
    std::memcpy(request + 8, link.mac, 6);
    std::memcpy(request + 14, &source, 4);
    std::memcpy(request + 24, &dest, 4);
    sockaddr_ll broadcast = here;
    broadcast.sll_halen = 6;
    std::memset(broadcast.sll_addr, 0xFF, 6);

    const auto first = Clock::now();
    for (int attempt = 0; attempt < kArpTries; ++attempt) {
        if (::sendto(fd.get(), request, sizeof request, 0, reinterpret_cast<sockaddr*>(&broadcast), sizeof broadcast) < 0)
            return codeFromErrno(errno);
        // Paced from the first request, so slow replies of others do not
        // stretch the schedule.
        const auto deadline = attempt + 1 < kArpTries ? first + kArpRepeat * (attempt + 1)
                                                      : first + kArpRepeat * attempt + kArpLastWait;
        for (;;) {
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                break;
            pollfd p{fd.get(), POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0)
                continue;
            uint8_t reply[64];
            const ssize_t n = ::recv(fd.get(), reply, sizeof reply, 0);
            if (n < 28)
                continue;
            const bool isReply = reply[0] == 0 && reply[1] == 1 && reply[2] == 8 && reply[3] == 0 &&
                reply[4] == 6 && reply[5] == 4 && reply[6] == 0 && reply[7] == 2;
            if (isReply && std::memcmp(reply + 14, &dest, 4) == 0) {
                std::memcpy(mac, reply + 8, 6);
                macLen = 6;
                return NO_ERROR;
            }
        }
    }
    return ERROR_BAD_NET_NAME;
}

// Without raw network access: make the kernel resolve the address by sending
// it an empty datagram (to the discard port) and read its neighbour table.
// Only an entry the kernel confirmed after that datagram went out counts: an
// older one (which this process may not delete) says nothing about who holds
// the address now.
uint32_t kernelResolve(uint32_t ifindex, uint32_t dest, uint8_t (&mac)[8], uint32_t& macLen)
{
    const auto sent = Clock::now();
    {
        UniqueFd s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        if (s.get() < 0)
            return codeFromErrno(errno);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(kDiscardPort);
        to.sin_addr.s_addr = dest;
        if (::sendto(s.get(), "", 0, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0 &&
            errno != EAGAIN)
            return codeFromErrno(errno);
    }
    const auto deadline = Clock::now() + kKernelResolveWait;
    while (Clock::now() < deadline) {
        std::vector<Neighbour> table;
        if (const int err = dumpNeighbours(table))
            return codeFromErrno(err);
        for (const Neighbour& n : table) {
            if (n.addr != dest || n.ifindex != ifindex)
                continue;
            if (n.state & NUD_FAILED)
                return ERROR_BAD_NET_NAME;
            const bool known = n.state & (NUD_REACHABLE | NUD_PERMANENT | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_NOARP);
            // The age is cut down to whole ticks, so it reads up to a tick
            // young. Demanding a whole tick of margin would refuse every
            // answer that came within 10 ms, the usual case on a LAN; one
            // confirmed at most a tick before our datagram is as fresh.
            const int64_t sinceSent =
                std::chrono::duration_cast<milliseconds>(Clock::now() - sent).count();
            const bool confirmedSince = n.confirmedAge >= 0 && n.confirmedAge * kClockTickMs <= sinceSent;
            if (known && confirmedSince && n.lllen > 0) {
                std::memcpy(mac, n.lladdr, n.lllen);
                macLen = n.lllen;
                return NO_ERROR;
            }
        }
        std::this_thread::sleep_for(kNeighbourPollPause);
    }
    return ERROR_BAD_NET_NAME;
}

// ------------------------------------------------------------ the interface

class LinuxIpHelper final : public IpHelper
{
public:
    uint32_t GetIpNetTable(void* table, uint32_t* size, bool order) override
    {
        std::vector<Neighbour> neighbours;
        if (const int err = dumpNeighbours(neighbours))
            return failed(codeFromErrno(err));
        std::vector<MIB_IPNETROW> rows;
        for (const Neighbour& n : neighbours) {
            MIB_IPNETROW r{};
            r.dwIndex = n.ifindex;
            r.dwPhysAddrLen = n.lllen;
            std::memcpy(r.bPhysAddr, n.lladdr, sizeof r.bPhysAddr);
            r.dwAddr = n.addr;
            r.dwType = neighbourType(n.state);
            rows.push_back(r);
        }
        if (rows.empty())
            return ERROR_NO_DATA;
        if (order) {
            std::stable_sort(rows.begin(), rows.end(), [](const MIB_IPNETROW& a, const MIB_IPNETROW& b) {
                return hostOrder(a.dwAddr) != hostOrder(b.dwAddr) ? hostOrder(a.dwAddr) < hostOrder(b.dwAddr)
                                                                  : a.dwIndex < b.dwIndex;
            });
        }
        return WriteTable(rows, table, size);
    }

    uint32_t GetIpAddrTable(void* table, uint32_t* size, bool order) override
    {
        std::vector<Address> addresses;
        if (const int err = dumpAddresses(addresses))
            return failed(codeFromErrno(err));
        std::vector<MIB_IPADDRROW> rows;
        for (const Address& a : addresses) {
            MIB_IPADDRROW r{};
            r.dwAddr = a.addr;
            r.dwIndex = a.ifindex;
            r.dwMask = prefixMask(a.prefix);
            r.dwBCastAddr = a.addr | ~r.dwMask;
            r.dwReasmSize = 65535;
            r.wType = a.secondary ? 0 : 1;
            rows.push_back(r);
        }
        if (rows.empty())
            return ERROR_NO_DATA;
        if (order) {
            std::stable_sort(rows.begin(), rows.end(), [](const MIB_IPADDRROW& a, const MIB_IPADDRROW& b) {
                return hostOrder(a.dwAddr) < hostOrder(b.dwAddr);
            });
        }
        return WriteTable(rows, table, size);
    }

    uint32_t GetInterfaceInfo(void* table, uint32_t* size) override
    {
        std::vector<Link> links;
        if (const int err = dumpLinks(links))
            return failed(codeFromErrno(err));
        std::vector<IP_ADAPTER_INDEX_MAP> rows;
        for (const Link& l : adaptersOf(links)) {
            IP_ADAPTER_INDEX_MAP m{};
            m.Index = l.ifindex;
            const QString name = QString::fromStdString(l.name).left(127);
            std::memcpy(m.Name, name.utf16(), static_cast<size_t>(name.size()) * sizeof(char16_t));
            rows.push_back(m);
        }
        if (rows.empty()) {
            if (size)
                *size = 0;
            return NO_ERROR;
        }
        return WriteTable(rows, table, size);
    }

    uint32_t GetAdaptersInfo(void* info, uint32_t* size) override
    {
        std::vector<Link> links;
        std::vector<Address> addresses;
        if (const int err = dumpLinks(links))
            return failed(codeFromErrno(err));
        if (const int err = dumpAddresses(addresses))
            return failed(codeFromErrno(err));
        std::vector<AdapterEntry> adapters;
        for (const Link& l : adaptersOf(links)) {
            AdapterEntry e;
            e.Index = l.ifindex;
            e.Type = l.type == ARPHRD_ETHER ? 6 : 1;
            e.Name = l.name;
            e.Description = l.alias.empty() ? l.name : l.alias;
            std::memcpy(e.Mac, l.mac, sizeof e.Mac);
            e.MacLength = l.maclen;
            for (const Address& a : addresses) {
                if (a.ifindex == l.ifindex)
                    e.Addresses.emplace_back(a.addr, prefixMask(a.prefix));
            }
            adapters.push_back(std::move(e));
        }
        return WriteAdaptersInfo(adapters, info, size);
    }

    uint32_t CreateIpNetEntry(const MIB_IPNETROW& row) override
    {
        uint16_t state;
        if (row.dwType == MIB_IPNET_TYPE_STATIC)
            state = NUD_PERMANENT;
        else if (row.dwType == MIB_IPNET_TYPE_DYNAMIC)
            state = NUD_REACHABLE;
        else
            return failed(ERROR_INVALID_PARAMETER);
        if (row.dwPhysAddrLen == 0 || row.dwPhysAddrLen > sizeof row.bPhysAddr)
            return failed(ERROR_INVALID_PARAMETER);
        if (const int err = changeNeighbour(RTM_NEWNEIGH, NLM_F_CREATE | NLM_F_REPLACE, row, state))
            return failed(codeFromErrno(err));
        return NO_ERROR;
    }

    uint32_t DeleteIpNetEntry(const MIB_IPNETROW& row) override
    {
        // An entry that is already gone is what the caller wanted: callers
        // delete by rows read earlier, and one row may have gone with another.
        const int err = changeNeighbour(RTM_DELNEIGH, 0, row, 0);
        if (err != 0 && err != ENOENT)
            return failed(codeFromErrno(err));
        return NO_ERROR;
    }

    uint32_t GetBestInterface(uint32_t destAddr, uint32_t* index) override
    {
        if (!index)
            return failed(ERROR_INVALID_PARAMETER);
        Route route;
        if (const int err = getRoute(destAddr, route))
            return failed(codeFromErrno(err));
        *index = route.oif;
        return NO_ERROR;
    }

    uint32_t SendARP(uint32_t destIP, uint32_t srcIP, void* mac, uint32_t* length) override
    {
        if (!mac || !length || *length == 0)
            return failed(ERROR_INVALID_PARAMETER);
        Route route;
        if (const int err = getRoute(destIP, route))
            return failed(codeFromErrno(err));
        std::vector<Link> links;
        std::vector<Address> addresses;
        if (const int err = dumpLinks(links))
            return failed(codeFromErrno(err));
        if (const int err = dumpAddresses(addresses))
            return failed(codeFromErrno(err));

        uint8_t found[8] = {};
        uint32_t foundLen = 0;
        if (route.type == RTN_LOCAL) {
            // One of our own addresses: the answer is our own adapter's MAC.
            const Link* link = nullptr;
            for (const Address& a : addresses) {
                if (a.addr == destIP)
                    link = findLink(links, a.ifindex);
            }
            if (!link)
                return failed(ERROR_BAD_NET_NAME);
            foundLen = link->maclen;
            std::memcpy(found, link->mac, sizeof found);
        } else {
            const Link* link = findLink(links, route.oif);
            if (!link || link->type != ARPHRD_ETHER || link->maclen != 6)
                return failed(ERROR_INVALID_PARAMETER);
            uint32_t source = srcIP ? srcIP : route.prefsrc;
            for (const Address& a : addresses) {
                if (source == 0 && a.ifindex == route.oif)
                    source = a.addr;
            }
            uint32_t rc = rawArp(*link, source, destIP, found, foundLen);
            if (rc == kNeedRawSocket) {
                // The kernel resolves only hosts on the link itself; a host
                // behind a gateway can be asked with a raw request alone.
                rc = route.gateway != 0 ? ERROR_PRIVILEGE_NOT_HELD
                                        : kernelResolve(route.oif, destIP, found, foundLen);
            }
            if (rc != NO_ERROR)
                return failed(rc);
        }
        const uint32_t n = std::min(*length, foundLen);
        std::memcpy(mac, found, n);
        *length = n;
        return NO_ERROR;
    }

    uint32_t GetBestRoute(uint32_t destAddr, uint32_t* index, uint32_t* nextHop) override
    {
        if (!index || !nextHop)
            return failed(ERROR_INVALID_PARAMETER);
        Route route;
        if (const int err = getRoute(destAddr, route))
            return failed(codeFromErrno(err));
        if (route.type != RTN_UNICAST && route.type != RTN_LOCAL)
            return failed(ERROR_NETWORK_UNREACHABLE);
        *index = route.oif;
        *nextHop = route.gateway;
        return NO_ERROR;
    }

    uint32_t CreateHostRoute(uint32_t destAddr, uint32_t index) override
    {
        if (const int err = changeHostRoute(RTM_NEWROUTE, NLM_F_CREATE | NLM_F_EXCL, destAddr, index))
            return failed(codeFromErrno(err));
        return NO_ERROR;
    }

    uint32_t DeleteHostRoute(uint32_t destAddr, uint32_t index) override
    {
        const int err = changeHostRoute(RTM_DELROUTE, 0, destAddr, index);
        if (err != 0 && err != ESRCH && err != ENOENT)
            return failed(codeFromErrno(err));
        return NO_ERROR;
    }

    bool HasNetworkRights() override { return hasNetCapabilities(); }

private:
    // Network adapters are the interfaces other than loopback.
    static std::vector<Link> adaptersOf(const std::vector<Link>& links)
    {
        std::vector<Link> out;
        for (const Link& l : links) {
            if ((l.flags & IFF_LOOPBACK) == 0)
                out.push_back(l);
        }
        return out;
    }
};

} // namespace

std::unique_ptr<IpHelper> OpenIpHelper()
{
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) {
        SetLastError(codeFromErrno(errno));
        return nullptr;
    }
    ::close(fd);
    return std::make_unique<LinuxIpHelper>();
}

} // namespace platform
