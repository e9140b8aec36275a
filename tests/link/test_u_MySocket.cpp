#include "link/u_MySocket.h"

#include "support/QStringPrint.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

using namespace std::chrono_literals;

namespace {

const QString kLoopback = QStringLiteral("127.0.0.1");

std::unique_ptr<TMySocket> boundSocket(uint16_t* port = nullptr)
{
    auto s = std::make_unique<TMySocket>();
    s->SetLocalIP(kLoopback);
    s->Bind();
    EXPECT_TRUE(s->Bound());
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(s->Handle(), reinterpret_cast<sockaddr*>(&a), &len);
    if (port)
        *port = ntohs(a.sin_port);
    return s;
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

TEST(TPacketException, TextsOfTheWinsockCodesEndWithTheCodeInHex)
{
    const std::pair<int32_t, const char*> rows[] = {
        {10004, "The (blocking) call was canceled through WSACancelBlockingCall."},
        {10013, "The requested address is a broadcast address, but the appropriate flag was not set."},
        {10014, "The buf argument is not totally contained in a valid part of the user address space."},
        {10022, "The socket has not been bound with bind, or an unknown flag was specified, or MSG_OOB was "
                "specified for a socket with SO_OOBINLINE enabled."},
        {10024, "No more socket descriptors are available."},
        {10035, "The socket is marked as nonblocking and the requested operation would block."},
        {10036, "A blocking Windows Sockets 1.1 call is in progress, or the service provider is still processing a "
                "callback function."},
        {10037, "A nonblocking connect call is in progress on the specified socket."},
        {10038, "The descriptor is not a socket."},
        {10040, "The socket is message oriented, and the message is larger than the maximum supported by the "
                "underlying transport."},
        {10041, "The specified protocol is the wrong type for this socket."},
        {10043, "The specified protocol is not supported."},
        {10044, "The specified socket type is not supported in this address family."},
        {10045, "MSG_OOB was specified, but the socket is not stream style such as type SOCK_STREAM, out-of-band "
                "data is not supported in the communication domain associated with this socket, or the socket is "
                "unidirectional and supports only receive operations."},
        {10047, "The specified address family is not supported."},
        {10048, "The specified address is already in use."},
        {10049, "The remote address is not a valid address (such as ADDR_ANY)."},
        {10050, "The network subsystem has failed."},
        {10051, "The network cannot be reached from this host at this time."},
        {10052, "The connection has been broken due to the remote host resetting."},
        {10053, "The virtual circuit was terminated due to a time-out or other failure. The application should "
                "close the socket as it is no longer usable."},
        {10054, "The virtual circuit was reset by the remote side executing a \"hard\" or \"abortive\" close. For "
                "UPD sockets, the remote host was unable to deliver a previously sent UDP datagram and responded "
                "with a \"Port Unreachable\" ICMP packet. The application should close the socket as it is no "
                "longer usable."},
        {10055, "No buffer space is available."},
        {10056, "The socket is already connected (connection-oriented sockets only)."},
        {10057, "The socket is not connected."},
        {10058, "The socket has been shut down; it is not possible to send on a socket after shutdown has been "
                "invoked with how set to SD_SEND or SD_BOTH."},
        {10060, "The connection has been dropped, because of a network failure or because the system on the other "
                "end went down without notice."},
        {10061, "The attempt to connect was forcefully rejected."},
        {10065, "The remote host cannot be reached from this host at this time."},
        {10093, "A successful WSAStartup must occur before using this function."},
    };
    for (const auto& [code, text] : rows)
        EXPECT_EQ(TPacketException::ErrorText(code),
                  QString::fromLatin1(text) + QStringLiteral(" (#0000%1)").arg(code, 4, 16).toUpper());
    EXPECT_EQ(TPacketException::ErrorText(12345), QStringLiteral("Socket error. (#00003039)"));

    // Code 0 stands for the thread's last socket error.
    winsock::WSASetLastError(10048);
    EXPECT_EQ(TPacketException(0).Message(), QStringLiteral("The specified address is already in use. (#00002740)"));
    winsock::WSASetLastError(0);
    EXPECT_EQ(TPacketException(0).Message(), QStringLiteral("Socket error. (#00000000)"));
}

TEST(TMySocket, SendFailuresRaiseTheWinsockCode)
{
    TMySocket pc;
    pc.Bind();
    try {
        pc.SendTo("query", QStringLiteral("255.255.255.255"), 30718);
        FAIL() << "broadcast without acceptance was sent";
    } catch (const TPacketException& e) {
        EXPECT_EQ(e.Code(), 10013);
    }

    // A connected datagram socket hears of a closed port on its next send.
    uint16_t closedPort;
    boundSocket(&closedPort);
    auto s = boundSocket();
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
}

TEST(TMySocket, WaitForDataTakesWholeDatagramsAndStopsAtTheFirstUnlessWaitingWhole)
{
    uint16_t port;
    auto s = boundSocket(&port);
    auto peer = boundSocket();
    const QByteArray big(60000, 'x');
    for (const QByteArray& d : {QByteArray("a"), QByteArray(), big})
        peer->SendTo(d, kLoopback, port);
    std::this_thread::sleep_for(20ms);
    EXPECT_TRUE(s->WaitForData(20, false));
    EXPECT_EQ(drain(s->ReceiveQueue()), std::vector<QByteArray>{"a"}); // the rest stays with the system

    // Time-out 0: one attempt, no pause; an empty datagram counts as nothing.
    EXPECT_FALSE(s->WaitForData(0, true));
    EXPECT_TRUE(s->WaitForData(0, true));
    EXPECT_EQ(drain(s->ReceiveQueue()), std::vector<QByteArray>{big});
    EXPECT_FALSE(s->WaitForData(0, false));

    // Whole time: everything of the period, in arrival order. All three are
    // in before it starts, so a stalled sender cannot miss it.
    for (const char* d : {"1", "2", "3"})
        peer->SendTo(d, kLoopback, port);
    EXPECT_TRUE(s->WaitForData(100, true));
    EXPECT_EQ(drain(s->ReceiveQueue()), (std::vector<QByteArray>{"1", "2", "3"}));
}

// Windows holds about 2,185 thirty-byte search answers in the 65565 bytes
// the socket asks for; here the receive buffer must hold as many, as far as
// the system's limit (net.core.rmem_max) lets it, while nobody reads.
TEST(TMySocket, TheReceiveBufferHoldsABurstOfSearchAnswersUpToTheSystemsLimit)
{
    std::ifstream limitFile("/proc/sys/net/core/rmem_max");
    long limit = 0;
    if (!(limitFile >> limit))
        GTEST_SKIP() << "the system's receive-buffer limit cannot be read";
    uint16_t port;
    auto s = boundSocket(&port);
    int granted = 0;
    socklen_t length = sizeof granted;
    ASSERT_EQ(getsockopt(s->Handle(), SOL_SOCKET, SO_RCVBUF, &granted, &length), 0);
    // The system doubles what it grants, for its own bookkeeping.
    EXPECT_EQ(granted, 2 * std::min(limit, 1024L * 1024));

    // Each small datagram is charged about 830 bytes of that.
    const int burst = std::min(65565 / 30, granted / 896);
    auto peer = boundSocket();
    const QByteArray answer(30, '\xF7');
    for (int i = 0; i < burst; ++i)
        peer->SendTo(answer, kLoopback, port);
    // Nothing reads while the burst is sent, so the buffer alone must hold
    // it; reading it out may take long on a busy machine.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (s->ReceiveQueue().Count() < burst && std::chrono::steady_clock::now() < deadline)
        s->WaitForData(100, false);
    EXPECT_EQ(s->ReceiveQueue().Count(), burst);
}
