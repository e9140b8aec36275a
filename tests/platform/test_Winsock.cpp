#include "platform/Winsock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

using namespace winsock;
namespace ws = winsock;

TEST(Winsock, ErrnoTableGivesTheCodesCallersKnow)
{
    EXPECT_EQ(WinsockErrorFromErrno(EACCES, true), WSAEACCES);
    EXPECT_EQ(WinsockErrorFromErrno(EADDRINUSE, false), WSAEADDRINUSE);
    EXPECT_EQ(WinsockErrorFromErrno(EADDRNOTAVAIL, false), WSAEADDRNOTAVAIL);
    EXPECT_EQ(WinsockErrorFromErrno(ENETUNREACH, true), WSAENETUNREACH);
    EXPECT_EQ(WinsockErrorFromErrno(EAGAIN, true), WSAEWOULDBLOCK);
    EXPECT_EQ(WinsockErrorFromErrno(EINPROGRESS, false), WSAEWOULDBLOCK);
    EXPECT_EQ(WinsockErrorFromErrno(EBADF, false), WSAENOTSOCK);
    EXPECT_EQ(WinsockErrorFromErrno(EPIPE, false), WSAESHUTDOWN);
    // A refused "connection" of a datagram socket is a port-unreachable report.
    EXPECT_EQ(WinsockErrorFromErrno(ECONNREFUSED, true), WSAECONNRESET);
    EXPECT_EQ(WinsockErrorFromErrno(ECONNREFUSED, false), WSAECONNREFUSED);
    EXPECT_EQ(WinsockErrorFromErrno(ENOENT, false), ENOENT);
}

TEST(Winsock, FailuresSetTheThreadsLastError)
{
    const SOCKET a = ws::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    const SOCKET b = ws::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_GE(a, 3);
    const uint32_t loopback = ws::inet_addr(QStringLiteral("127.0.0.1"));
    ASSERT_EQ(ws::bind(a, loopback, 0), 0);
    sockaddr_in bound{};
    socklen_t len = sizeof bound;
    getsockname(a, reinterpret_cast<sockaddr*>(&bound), &len);

    WSASetLastError(0);
    EXPECT_EQ(ws::bind(b, loopback, ntohs(bound.sin_port)), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);
    int other = -1;
    std::thread([&other] { other = WSAGetLastError(); }).join();
    EXPECT_EQ(other, 0);

    EXPECT_EQ(ws::sendto(b, "x", 0, 9), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEADDRNOTAVAIL);
    EXPECT_EQ(ws::connect(b, 0, 9), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEADDRNOTAVAIL);

    ASSERT_EQ(ws::SetNonBlocking(a, true), 0);
    QByteArray buffer(16, '\0');
    uint32_t from = 0;
    uint16_t port = 0;
    EXPECT_EQ(ws::recvfrom(a, buffer, from, port), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    EXPECT_FALSE(ws::WaitReadable(a, 10));

    ws::closesocket(a);
    ws::closesocket(b);
    EXPECT_EQ(ws::inet_addr(QStringLiteral("10.1.2.3")), ::inet_addr("10.1.2.3"));
    EXPECT_EQ(ws::inet_addr(QStringLiteral("x")), 0xFFFFFFFFu);
}

TEST(Winsock, SocketsNeverTakeTheStandardDescriptors)
{
    // With descriptor 0 free, the system would hand it out; 0 means "no
    // socket" to the callers.
    const int saved = fcntl(0, F_DUPFD_CLOEXEC, 3);
    close(0);
    const SOCKET s = ws::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (saved >= 0) {
        dup2(saved, 0);
        close(saved);
    }
    EXPECT_GE(s, 3);
    ws::closesocket(s);
}
