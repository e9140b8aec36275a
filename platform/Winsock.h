#pragma once

// The few socket calls the device link makes, on POSIX sockets, with failures
// reported the way the link's callers and texts expect: as Winsock error codes
// kept per thread (WSAGetLastError). Every errno is turned into a code by one
// table (WinsockErrorFromErrno).

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace winsock {

using SOCKET = int;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

// Codes met on this platform (the values are Winsock's).
enum : int {
    WSAEINTR = 10004,
    WSAEACCES = 10013,
    WSAEFAULT = 10014,
    WSAEINVAL = 10022,
    WSAEMFILE = 10024,
    WSAEWOULDBLOCK = 10035,
    WSAEALREADY = 10037,
    WSAENOTSOCK = 10038,
    WSAEDESTADDRREQ = 10039,
    WSAEMSGSIZE = 10040,
    WSAEPROTOTYPE = 10041,
    WSAENOPROTOOPT = 10042,
    WSAEPROTONOSUPPORT = 10043,
    WSAESOCKTNOSUPPORT = 10044,
    WSAEOPNOTSUPP = 10045,
    WSAEPFNOSUPPORT = 10046,
    WSAEAFNOSUPPORT = 10047,
    WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050,
    WSAENETUNREACH = 10051,
    WSAENETRESET = 10052,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAEISCONN = 10056,
    WSAENOTCONN = 10057,
    WSAESHUTDOWN = 10058,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAENAMETOOLONG = 10063,
    WSAEHOSTDOWN = 10064,
    WSAEHOSTUNREACH = 10065,
};

// The one errno-to-code table. `datagram`: the failing socket is a datagram
// socket, on which a refused connection means an ICMP port-unreachable report
// for an earlier datagram (Winsock reports that as a reset, 10054).
// An errno the table does not know is returned unchanged.
int WinsockErrorFromErrno(int err, bool datagram);

// The calling thread's last socket error, as WSAGetLastError gives it.
int WSAGetLastError();
void WSASetLastError(int code);

// inet_addr: dotted text to an address whose memory bytes are the numbers in
// text order; INADDR_NONE (all bits set) for text it rejects.
uint32_t inet_addr(const QString& text);

// As socket(2), non-blocking is set separately. Descriptors 0 to 2 are never
// returned, so that 0 can keep meaning "no socket" for the callers.
SOCKET socket(int af, int type, int protocol);
int closesocket(SOCKET s);
int SetNonBlocking(SOCKET s, bool on);
int setsockopt(SOCKET s, int level, int name, int value);

// Addresses in network order as inet_addr gives them, ports in host order.
// Address 0 is refused as a destination (10049), as Winsock refuses it.
// sendto 255.255.255.255 leaves through every up, broadcast-capable IPv4
// interface (a socket bound to an address: through that address's one), as
// Windows sends a limited broadcast; it fails only when none took it.
int bind(SOCKET s, uint32_t addr, uint16_t port);
int connect(SOCKET s, uint32_t addr, uint16_t port);
int send(SOCKET s, const QByteArray& data);
int sendto(SOCKET s, const QByteArray& data, uint32_t addr, uint16_t port);

// One datagram into `buffer` (resized by the caller); the sender's address
// and port on success. Returns the length or SOCKET_ERROR.
int recvfrom(SOCKET s, QByteArray& buffer, uint32_t& fromAddr, uint16_t& fromPort);

// Waits until the socket has something to read or `timeoutMs` passed
// (negative: no limit). True when it became readable.
bool WaitReadable(SOCKET s, int timeoutMs);

// The first IPv4 address of a host name (a name look-up), 0 when none.
uint32_t gethostbyname(const QString& name);

} // namespace winsock
