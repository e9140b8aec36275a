#pragma once

// A stand-in device on a loopback address that answers from its own thread
// and keeps every datagram it got.

#include <QByteArray>
#include <QString>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class TLoopDevice
{
public:
    // The datagrams to send back for one request (none: stay silent).
    using Replier = std::function<std::vector<QByteArray>(const QByteArray& request)>;

    explicit TLoopDevice(Replier reply, const char* ip = "127.0.0.2") : m_reply(std::move(reply)), m_ip(ip)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = ::inet_addr(ip);
        socklen_t len = sizeof a;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        const timeval tick{0, 20000}; // how soon the thread sees the end
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
        m_thread = std::thread([this] { Run(); });
    }

    ~TLoopDevice()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }

    uint16_t Port() const { return m_port; }
    QString IP() const { return QString::fromLatin1(m_ip); }

    std::vector<QByteArray> Received() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_received;
    }

    // Waits (a few seconds at most) until `count` datagrams have come.
    bool WaitForReceived(size_t count) const
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_arrived.wait_for(lock, std::chrono::seconds(5), [&] { return m_received.size() >= count; });
    }

private:
    void Run()
    {
        char buffer[2048];
        while (!m_stop) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0)
                continue;
            const QByteArray request(buffer, static_cast<int>(n));
            {
                std::lock_guard<std::mutex> lock(m_lock);
                m_received.push_back(request);
            }
            m_arrived.notify_all();
            for (const QByteArray& reply : m_reply(request))
                ::sendto(m_fd, reply.constData(), size_t(reply.size()), 0, reinterpret_cast<sockaddr*>(&from), len);
        }
    }

    Replier m_reply;
    const char* m_ip;
    int m_fd = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_lock;
    mutable std::condition_variable m_arrived;
    std::vector<QByteArray> m_received;
    std::thread m_thread;
};

struct TDeviceFacts
{
    QByteArray Mac = QByteArray::fromHex("02abcdef0102");
    QByteArray IP = QByteArray::fromHex("0a000005");      // 10.0.0.5
    QByteArray Gateway = QByteArray::fromHex("0a000001"); // 10.0.0.1
    uint8_t HostBits = 8;
    bool AnswerSetIPQuery = true;
};

// A record: header 00 00 00 code, then the body, zero-padded to size.
inline QByteArray DeviceRecord(uint8_t code, int size, const QByteArray& body = {})
{
    QByteArray r = QByteArray(3, '\0') + char(code) + body;
    return r.size() < size ? r + QByteArray(size - r.size(), '\0') : r;
}

// The search answer: 30 bytes with the MAC at 24.
inline QByteArray SearchRecord(const QByteArray& mac, uint8_t code = 0xF7)
{
    return DeviceRecord(code, 24) + mac;
}

inline TLoopDevice::Replier SilentDevice()
{
    return [](const QByteArray&) { return std::vector<QByteArray>{}; };
}

// A well-behaved device: searches, setup records (each body byte marks its
// record), sets acknowledged with the record sent, set-IP.
inline TLoopDevice::Replier DeviceReplies(TDeviceFacts facts)
{
    return [facts](const QByteArray& request) -> std::vector<QByteArray> {
        const uint8_t code = request.size() < 4 ? 0 : uint8_t(request[3]);
        QByteArray reply = request;
        if (code == 0xF6) {
            reply = SearchRecord(facts.Mac);
        } else if (code == 0xF8 && facts.AnswerSetIPQuery) {
            reply = DeviceRecord(0xF9, 124, facts.IP + QByteArray(2, '\0') + char(facts.HostBits) + '\0' + 'P');
            reply.replace(16, 4, facts.Gateway); // 'P': a setting the operator did not touch
        } else if (code == 0xFD) {
            reply[3] = char(0xFB);
        } else if (code == 0xE0 || code == 0xE2 || code == 0xE4 || code == 0xE5) {
            reply = DeviceRecord(uint8_t(code - 0x10), code == 0xE0 ? 124 : 130, QByteArray(8, char(code)));
        } else if (code == 0xC0 || code == 0xC2 || code == 0xC4 || code == 0xC5) {
            reply[3] = char(code - 0x10);
        } else {
            return {};
        }
        return std::vector<QByteArray>{reply};
    };
}
