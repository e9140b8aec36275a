#include "platform/Posix.h"

#include <arpa/inet.h>

#include <cstring>

namespace platform {

namespace {
// glibc has two strerror_r flavours; take the text from whichever is built.
[[maybe_unused]] const char* strerrorResult(int rc, const char* buffer)
{
    return rc == 0 ? buffer : "";
}
[[maybe_unused]] const char* strerrorResult(const char* text, const char*)
{
    return text;
}
} // namespace

QString ErrnoText(int error)
{
    char buffer[256] = {};
    return QString::fromLocal8Bit(strerrorResult(strerror_r(error, buffer, sizeof buffer), buffer));
}

QString Ipv4Text(uint32_t networkOrder)
{
    in_addr a{};
    a.s_addr = networkOrder;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &a, text, sizeof text);
    return QString::fromLatin1(text);
}

} // namespace platform
