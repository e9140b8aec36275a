#include "platform/Winsock.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <tuple>

namespace ws = winsock;

// System errors against the socket error codes whose texts the socket
// reports; errors without such a code pass through.
TEST(Winsock, ErrnoGivesTheSocketErrorCodes)
{
    // errno, datagram socket, socket error code
    const std::tuple<int, bool, int> rows[] = {
        {EACCES, true, 10013},         {EPERM, false, 10013},           {EFAULT, false, 10014},
        {EINVAL, false, 10022},        {EMFILE, false, 10024},          {ENFILE, false, 10024},
        {EAGAIN, true, 10035},         {EINPROGRESS, false, 10035},     {EALREADY, false, 10037},
        {ENOTSOCK, false, 10038},      {EBADF, false, 10038},           {EMSGSIZE, true, 10040},
        {EPROTOTYPE, false, 10041},    {EPROTONOSUPPORT, false, 10043}, {ESOCKTNOSUPPORT, false, 10044},
        {EOPNOTSUPP, false, 10045},    {EAFNOSUPPORT, false, 10047},    {EADDRINUSE, false, 10048},
        {EADDRNOTAVAIL, false, 10049}, {ENETDOWN, false, 10050},        {ENETUNREACH, true, 10051},
        {ENETRESET, false, 10052},     {ECONNABORTED, false, 10053},    {ECONNRESET, false, 10054},
        {ENOBUFS, false, 10055},       {EISCONN, false, 10056},         {ENOTCONN, false, 10057},
        {ESHUTDOWN, false, 10058},     {EPIPE, false, 10058},           {ETIMEDOUT, false, 10060},
        {ECONNREFUSED, false, 10061},  {EHOSTUNREACH, true, 10065},     {ENOENT, false, ENOENT},
        // A refused "connection" of a datagram socket is a port-unreachable report.
        {ECONNREFUSED, true, 10054},
    };
    for (const auto& [err, datagram, code] : rows)
        EXPECT_EQ(ws::WinsockErrorFromErrno(err, datagram), code) << err << " " << datagram;
}
