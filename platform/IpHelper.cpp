#include "platform/IpHelper.h"

#include <cstring>

namespace platform {

namespace {

thread_local uint32_t t_lastError = 0;

struct CodeText
{
    uint32_t code;
    const char* text;
};

// Texts for the codes this layer gives. The two about missing rights say what
// to do, as they are the ones an operator running without rights meets.
constexpr CodeText kTexts[] = {
    {ERROR_ACCESS_DENIED,
     "Access is denied: changing the system's ARP table needs administrator rights. Run the program "
     "as root, or give it the network administration capability (CAP_NET_ADMIN), for example with "
     "\"setcap cap_net_admin,cap_net_raw+ep\" on the program file."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_BAD_NET_NAME, "The network name cannot be found: no host answered the ARP request."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_BUFFER_OVERFLOW, "The data area passed to a system call is too small."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_MOD_NOT_FOUND, "The specified module could not be found."},
    {ERROR_NO_DATA, "There is no data to return."},
    {ERROR_NOT_FOUND, "Element not found."},
    {ERROR_NETWORK_UNREACHABLE, "The network location cannot be reached."},
    {ERROR_HOST_UNREACHABLE, "The remote system is not reachable by the transport."},
    {ERROR_PRIVILEGE_NOT_HELD,
     "A required privilege is not held: asking a host outside the local networks for its MAC "
     "address needs raw network access. Run the program as root, or give it the raw network "
     "capability (CAP_NET_RAW), for example with \"setcap cap_net_admin,cap_net_raw+ep\" on the "
     "program file."},
};

} // namespace

uint32_t GetLastError()
{
    return t_lastError;
}

void SetLastError(uint32_t code)
{
    t_lastError = code;
}

QString SystemErrorText(uint32_t code)
{
    const QString crlf = QStringLiteral("\r\n");
    if ((code & ERROR_ERRNO_FLAG) != 0)
        return QString::fromLocal8Bit(std::strerror(static_cast<int>(code & ~ERROR_ERRNO_FLAG))) + crlf;
    for (const CodeText& t : kTexts) {
        if (t.code == code)
            return QString::fromLatin1(t.text) + crlf;
    }
    return QString();
}

} // namespace platform
