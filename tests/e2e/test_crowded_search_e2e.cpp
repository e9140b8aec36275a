// A search by MAC on a crowded segment: 200 other devices answer every
// broadcast search in one burst while the PC is busy for a moment, as a
// loaded PC is. On a quiet PC the receiving side keeps up and hides a
// receive buffer too small for the burst.

#include "link/ConversationTestKit.h"
#include "support/QStringPrint.h"
#include "support/SimDevice.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Other devices on the segment, in the bench's device namespace: every
// broadcast search query (00 00 00 F6) is answered at once, in one burst, by
// each of them from an address of its own (10.213.0.10 upwards) with the MAC
// 02-63-72-00-hi-lo (device 1 upwards). The simulated device on the same
// port answers as before; unicast to it is left alone.
class Crowd
{
public:
    Crowd(const NetBench& bench, int count)
    {
        NetBench::Entered dev(bench.DevNamespace()); // sockets keep the namespace they are made in
        m_listen = Bound(INADDR_BROADCAST, false);   // sees no unicast
        for (int i = 0; i < count; ++i)
            m_send.push_back(Bound(0x0AD5000A + uint32_t(i), true));
        m_thread = std::thread([this] { Run(); });
    }
    ~Crowd()
    {
        m_stop = true;
        m_thread.join();
        for (int fd : m_send)
            close(fd);
        close(m_listen);
    }

    std::atomic<int> Bursts{0};
    std::atomic<int> SendFailures{0}; // none expected

private:
    // Sharing the simulated device's port; a transparent socket may take an
    // address the namespace does not have.
    static int Bound(uint32_t host, bool transparent)
    {
        const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(host);
        a.sin_port = htons(30718);
        if (s < 0 || setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
            (transparent && setsockopt(s, SOL_IP, IP_TRANSPARENT, &one, sizeof one) != 0) ||
            bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
            throw std::runtime_error(std::string("crowd: ") + std::strerror(errno));
        return s;
    }

    void Run()
    {
        pollfd p{m_listen, POLLIN, 0};
        while (!m_stop) {
            uint8_t query[16];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            if (poll(&p, 1, 50) <= 0 ||
                recvfrom(m_listen, query, sizeof query, 0, reinterpret_cast<sockaddr*>(&from), &length) != 4 ||
                std::memcmp(query, "\0\0\0\xF6", 4) != 0)
                continue;
            for (size_t i = 0; i < m_send.size(); ++i) {
                // A search answer: header, firmware, serial, the MAC at 24.
                std::array<uint8_t, 30> answer{0, 0, 0, 0xF7};
                const uint8_t mac[6] = {0x02, 0x63, 0x72, 0x00, uint8_t((i + 1) >> 8), uint8_t(i + 1)};
                std::memcpy(answer.data() + 24, mac, sizeof mac);
                if (sendto(m_send[i], answer.data(), answer.size(), 0, reinterpret_cast<const sockaddr*>(&from),
                           sizeof from) != ssize_t(answer.size()))
                    ++SendFailures;
            }
            ++Bursts;
        }
    }

    int m_listen = -1;
    std::vector<int> m_send; // one socket a device
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The kernel's count of datagrams dropped because a receive buffer was full.
long UdpReceiveBufferErrors(const NetBench& bench)
{
    std::istringstream snmp(bench.OutputInPc("cat /proc/net/snmp"));
    std::string names, values, line;
    while (std::getline(snmp, line)) {
        if (line.rfind("Udp: ", 0) != 0)
            continue;
        (names.empty() ? names : values) = line;
    }
    std::istringstream n(names), v(values);
    std::string name, value;
    while (n >> name && v >> value)
        if (name == "RcvbufErrors")
            return std::stol(value);
    return -1;
}

} // namespace

TEST(CrowdedSearch, EverySearchByMACFindsItsDeviceAmongTwoHundredAnsweringOnes)
{
    VYN_REQUIRE_ROOT();
    NetBench bench("crowd");
    // The searched device answers just after the crowd's burst, the worst of
    // the orders a real segment gives.
    SimDevice sim(bench, {"--delay", "5"});
    Crowd crowd(bench, 200);
    const long overflowsBefore = UdpReceiveBufferErrors(bench);
    ASSERT_GE(overflowsBefore, 0);

    // The simulated device, and the first and the last of the crowd.
    const std::pair<QString, QString> rows[] = {
        {QStringLiteral("02-76-79-6e-00-02"), QString::fromLatin1(NetBench::DevIp)},
        {QStringLiteral("02-63-72-00-00-c8"), QStringLiteral("10.213.0.209")},
        {QStringLiteral("02-63-72-00-00-01"), QStringLiteral("10.213.0.10")},
    };
    constexpr int Searches = 12;
    NetBench::RunOnThreadIn(bench.PcNamespace(), false, [&] {
        TRecordingConversations c(0, nullptr);
        // Busy for 20 ms right after each query went out.
        c.MySock.OnDataSent = [](TMySocket*, int32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
        for (int i = 0; i < Searches; ++i) {
            const auto& [mac, ip] = rows[i % std::size(rows)];
            QString found;
            ASSERT_EQ(c.FindIPByMAC(mac, QString(), found, false), ip) << "search " << i << " for " << mac.toStdString();
        }
    });
    EXPECT_EQ(crowd.Bursts.load(), Searches);
    EXPECT_EQ(crowd.SendFailures.load(), 0);
    EXPECT_EQ(UdpReceiveBufferErrors(bench), overflowsBefore);
}
