#include "platform/NetPrivileged.h"
#include "platform/HexDigit.h"
#include "platform/UniqueFd.h"

#include <arpa/inet.h>
#include <linux/capability.h>
#include <linux/if_packet.h>
#include <linux/neighbour.h>
#include <net/ethernet.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

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

int changeNeighbour(uint16_t type, uint16_t flags, uint32_t ifindex, uint32_t addr, const uint8_t* mac,
                    uint32_t macLen, uint16_t state)
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
    return NlTransact(msg, [](const nlmsghdr*) {});
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
    return NlTransact(msg, [](const nlmsghdr*) {});
}

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
    return changeNeighbour(RTM_NEWNEIGH, NLM_F_CREATE | NLM_F_REPLACE, ifindex, addr, mac, macLen, state);
}

int RemoveNeighbour(uint32_t ifindex, uint32_t addr)
{
    return changeNeighbour(RTM_DELNEIGH, 0, ifindex, addr, nullptr, 0, 0);
}

int AddHostRoute(uint32_t dest, uint32_t ifindex)
{
    return changeHostRoute(RTM_NEWROUTE, NLM_F_CREATE | NLM_F_EXCL, dest, ifindex);
}

int RemoveHostRoute(uint32_t dest, uint32_t ifindex)
{
    return changeHostRoute(RTM_DELROUTE, 0, dest, ifindex);
}

int ArpProbe(uint32_t ifindex, const uint8_t (&ownMac)[6], uint32_t source, uint32_t dest, milliseconds wait,
             uint8_t (&mac)[6], bool& answered)
{
    answered = false;
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
            const ssize_t n = ::recvfrom(fd.get(), reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
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
