#include "link/u_MySocket.h"

#include "support/NetBench.h"
#include "support/QStringPrint.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <thread>

using namespace std::chrono;
using namespace std::chrono_literals;

namespace {

const QString kLoopback = QStringLiteral("127.0.0.1");

uint16_t boundPort(winsock::SOCKET s)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

// A UDP socket bound to the loopback on a port of the system's choice.
std::unique_ptr<TMySocket> boundSocket()
{
    auto s = std::make_unique<TMySocket>();
    s->SetLocalIP(kLoopback);
    s->Bind();
    EXPECT_TRUE(s->Bound());
    return s;
}

// A plain POSIX peer, so the socket under test is checked against the system.
class Peer
{
public:
    Peer()
    {
        m_fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        m_port = boundPort(m_fd);
    }
    ~Peer() { close(m_fd); }
    uint16_t Port() const { return m_port; }

    void SendTo(uint16_t port, const QByteArray& data) const
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        sendto(m_fd, data.constData(), static_cast<size_t>(data.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

    QByteArray Receive(int timeoutMs = 2000) const
    {
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        char buf[2048];
        const ssize_t n = recv(m_fd, buf, sizeof buf, 0);
        return n < 0 ? QByteArray("<nothing>") : QByteArray(buf, static_cast<int>(n));
    }

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

// Runs the event loop until the condition holds or the time is up.
bool processUntil(const std::function<bool()>& done, milliseconds limit = 5000ms)
{
    const auto end = steady_clock::now() + limit;
    while (!done() && steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(2ms);
    }
    return done();
}

std::vector<QByteArray> drain(TMyPacketQuee& q)
{
    std::vector<QByteArray> out;
    TMyPacket p;
    while (q.Pop(p))
        out.push_back(p.Data);
    return out;
}

} // namespace

TEST(TPacketException, TextsAndCodeSuffix)
{
    EXPECT_EQ(TPacketException::ErrorText(10054),
              QStringLiteral("The virtual circuit was reset by the remote side executing a \"hard\" or \"abortive\" "
                             "close. For UPD sockets, the remote host was unable to deliver a previously sent UDP "
                             "datagram and responded with a \"Port Unreachable\" ICMP packet. The application "
                             "should close the socket as it is no longer usable. (#00002746)"));
    EXPECT_EQ(TPacketException::ErrorText(12345), QStringLiteral("Socket error. (#00003039)"));

    // Code 0 stands for the thread's last socket error.
    winsock::WSASetLastError(10048);
    EXPECT_EQ(TPacketException(0).Message(), QStringLiteral("The specified address is already in use. (#00002740)"));
    winsock::WSASetLastError(0);
}

TEST(TMySocket, SendFailuresReportTheCodeFirst)
{
    // A connected datagram socket hears of a closed port on its next send.
    uint16_t closedPort;
    {
        Peer gone;
        closedPort = gone.Port();
    }
    auto s = boundSocket();
    std::vector<int> sent;
    s->OnDataSent = [&](TMySocket*, int32_t code) { sent.push_back(code); };
    s->SetRemoteIP(kLoopback);
    s->SetRemotePort(closedPort);
    s->Connect(false);
    s->Send("one");
    std::this_thread::sleep_for(50ms);
    try {
        s->Send("two");
        FAIL() << "no error for a closed port";
    } catch (const TPacketException& e) {
        EXPECT_EQ(e.Code(), 10054);
        }
    EXPECT_EQ(sent, (std::vector<int>{0, 10054}));

    // With errors off the result says it, and the event still fires.
    s->SetRaisingSocketErrors(false);
    s->Send("three");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(s->Send("four"), -1);
    EXPECT_EQ(sent.back(), 10054);

    // The any-address is not a destination.
    auto t = boundSocket();
    EXPECT_THROW(t->SendTo("x", QStringLiteral("0.0.0.0"), 9), TPacketException);
    EXPECT_EQ(winsock::WSAGetLastError(), 10049);
}

TEST(TMySocket, WaitForDataStopsAtTheFirstDatagramUnlessWaitingWhole)
{
    Peer peer;
    auto s = boundSocket();
    const uint16_t port = boundPort(s->Handle());

    peer.SendTo(port, "a");
    peer.SendTo(port, "b");
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(s->WaitForData(20, false));
    EXPECT_EQ(s->ReceiveQueue().Count(), 1); // "b" stays with the system

    TMyPacket p;
    ASSERT_TRUE(s->ReceiveQueue().Pop(p));
    EXPECT_EQ(p.Data, QByteArray("a"));

    // Time-out 0: one attempt, no pause.
    EXPECT_TRUE(s->WaitForData(0, true));
    EXPECT_EQ(drain(s->ReceiveQueue()), (std::vector<QByteArray>{"b"}));
    EXPECT_FALSE(s->WaitForData(0, false));

    // Whole time: everything of the period, in arrival order.
    std::thread sender([&] {
        for (const char* d : {"1", "2", "3"}) {
            peer.SendTo(port, d);
            std::this_thread::sleep_for(10ms);
        }
    });
    EXPECT_TRUE(s->WaitForData(100, true));
    sender.join();
    EXPECT_EQ(drain(s->ReceiveQueue()), (std::vector<QByteArray>{"1", "2", "3"}));
}

TEST(TMySocket, NegativeTimeOutWaitsForOneDatagram)
{
    Peer peer;
    auto s = boundSocket();
    const uint16_t port = boundPort(s->Handle());
    std::thread sender([&] {
        std::this_thread::sleep_for(50ms);
        peer.SendTo(port, "late");
        peer.SendTo(port, "later");
    });
    EXPECT_TRUE(s->WaitForData(-1, true)); // whole time is dropped: returns at the first
    sender.join();
    EXPECT_EQ(s->ReceiveQueue().Count(), 1);

    // Nothing can come to a closed socket: no endless wait.
    TMySocket closed;
    EXPECT_FALSE(closed.WaitForData(-1, false));
}

TEST(TMySocketThreads, ReceiverDeliversOnePacketPerNotificationInOrder)
{
    Peer peer;
    auto s = boundSocket();
    const uint16_t port = boundPort(s->Handle());
    std::vector<QByteArray> got;
    s->OnDataReceive = [&](TMySocket* sender, TMyPacket& p) {
        EXPECT_EQ(sender, s.get());
        got.push_back(p.Data);
    };
    s->SetReceiveThread(true);
    for (int i = 0; i < 5; ++i)
        peer.SendTo(port, QByteArray::number(i));
    EXPECT_TRUE(processUntil([&] { return got.size() == 5; }));
    EXPECT_EQ(got, (std::vector<QByteArray>{"0", "1", "2", "3", "4"}));

    // With OnRead the owner drains the queue itself.
    int reads = 0;
    s->OnRead = [&](TMySocket*) { ++reads; };
    peer.SendTo(port, "x");
    peer.SendTo(port, "y");
    EXPECT_TRUE(processUntil([&] { return reads == 2; }));
    EXPECT_EQ(drain(s->ReceiveQueue()), (std::vector<QByteArray>{"x", "y"}));
    EXPECT_EQ(got.size(), 5u);

}

TEST(TMySocketThreads, PendingNotificationsAreDroppedWithTheSocket)
{
    Peer peer;
    int delivered = 0;
    {
        auto s = boundSocket();
        const uint16_t port = boundPort(s->Handle());
        s->OnRead = [&](TMySocket*) { ++delivered; };
        s->SetReceiveThread(true);
        peer.SendTo(port, "pending");
        EXPECT_TRUE(s->ReceiveQueue().WaitNotEmpty(5000));
        std::this_thread::sleep_for(20ms); // the notification is posted after the push
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, 0);

    // A socket may be destroyed by its own event.
    auto s = boundSocket();
    const uint16_t port = boundPort(s->Handle());
    s->OnRead = [&](TMySocket*) {
        ++delivered;
        s.reset();
    };
    s->SetReceiveThread(true);
    peer.SendTo(port, "one");
    peer.SendTo(port, "two");
    EXPECT_TRUE(processUntil([&] { return delivered == 1 && !s; }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, 1);
}

TEST(TMySocketThreads, SocketFreedByItsEventAfterANestedDelivery)
{
    Peer peer;
    auto s = boundSocket();
    const uint16_t port = boundPort(s->Handle());
    int delivered = 0;
    s->OnDataReceive = [&](TMySocket*, TMyPacket&) {
        if (++delivered == 1) {
            // The second delivery runs in this nested loop and returns first
            // (posted events are sent directly: not every dispatcher recurses).
            const auto end = steady_clock::now() + 5s;
            while (delivered < 2 && steady_clock::now() < end) {
                QCoreApplication::sendPostedEvents();
                std::this_thread::sleep_for(2ms);
            }
            s.reset();
        }
    };
    s->SetReceiveThread(true);
    peer.SendTo(port, "one");
    peer.SendTo(port, "two");
    EXPECT_TRUE(processUntil([&] { return !s; }));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(delivered, 2);
}

// Broadcasts only inside namespaces the test makes itself.
TEST(TMySocketNetns, BroadcastNeedsAcceptanceAndReachesTheOtherSide)
{
    VYN_REQUIRE_ROOT();
    NetBench bench("sock");
    constexpr uint16_t kPort = 30718;

    std::unique_ptr<TMySocket> device;
    {
        NetBench::Entered inDev(bench.DevNamespace());
        device = std::make_unique<TMySocket>();
        device->SetLocalPort(kPort);
        device->Bind();
        ASSERT_TRUE(device->Bound());
    }
    NetBench::Entered inPc(bench.PcNamespace());
    TMySocket pc;
    pc.Bind();
    try {
        pc.SendTo("query", QStringLiteral("255.255.255.255"), kPort);
        FAIL() << "broadcast without acceptance was sent";
    } catch (const TPacketException& e) {
        EXPECT_EQ(e.Code(), 10013);
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("The requested address is a broadcast address")));
    }

    pc.SetBroadCastAccept(true);
    EXPECT_EQ(pc.SendTo("query", QStringLiteral("255.255.255.255"), kPort), 5);
    ASSERT_TRUE(device->WaitForData(3000, false));
    TMyPacket p;
    ASSERT_TRUE(device->ReceiveQueue().Pop(p));
    EXPECT_EQ(p.Data, QByteArray("query"));
    EXPECT_EQ(p.IP, QString::fromLatin1(NetBench::PcIp));

    // The answer comes back with the device's address as the sender.
    device->SendTo("answer", p.IP, p.Port);
    ASSERT_TRUE(pc.WaitForData(3000, false));
    ASSERT_TRUE(pc.ReceiveQueue().Pop(p));
    EXPECT_EQ(p.IP, QString::fromLatin1(NetBench::DevIp));
    EXPECT_EQ(p.Port, kPort);
}
