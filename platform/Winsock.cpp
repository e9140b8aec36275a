#include "platform/Winsock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <vector>

namespace winsock {

namespace {

thread_local int t_lastError = 0;

struct ErrnoCode
{
    int err;
    int code;
};

// EINPROGRESS is what a non-blocking connect gives here; Winsock reports the
// same situation as would-block. EPIPE is a send after shutdown.
constexpr ErrnoCode kErrnoCodes[] = {
    {EINTR, WSAEINTR},
    {EACCES, WSAEACCES},
    {EPERM, WSAEACCES},
    {EFAULT, WSAEFAULT},
    {EINVAL, WSAEINVAL},
    {EMFILE, WSAEMFILE},
    {ENFILE, WSAEMFILE},
    {EAGAIN, WSAEWOULDBLOCK},
    {EINPROGRESS, WSAEWOULDBLOCK},
    {EALREADY, WSAEALREADY},
    {ENOTSOCK, WSAENOTSOCK},
    {EBADF, WSAENOTSOCK},
    {EDESTADDRREQ, WSAEDESTADDRREQ},
    {EMSGSIZE, WSAEMSGSIZE},
    {EPROTOTYPE, WSAEPROTOTYPE},
    {ENOPROTOOPT, WSAENOPROTOOPT},
    {EPROTONOSUPPORT, WSAEPROTONOSUPPORT},
    {ESOCKTNOSUPPORT, WSAESOCKTNOSUPPORT},
    {EOPNOTSUPP, WSAEOPNOTSUPP},
    {EPFNOSUPPORT, WSAEPFNOSUPPORT},
    {EAFNOSUPPORT, WSAEAFNOSUPPORT},
    {EADDRINUSE, WSAEADDRINUSE},
    {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
    {ENETDOWN, WSAENETDOWN},
    {ENETUNREACH, WSAENETUNREACH},
    {ENETRESET, WSAENETRESET},
    {ECONNABORTED, WSAECONNABORTED},
    {ECONNRESET, WSAECONNRESET},
    {ENOBUFS, WSAENOBUFS},
    {ENOMEM, WSAENOBUFS},
    {EISCONN, WSAEISCONN},
    {ENOTCONN, WSAENOTCONN},
    {ESHUTDOWN, WSAESHUTDOWN},
    {EPIPE, WSAESHUTDOWN},
    {ETIMEDOUT, WSAETIMEDOUT},
    {ECONNREFUSED, WSAECONNREFUSED},
    {ENAMETOOLONG, WSAENAMETOOLONG},
    {EHOSTDOWN, WSAEHOSTDOWN},
    {EHOSTUNREACH, WSAEHOSTUNREACH},
};

bool isDatagram(SOCKET s)
{
    int type = 0;
    socklen_t len = sizeof type;
    return ::getsockopt(s, SOL_SOCKET, SO_TYPE, &type, &len) == 0 && type == SOCK_DGRAM;
}

// Records the failure of a call on socket `s` (or on no socket, s < 0).
int fail(SOCKET s, int err)
{
    WSASetLastError(WinsockErrorFromErrno(err, s >= 0 && err == ECONNREFUSED && isDatagram(s)));
    return SOCKET_ERROR;
}

sockaddr_in makeAddress(uint32_t addr, uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = addr;
    a.sin_port = htons(port);
    return a;
}

// The address the socket is bound to (0: any, or not bound).
uint32_t boundAddress(SOCKET s)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0 || a.sin_family != AF_INET)
        return 0;
    return a.sin_addr.s_addr;
}

struct BroadcastPath
{
    unsigned ifindex;
    uint32_t source;
};

// Every up, broadcast-capable IPv4 interface once, with its first address;
// only the one holding `bound` when the socket is bound to an address.
std::vector<BroadcastPath> broadcastPaths(uint32_t bound)
{
    std::vector<BroadcastPath> paths;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return paths;
    for (const ifaddrs* ifa = list; ifa; ifa = ifa->ifa_next) {
        if (!ifa->ifa_addr || ifa->ifa_addr->sa_family != AF_INET)
            continue;
        if ((ifa->ifa_flags & (IFF_UP | IFF_BROADCAST)) != (IFF_UP | IFF_BROADCAST) ||
            (ifa->ifa_flags & IFF_LOOPBACK) != 0)
            continue;
        const uint32_t addr = reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr)->sin_addr.s_addr;
        if (bound != 0 && addr != bound)
            continue;
        const unsigned index = ::if_nametoindex(ifa->ifa_name);
        if (index == 0)
            continue;
        bool known = false;
        for (const BroadcastPath& p : paths)
            known = known || p.ifindex == index;
        if (!known)
            paths.push_back({index, addr});
    }
    ::freeifaddrs(list);
    return paths;
}

// Linux keeps no limited-broadcast route of its own: a PC without a default
// route could not broadcast at all, and one with a default route would reach
// only the network behind it. So the datagram leaves through each interface
// by name; failures count only when no interface took it.
int sendBroadcast(SOCKET s, const QByteArray& data, uint16_t port)
{
    const std::vector<BroadcastPath> paths = broadcastPaths(boundAddress(s));
    if (paths.empty())
        return fail(s, ENETUNREACH);
    sockaddr_in to = makeAddress(INADDR_BROADCAST, port);
    int sent = -1;
    int lastError = ENETUNREACH;
    for (const BroadcastPath& p : paths) {
        iovec iov{const_cast<char*>(data.constData()), static_cast<size_t>(data.size())};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr msg{};
        msg.msg_name = &to;
        msg.msg_namelen = sizeof to;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = static_cast<int>(p.ifindex);
        info.ipi_spec_dst.s_addr = p.source;
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
        const ssize_t n = ::sendmsg(s, &msg, MSG_NOSIGNAL);
        if (n >= 0)
            sent = static_cast<int>(n);
        else
            lastError = errno;
    }
    return sent >= 0 ? sent : fail(s, lastError);
}

} // namespace

int WinsockErrorFromErrno(int err, bool datagram)
{
    if (err == ECONNREFUSED && datagram)
        return WSAECONNRESET;
    for (const ErrnoCode& e : kErrnoCodes) {
        if (e.err == err)
            return e.code;
    }
    return err;
}

int WSAGetLastError()
{
    return t_lastError;
}

void WSASetLastError(int code)
{
    t_lastError = code;
}

uint32_t inet_addr(const QString& text)
{
    return ::inet_addr(text.toLatin1().constData());
}

SOCKET socket(int af, int type, int protocol)
{
    int fd = ::socket(af, type | SOCK_CLOEXEC, protocol);
    if (fd < 0)
        return fail(-1, errno);
    if (fd < 3) {
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        const int err = errno;
        ::close(fd);
        if (moved < 0)
            return fail(-1, err);
        fd = moved;
    }
    return fd;
}

int closesocket(SOCKET s)
{
    return ::close(s) == 0 ? 0 : fail(-1, errno);
}

int SetNonBlocking(SOCKET s, bool on)
{
    const int flags = ::fcntl(s, F_GETFL);
    if (flags < 0)
        return fail(-1, errno);
    if (::fcntl(s, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) != 0)
        return fail(-1, errno);
    return 0;
}

int setsockopt(SOCKET s, int level, int name, int value)
{
    return ::setsockopt(s, level, name, &value, sizeof value) == 0 ? 0 : fail(s, errno);
}

int bind(SOCKET s, uint32_t addr, uint16_t port)
{
    const sockaddr_in a = makeAddress(addr, port);
    return ::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 ? 0 : fail(s, errno);
}

int connect(SOCKET s, uint32_t addr, uint16_t port)
{
    // Here the any-address would silently mean this host.
    if (addr == 0) {
        WSASetLastError(WSAEADDRNOTAVAIL);
        return SOCKET_ERROR;
    }
    const sockaddr_in a = makeAddress(addr, port);
    return ::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0 ? 0 : fail(s, errno);
}

int send(SOCKET s, const QByteArray& data)
{
    const ssize_t n = ::send(s, data.constData(), static_cast<size_t>(data.size()), MSG_NOSIGNAL);
    return n >= 0 ? static_cast<int>(n) : fail(s, errno);
}

int sendto(SOCKET s, const QByteArray& data, uint32_t addr, uint16_t port)
{
    if (addr == 0) {
        WSASetLastError(WSAEADDRNOTAVAIL);
        return SOCKET_ERROR;
    }
    if (addr == INADDR_BROADCAST)
        return sendBroadcast(s, data, port);
    const sockaddr_in a = makeAddress(addr, port);
    const ssize_t n = ::sendto(s, data.constData(), static_cast<size_t>(data.size()), MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&a), sizeof a);
    return n >= 0 ? static_cast<int>(n) : fail(s, errno);
}

int recvfrom(SOCKET s, QByteArray& buffer, uint32_t& fromAddr, uint16_t& fromPort)
{
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(s, buffer.data(), static_cast<size_t>(buffer.size()), 0,
                                 reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0)
        return fail(s, errno);
    fromAddr = from.sin_addr.s_addr;
    fromPort = ntohs(from.sin_port);
    return static_cast<int>(n);
}

bool WaitReadable(SOCKET s, int timeoutMs)
{
    pollfd p{s, POLLIN, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
    } while (rc < 0 && errno == EINTR);
    return rc > 0 && (p.revents & POLLIN) != 0;
}

uint32_t gethostbyname(const QString& name)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    const QByteArray host = name.toUtf8();
    if (host.isEmpty() || ::getaddrinfo(host.constData(), nullptr, &hints, &list) != 0 || !list)
        return 0;
    uint32_t addr = 0;
    for (const addrinfo* ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addr) {
            addr = reinterpret_cast<const sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
            break;
        }
    }
    ::freeaddrinfo(list);
    return addr;
}

} // namespace winsock
