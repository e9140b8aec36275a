#include "platform/IpHelper.h"
#include "platform/Posix.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace platform {

namespace {

thread_local uint32_t t_lastError = 0;
thread_local net::Reason t_lastReason;

struct CodeText
{
    uint32_t code;
    const char* text;
};

// Texts for the codes this layer gives, in English; the layers above word
// them in the operator's language, naming the helper and the entry.
constexpr CodeText kTexts[] = {
    {ERROR_FILE_NOT_FOUND, "The network helper vyn-netpriv is missing."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_BAD_NET_NAME, "The network name cannot be found: no host answered the ARP request."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_BUFFER_OVERFLOW, "The data area passed to a system call is too small."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_MOD_NOT_FOUND, "The specified module could not be found."},
    {ERROR_NO_DATA, "There is no data to return."},
    {ERROR_NOT_OWNER, "The entry or route in the way was not made by this program; it was left as it is."},
    {ERROR_NOT_FOUND, "Element not found."},
    {ERROR_NETWORK_UNREACHABLE, "The network location cannot be reached."},
    {ERROR_HOST_UNREACHABLE, "The remote system is not reachable by the transport."},
    {ERROR_ACCESS_DISABLED_BY_POLICY, "This user may not run the network helper vyn-netpriv."},
    {ERROR_PRIVILEGE_NOT_HELD,
     "A required privilege is not held: the network helper vyn-netpriv lacks the capabilities "
     "CAP_NET_ADMIN and CAP_NET_RAW."},
};

void copyText(char* dest, size_t room, const std::string& text)
{
    const size_t n = std::min(room - 1, text.size());
    std::memcpy(dest, text.data(), n);
    dest[n] = '\0';
}

void copyAddressText(char (&dest)[16], uint32_t addr)
{
    in_addr a{};
    a.s_addr = addr;
    if (!::inet_ntop(AF_INET, &a, dest, sizeof dest))
        dest[0] = '\0';
}

uint32_t failed(uint32_t code)
{
    SetLastError(code);
    return code;
}

} // namespace

uint32_t WriteAdaptersInfo(const std::vector<AdapterEntry>& adapters, void* info, uint32_t* size)
{
    if (!size)
        return failed(ERROR_INVALID_PARAMETER);
    if (adapters.empty()) {
        *size = 0;
        return NO_ERROR;
    }
    size_t extra = 0;
    for (const AdapterEntry& a : adapters)
        extra += a.Addresses.empty() ? 0 : a.Addresses.size() - 1;
    const size_t required = adapters.size() * sizeof(IP_ADAPTER_INFO) + extra * sizeof(IP_ADDR_STRING);
    if (!info || *size < required) {
        *size = static_cast<uint32_t>(required);
        return failed(ERROR_BUFFER_OVERFLOW);
    }
    if (reinterpret_cast<uintptr_t>(info) % alignof(IP_ADAPTER_INFO) != 0)
        return failed(ERROR_INVALID_PARAMETER);

    auto* records = static_cast<IP_ADAPTER_INFO*>(info);
    auto* more = reinterpret_cast<IP_ADDR_STRING*>(static_cast<char*>(info) + adapters.size() * sizeof(IP_ADAPTER_INFO));
    for (size_t i = 0; i < adapters.size(); ++i) {
        const AdapterEntry& e = adapters[i];
        auto* a = new (&records[i]) IP_ADAPTER_INFO{};
        a->Next = i + 1 < adapters.size() ? &records[i + 1] : nullptr;
        a->ComboIndex = e.Index;
        a->Index = e.Index;
        a->Type = e.Type;
        copyText(a->AdapterName, sizeof a->AdapterName, e.Name);
        copyText(a->Description, sizeof a->Description, e.Description);
        a->AddressLength = e.MacLength;
        std::memcpy(a->Address, e.Mac, sizeof a->Address);
        IP_ADDR_STRING* s = &a->IpAddressList;
        copyAddressText(s->IpAddress, 0);
        copyAddressText(s->IpMask, 0);
        for (size_t k = 0; k < e.Addresses.size(); ++k) {
            if (k > 0) {
                s->Next = new (more++) IP_ADDR_STRING{};
                s = s->Next;
            }
            copyAddressText(s->IpAddress, e.Addresses[k].first);
            copyAddressText(s->IpMask, e.Addresses[k].second);
        }
    }
    return NO_ERROR;
}

bool IsMissingRights(uint32_t code)
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_ACCESS_DISABLED_BY_POLICY || code == ERROR_PRIVILEGE_NOT_HELD;
}

uint32_t GetLastError()
{
    return t_lastError;
}

void SetLastError(uint32_t code)
{
    SetLastError(code, net::Reason{});
}

void SetLastError(uint32_t code, net::Reason why)
{
    t_lastError = code;
    t_lastReason = std::move(why);
}

const net::Reason& GetLastErrorReason()
{
    return t_lastReason;
}

QString SystemErrorText(uint32_t code)
{
    const QString crlf = QStringLiteral("\r\n");
    if ((code & ERROR_ERRNO_FLAG) != 0)
        return ErrnoText(static_cast<int>(code & ~ERROR_ERRNO_FLAG)) + crlf;
    for (const CodeText& t : kTexts) {
        if (t.code == code)
            return QString::fromLatin1(t.text) + crlf;
    }
    return QString();
}

} // namespace platform
