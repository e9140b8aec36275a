#include "support/CrowdResponder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <stdexcept>

namespace {

constexpr size_t AnswerSize = 30; // a search answer: header, firmware, serial, MAC
constexpr size_t MacOffset = 24;

sockaddr_in Address(uint32_t hostOrder, uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(hostOrder);
    a.sin_port = htons(port);
    return a;
}

int Socket(const char* what)
{
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        throw std::runtime_error(std::string("crowd responder: ") + what + ": " + std::strerror(errno));
    return s;
}

void Check(int rc, int fd, const char* what)
{
    if (rc == 0)
        return;
    const std::string error = std::strerror(errno);
    close(fd);
    throw std::runtime_error(std::string("crowd responder: ") + what + ": " + error);
}

} // namespace

CrowdResponder::CrowdResponder(const NetBench& bench, int count, const std::string& firstAddress, uint16_t port)
    : m_count(count), m_port(port)
{
    in_addr first{};
    if (inet_pton(AF_INET, firstAddress.c_str(), &first) != 1)
        throw std::runtime_error("crowd responder: bad address " + firstAddress);
    m_first = ntohl(first.s_addr);

    // Sockets keep the namespace they are made in.
    NetBench::Entered dev(bench.DevNamespace());
    const int one = 1;
    // Bound to the broadcast address, this socket shares the port with the
    // simulated device (which allows that) but never sees its unicast.
    m_listen = Socket("listen socket");
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const sockaddr_in broadcast = Address(INADDR_BROADCAST, port);
    Check(bind(m_listen, reinterpret_cast<const sockaddr*>(&broadcast), sizeof broadcast), m_listen,
          "bind to 255.255.255.255");

    // Answers leave from the crowd's own addresses, which the namespace does
    // not have: a transparent socket may send from any source.
    m_send = Socket("send socket");
    setsockopt(m_send, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (setsockopt(m_send, SOL_IP, IP_TRANSPARENT, &one, sizeof one) != 0) {
        close(m_listen);
        Check(-1, m_send, "IP_TRANSPARENT");
    }
    const sockaddr_in own = Address(m_first, port);
    if (bind(m_send, reinterpret_cast<const sockaddr*>(&own), sizeof own) != 0) {
        close(m_listen);
        Check(-1, m_send, "bind the crowd's address");
    }

    if (pipe2(m_stop, O_CLOEXEC) != 0) {
        close(m_listen);
        Check(-1, m_send, "pipe");
    }
    m_thread = std::thread([this] { Run(); });
}

CrowdResponder::~CrowdResponder()
{
    const char byte = 0;
    (void)!write(m_stop[1], &byte, 1);
    m_thread.join();
    for (int fd : {m_listen, m_send, m_stop[0], m_stop[1]})
        close(fd);
}

void CrowdResponder::Run()
{
    std::array<pollfd, 2> fds{{{m_listen, POLLIN, 0}, {m_stop[0], POLLIN, 0}}};
    std::array<uint8_t, 1500> buffer{};
    for (;;) {
        if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n =
            recvfrom(m_listen, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n == 4 && buffer[0] == 0 && buffer[1] == 0 && buffer[2] == 0 && buffer[3] == 0xF6) {
            Answer(ntohl(from.sin_addr.s_addr), ntohs(from.sin_port));
            ++m_bursts;
        }
    }
}

void CrowdResponder::Answer(uint32_t toAddress, uint16_t toPort)
{
    const sockaddr_in to = Address(toAddress, toPort);
    for (int i = 1; i <= m_count; ++i) {
        std::array<uint8_t, AnswerSize> answer{};
        answer[3] = 0xF7;
        const uint8_t mac[6] = {0x02, 0x63, 0x72, 0x00, uint8_t(i >> 8), uint8_t(i)};
        std::memcpy(answer.data() + MacOffset, mac, sizeof mac);

        iovec iov{answer.data(), answer.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr message{};
        message.msg_name = const_cast<sockaddr_in*>(&to);
        message.msg_namelen = sizeof to;
        message.msg_iov = &iov;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = SOL_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst.s_addr = htonl(m_first + uint32_t(i - 1));
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
        if (sendmsg(m_send, &message, 0) != ssize_t(answer.size()))
            ++m_sendFailures;
    }
}
