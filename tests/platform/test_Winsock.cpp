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
