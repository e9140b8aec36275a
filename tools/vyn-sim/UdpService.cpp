#include "UdpService.h"

#include "Log.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

namespace vynsim {

namespace {

std::string HeaderText(const Bytes& d)
{
    return "hdr " + HexText(d.data(), std::min<size_t>(d.size(), 4), " ") + " len "
           + std::to_string(d.size());
}

} // namespace

void AllowAnySource(int fd)
{
    const int one = 1;
    if (setsockopt(fd, SOL_IP, IP_TRANSPARENT, &one, sizeof one) != 0)
        Log::Info(std::string("warning: IP_TRANSPARENT: ") + std::strerror(errno)
                  + "; answers can only leave from the present address");
}

UdpService::UdpService(EventLoop& loop, Device& device, MoveHandler onMove,
                       std::function<void()> afterSet)
    : m_loop(loop), m_device(device), m_onMove(std::move(onMove)), m_afterSet(std::move(afterSet)),
      m_socket(BoundSocket(SOCK_DGRAM, device.Settings().port))
{
    const int one = 1;
    setsockopt(m_socket.Get(), SOL_IP, IP_PKTINFO, &one, sizeof one);
    AllowAnySource(m_socket.Get());
    m_loop.Watch(m_socket.Get(), POLLIN, [this] { OnReadable(); });
}

void UdpService::OnReadable()
{
    for (;;) {
        uint8_t buf[2048];
        alignas(cmsghdr) char control[256];
        sockaddr_in from{};
        iovec iov{buf, sizeof buf};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = recvmsg(m_socket.Get(), &msg, 0);
        if (n < 0)
            return; // EAGAIN: all read
        Ip4 destination = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
            if (c->cmsg_level == SOL_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                destination = info.ipi_addr.s_addr;
            }
        const Bytes datagram(buf, buf + n);
        ++m_stats.received;
        Log::Wire("udp rx " + PeerText(from) + " -> " + IpText(destination) + ":"
                  + std::to_string(m_device.Settings().port) + " " + HeaderText(datagram));

        if (m_device.Settings().faults.silent) {
            Log::Wire("  silent: not answered");
            continue;
        }
        const Destination kind = m_device.Classify(destination);
        // Answers leave from the address they were asked at, also from the
        // one a set-IP record was sent to before the device has taken it
        // (a PC whose socket is connected to that address takes nothing else).
        const Ip4 source = kind == Destination::Broadcast ? m_device.Net().ip : destination;
        const Reaction r = m_device.Handle(datagram, kind);
        if (!r.note.empty())
            Log::Info("  " + r.note);
        // A set takes effect before it is acknowledged, so that whoever
        // reads the acknowledgement finds the device in its new state.
        if (r.answer && FindCode(datagram[3]).kind == Kind::Set)
            m_afterSet();
        if (r.answer)
            Reply(*r.answer, from, source);
        if (r.move)
            m_onMove(*r.move);
    }
}

void UdpService::Reply(Bytes answer, const sockaddr_in& to, Ip4 source)
{
    Faults& f = m_device.Settings().faults;
    if (f.dropFirst > 0) {
        --f.dropFirst;
        ++m_stats.dropped;
        Log::Wire("  answer lost on purpose, " + std::to_string(f.dropFirst) + " more to lose");
        return;
    }
    if (f.malformed)
        answer[3] = 0x5A;
    if (f.shortAnswers > 0 && answer.size() > static_cast<size_t>(f.shortAnswers))
        answer.resize(static_cast<size_t>(f.shortAnswers));
    if (f.answerFromIp)
        source = *f.answerFromIp;
    const int copies = f.twice ? 2 : 1;
    if (f.delayMs > 0) {
        for (int i = 0; i < copies; ++i)
            m_loop.After(f.delayMs, [this, answer, to, source] { Emit(answer, to, source); });
    } else {
        for (int i = 0; i < copies; ++i)
            Emit(answer, to, source);
    }
}

int UdpService::SendingSocket()
{
    const auto& port = m_device.Settings().faults.answerFromPort;
    if (!port)
        return m_socket.Get();
    if (m_other.Get() < 0 || m_otherPort != *port) {
        try {
            m_other = BoundSocket(SOCK_DGRAM, *port);
            m_otherPort = *port;
            AllowAnySource(m_other.Get());
        } catch (const std::exception& e) {
            Log::Info(std::string("error: ") + e.what() + "; answering from the protocol port");
            m_other.Reset();
            return m_socket.Get();
        }
    }
    return m_other.Get();
}

void UdpService::Emit(const Bytes& answer, const sockaddr_in& to, Ip4 source)
{
    const int fd = SendingSocket();
    iovec iov{const_cast<uint8_t*>(answer.data()), answer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr msg{};
    msg.msg_name = const_cast<sockaddr_in*>(&to);
    msg.msg_namelen = sizeof to;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst.s_addr = source;
    std::memcpy(CMSG_DATA(c), &info, sizeof info);

    sockaddr_in local{};
    socklen_t len = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len);
    const std::string line = "udp tx " + IpText(source) + ":" + std::to_string(ntohs(local.sin_port))
                             + " -> " + PeerText(to) + " " + HeaderText(answer);
    if (sendmsg(fd, &msg, 0) < 0) {
        Log::Info(line + " failed: " + std::strerror(errno));
        return;
    }
    ++m_stats.sent;
    Log::Wire(line);
}

} // namespace vynsim
