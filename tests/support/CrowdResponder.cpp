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

// A datagram socket sharing the port with the simulated device (which allows
// that), bound to an address; -1 when that fails.
int BoundSocket(uint32_t hostOrder, uint16_t port, bool transparent)
{
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    const sockaddr_in a = Address(hostOrder, port);
    if (s < 0 || setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0
        || (transparent && setsockopt(s, SOL_IP, IP_TRANSPARENT, &one, sizeof one) != 0)
        || bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        if (s >= 0)
            close(s);
        return -1;
    }
    return s;
}

} // namespace

CrowdResponder::CrowdResponder(const NetBench& bench, int count, const std::string& firstAddress, uint16_t port)
{
    in_addr first{};
    if (inet_pton(AF_INET, firstAddress.c_str(), &first) != 1)
        throw std::runtime_error("crowd responder: bad address " + firstAddress);
    const uint32_t firstHost = ntohl(first.s_addr);
    const auto fail = [this](const std::string& what) {
        const std::string error = std::strerror(errno);
        CloseAll();
        throw std::runtime_error("crowd responder: " + what + ": " + error);
    };

    // Sockets keep the namespace they are made in.
    NetBench::Entered dev(bench.DevNamespace());
    // Bound to the broadcast address it never sees the device's unicast.
    m_listen = BoundSocket(INADDR_BROADCAST, port, false);
    if (m_listen < 0)
        fail("bind to 255.255.255.255");
    // Each device answers from its own address, which the namespace does not
    // have: a transparent socket may be bound to any.
    for (int i = 0; i < count; ++i) {
        const int s = BoundSocket(firstHost + uint32_t(i), port, true);
        if (s < 0)
            fail("bind a device's own address");
        m_send.push_back(s);
    }
    if (pipe2(m_stop, O_CLOEXEC) != 0)
        fail("pipe");
    m_thread = std::thread([this] { Run(); });
}

CrowdResponder::~CrowdResponder()
{
    const char byte = 0;
    (void)!write(m_stop[1], &byte, 1);
    m_thread.join();
    CloseAll();
}

void CrowdResponder::CloseAll()
{
    for (int fd : m_send)
        close(fd);
    for (int fd : {m_listen, m_stop[0], m_stop[1]})
        if (fd >= 0)
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
            Answer(from);
            ++m_bursts;
        }
    }
}

void CrowdResponder::Answer(const sockaddr_in& to)
{
    for (size_t i = 0; i < m_send.size(); ++i) {
        const unsigned number = unsigned(i) + 1;
        std::array<uint8_t, AnswerSize> answer{};
        answer[3] = 0xF7;
        const uint8_t mac[6] = {0x02, 0x63, 0x72, 0x00, uint8_t(number >> 8), uint8_t(number)};
        std::memcpy(answer.data() + MacOffset, mac, sizeof mac);
        if (sendto(m_send[i], answer.data(), answer.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to)
            != ssize_t(answer.size()))
            ++m_sendFailures;
    }
}
