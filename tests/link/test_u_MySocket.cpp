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

long long msSince(steady_clock::time_point t)
{
    return duration_cast<milliseconds>(steady_clock::now() - t).count();
}

} // namespace

TEST(TMyPacketQuee, KeepsOrderCountsAndBytes)
{
    TMyPacketQuee q;
    TMyPacket p{QByteArray("untouched"), QStringLiteral("1.2.3.4"), 7};
    EXPECT_TRUE(q.IsEmpty());
    EXPECT_FALSE(q.Pop(p));
    EXPECT_EQ(p.Data, QByteArray("untouched"));
    EXPECT_EQ(p.Port, 7);
    EXPECT_EQ(q.TotalBytes(), 0);

    EXPECT_EQ(q.Push(TMyPacket{QByteArray(30, 'a'), QStringLiteral("192.168.100.200.extra"), 1}), 1);
    EXPECT_EQ(q.Push(TMyPacket{QByteArray(124, 'b'), QStringLiteral("10.0.0.2"), 2}), 2);
    EXPECT_EQ(q.TotalBytes(), 154);
    EXPECT_EQ(q.Count(), 2);

    ASSERT_TRUE(q.Pop(p));
    EXPECT_EQ(p.Data.size(), 30);
    EXPECT_EQ(p.IP, QStringLiteral("192.168.100.200")); // cut to 15 characters
    ASSERT_TRUE(q.Pop(p));
    EXPECT_EQ(p.Port, 2);
    EXPECT_TRUE(q.IsEmpty());

    // After the last Pop the queue works as new.
    q.PushData(QByteArray("xyz"));
    EXPECT_EQ(q.Count(), 1);
    ASSERT_TRUE(q.Pop(p));
    EXPECT_EQ(p.Data, QByteArray("xyz"));
    EXPECT_TRUE(p.IP.isEmpty());
    EXPECT_EQ(p.Port, 0);
}

TEST(TMyPacketQuee, WaitNotEmptyWakesOnPushFromAnotherThread)
{
    TMyPacketQuee q;
    EXPECT_FALSE(q.WaitNotEmpty(0));
    std::thread t([&q] {
        std::this_thread::sleep_for(30ms);
        q.PushData("x");
    });
    EXPECT_TRUE(q.WaitNotEmpty(5000));
    t.join();
}

TEST(TPacketException, TextsAndCodeSuffix)
{
    EXPECT_EQ(TPacketException::ErrorText(10054),
              QStringLiteral("The virtual circuit was reset by the remote side executing a \"hard\" or \"abortive\" "
                             "close. For UPD sockets, the remote host was unable to deliver a previously sent UDP "
                             "datagram and responded with a \"Port Unreachable\" ICMP packet. The application "
                             "should close the socket as it is no longer usable. (#00002746)"));
    EXPECT_EQ(TPacketException::ErrorText(10013),
              QStringLiteral("The requested address is a broadcast address, but the appropriate flag was not set. "
                             "(#0000271D)"));
    EXPECT_EQ(TPacketException::ErrorText(12345), QStringLiteral("Socket error. (#00003039)"));

    // Code 0 stands for the thread's last socket error.
    winsock::WSASetLastError(0);
    EXPECT_EQ(TPacketException(0).Message(), QStringLiteral("Socket error. (#00000000)"));
    winsock::WSASetLastError(10048);
    EXPECT_EQ(TPacketException(0).Message(), QStringLiteral("The specified address is already in use. (#00002740)"));
    EXPECT_EQ(TPacketException(0).Code(), 10048);
    winsock::WSASetLastError(0);
}

TEST(TMySocket, LifecycleEventsAndFlags)
{
    TMySocket s;
    std::vector<std::string> events;
    s.OnOpenSocket = [&](TMySocket*) { events.push_back("open"); };
    s.OnBindSocket = [&](TMySocket*) { events.push_back("bind"); };
    s.OnConnectSocket = [&](TMySocket*) { events.push_back("connect"); };
    s.OnCloseSocket = [&](TMySocket*) { events.push_back("close"); };

    EXPECT_FALSE(s.IsOpen());
    EXPECT_EQ(s.Handle(), 0);
    s.Close(); // closed: nothing happens
    EXPECT_TRUE(events.empty());

    Peer peer;
    s.SetLocalIP(kLoopback);
    s.SetRemoteIP(kLoopback);
    s.SetRemotePort(peer.Port());
    s.Connect(true);
    EXPECT_TRUE(s.IsOpen());
    EXPECT_GT(s.Handle(), 2);
    EXPECT_TRUE(s.Bound());
    EXPECT_TRUE(s.Connected());
    EXPECT_EQ(events, (std::vector<std::string>{"open", "bind", "connect"}));

    s.Close();
    EXPECT_FALSE(s.IsOpen());
    EXPECT_FALSE(s.Bound());
    EXPECT_FALSE(s.Connected());
    EXPECT_EQ(events.back(), "close");
    s.Close();
    EXPECT_EQ(events.size(), 4u);

    // Reopening works, and the queues outlive a close.
    s.ReceiveQueue().PushData("kept");
    s.Open();
    EXPECT_TRUE(s.IsOpen());
    EXPECT_EQ(s.ReceiveQueue().Count(), 1);
}

TEST(TMySocket, BindFailuresAreSilent)
{
    auto first = boundSocket();
    TMySocket s;
    bool bound = false;
    s.OnBindSocket = [&](TMySocket*) { bound = true; };

    // An address that is not local here (a documentation address: nothing is sent).
    s.SetLocalIP(QStringLiteral("192.0.2.1"));
    EXPECT_NO_THROW(s.Bind());
    EXPECT_FALSE(s.Bound());
    EXPECT_TRUE(s.IsOpen());

    // The port of another socket.
    s.Close();
    s.SetLocalIP(kLoopback);
    s.SetLocalPort(boundPort(first->Handle()));
    EXPECT_NO_THROW(s.Bind());
    EXPECT_FALSE(s.Bound());
    EXPECT_EQ(winsock::WSAGetLastError(), 10048);
    EXPECT_FALSE(bound);
}

TEST(TMySocket, SettersTakeEffectAtTheRightTime)
{
    TMySocket s;
    EXPECT_THROW(s.SetSocketType(static_cast<TMySocketType>(7)), Exception);
    try {
        s.SetSocketType(static_cast<TMySocketType>(7));
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Unknown socket type."));
    }
    EXPECT_EQ(s.SocketType(), TMySocketType::stUDP);
    EXPECT_EQ(s.SockType(), 2);

    // Broadcast acceptance on a closed socket is applied by the next open.
    s.SetBroadCastAccept(true);
    s.Open();
    int value = 0;
    socklen_t len = sizeof value;
    getsockopt(s.Handle(), SOL_SOCKET, SO_BROADCAST, &value, &len);
    EXPECT_EQ(value, 1);
    s.SetBroadCastAccept(false);
    getsockopt(s.Handle(), SOL_SOCKET, SO_BROADCAST, &value, &len);
    EXPECT_EQ(value, 0);

    // A type change waits for the next open.
    s.SetSocketType(TMySocketType::stTCP);
    EXPECT_EQ(s.SockType(), 1);
    EXPECT_EQ(s.Protocol(), 6);
    getsockopt(s.Handle(), SOL_SOCKET, SO_TYPE, &value, &len);
    EXPECT_EQ(value, SOCK_DGRAM);
    s.Close();
    s.Open();
    getsockopt(s.Handle(), SOL_SOCKET, SO_TYPE, &value, &len);
    EXPECT_EQ(value, SOCK_STREAM);
}

TEST(TMySocket, CreateExRaisesNothingOnItsFirstOpen)
{
    std::unique_ptr<TMySocket> s;
    EXPECT_NO_THROW(s = TMySocket::CreateEx(AF_INET, 99, 0, true));
    EXPECT_FALSE(s->IsOpen());
    EXPECT_EQ(s->Handle(), winsock::INVALID_SOCKET);
    EXPECT_TRUE(s->RaisingSocketErrors());
    EXPECT_THROW(s->Open(), TPacketException);

    auto udp = TMySocket::CreateUDP(true);
    EXPECT_TRUE(udp->IsOpen());
    EXPECT_EQ(udp->SockType(), 2);
    auto tcp = TMySocket::CreateTCP(false);
    EXPECT_FALSE(tcp->IsOpen());
    EXPECT_EQ(tcp->Protocol(), 6);
}

TEST(TMySocket, SendToAndConnectedSendReachThePeer)
{
    Peer peer;
    auto s = boundSocket();
    std::vector<int> sent;
    s->OnDataSent = [&](TMySocket*, int32_t code) { sent.push_back(code); };

    EXPECT_EQ(s->SendTo("hello", kLoopback, peer.Port()), 5);
    EXPECT_EQ(peer.Receive(), QByteArray("hello"));

    // The handler may rewrite data and destination of SendTo...
    Peer other;
    s->OnBeforeDataSend = [&](TMySocket*, TMyPacket& p) {
        p.Data = "rewritten";
        p.Port = other.Port();
    };
    s->SendTo("original", kLoopback, peer.Port());
    EXPECT_EQ(other.Receive(), QByteArray("rewritten"));

    // ...but Send keeps going to the connected peer.
    s->SetRemoteIP(kLoopback);
    s->SetRemotePort(peer.Port());
    s->Connect(false);
    s->OnBeforeDataSend = [&](TMySocket*, TMyPacket& p) {
        EXPECT_EQ(p.IP, kLoopback);
        EXPECT_EQ(p.Port, peer.Port());
        p.Port = other.Port();
        p.Data += "!";
    };
    EXPECT_EQ(s->Send("direct"), 7);
    EXPECT_EQ(peer.Receive(), QByteArray("direct!"));
    EXPECT_EQ(sent, (std::vector<int>{0, 0, 0}));
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
        EXPECT_TRUE(e.Message().endsWith(QStringLiteral("(#00002746)")));
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
    EXPECT_EQ(p.IP, kLoopback);
    EXPECT_EQ(p.Port, peer.Port());

    // Time-out 0: one attempt, no pause.
    auto start = steady_clock::now();
    EXPECT_TRUE(s->WaitForData(0, true));
    EXPECT_EQ(drain(s->ReceiveQueue()), (std::vector<QByteArray>{"b"}));
    EXPECT_FALSE(s->WaitForData(0, false));
    EXPECT_LT(msSince(start), 1000);

    // Whole time: everything of the period, in arrival order.
    std::thread sender([&] {
        for (const char* d : {"1", "2", "3"}) {
            peer.SendTo(port, d);
            std::this_thread::sleep_for(10ms);
        }
    });
    start = steady_clock::now();
    EXPECT_TRUE(s->WaitForData(100, true));
    const auto took = msSince(start);
    sender.join();
    EXPECT_GE(took, 100);
    EXPECT_LT(took, 2000);
    EXPECT_EQ(drain(s->ReceiveQueue()), (std::vector<QByteArray>{"1", "2", "3"}));
}

TEST(TMySocket, WaitForDataIgnoresEmptyDatagramsAndWaitsWithoutSpinning)
{
    Peer peer;
    auto s = boundSocket();
    const uint16_t port = boundPort(s->Handle());

    peer.SendTo(port, QByteArray());
    std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(s->WaitForData(50, false));
    EXPECT_TRUE(s->ReceiveQueue().IsEmpty());

    // A whole wait with nothing arriving lasts its time and sleeps through it.
    const std::clock_t cpu = std::clock();
    const auto start = steady_clock::now();
    EXPECT_FALSE(s->WaitForData(300, true));
    const auto took = msSince(start);
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
    EXPECT_GE(took, 300);
    EXPECT_LT(took, 3000);
    EXPECT_LT(cpuMs, 150.0);
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
    EXPECT_FALSE(closed.WaitForData(30, true));
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

    // WaitForData looks at the queue the receiver fills.
    peer.SendTo(port, "z");
    EXPECT_TRUE(s->WaitForData(2000, false));
    EXPECT_EQ(s->ReceiveQueue().Count(), 1);
}

TEST(TMySocketThreads, SenderSendsQueuedPacketsAndReportsSuccess)
{
    Peer peer;
    Peer other;
    auto s = boundSocket();
    int sentEvents = 0;
    s->OnDataSent = [&](TMySocket*, int32_t code) {
        EXPECT_EQ(code, 0);
        ++sentEvents;
    };
    s->SetSendThread(true);
    EXPECT_EQ(s->SendTo("queued", kLoopback, peer.Port()), 0);
    EXPECT_EQ(peer.Receive(), QByteArray("queued"));

    // Send queues the bare data for the connected peer.
    s->SetRemoteIP(kLoopback);
    s->SetRemotePort(other.Port());
    s->Connect(false);
    EXPECT_EQ(s->Send("to peer"), 0);
    EXPECT_EQ(other.Receive(), QByteArray("to peer"));
    EXPECT_TRUE(processUntil([&] { return sentEvents == 2; }));
}

TEST(TMySocketThreads, StartAndStopRules)
{
    TMySocket s;
    s.SetLocalIP(kLoopback);
    // Switched on while closed: only stored; the open starts the thread.
    s.SetReceiveThread(true);
    s.SetSendThread(true);
    EXPECT_TRUE(s.ReceiveThread());
    s.Bind();
    const uint16_t port = boundPort(s.Handle());

    // Stopping the sender leaves the receiver running.
    s.SetSendThread(false);
    Peer peer;
    int received = 0;
    s.OnDataReceive = [&](TMySocket*, TMyPacket&) { ++received; };
    peer.SendTo(port, "still");
    EXPECT_TRUE(processUntil([&] { return received == 1; }));
    // ...and with the sender stopped, SendTo sends directly again.
    EXPECT_EQ(s.SendTo("direct", kLoopback, peer.Port()), 6);

    // Close stops the threads; the next open starts the receiver again.
    s.Close();
    s.Bind();
    const uint16_t again = boundPort(s.Handle());
    peer.SendTo(again, "reopened");
    EXPECT_TRUE(processUntil([&] { return received == 2; }));

    EXPECT_THROW(TMyReceiver(nullptr), Exception);
    try {
        TMySender sender(nullptr);
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("TMySender: construktor nemuze vytvorit objekt"));
    }
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
