#pragma once

// The host's address tables and ARP cache behind one small interface shaped
// like the IP Helper calls the address services were built on: tables are
// copied into caller-supplied buffers (a 32-bit count, then the rows), a
// buffer that is too small gets ERROR_INSUFFICIENT_BUFFER with the size
// needed, and every call returns a system error code (0 = success). The
// interface is abstract so that callers can be tested with a stand-in.

#include "platform/NetPrivileged.h"

#include <QString>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// System error codes the layer returns (the values are the classic ones, so
// that callers can tell "buffer too small" and "no data" from failures).
enum : uint32_t {
    NO_ERROR = 0,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_ACCESS_DENIED = 5,
    ERROR_NOT_ENOUGH_MEMORY = 8,
    ERROR_BAD_NET_NAME = 67,
    ERROR_INVALID_PARAMETER = 87,
    ERROR_BUFFER_OVERFLOW = 111,
    ERROR_INSUFFICIENT_BUFFER = 122,
    ERROR_MOD_NOT_FOUND = 126,
    ERROR_NO_DATA = 232,
    ERROR_NOT_OWNER = 288,
    ERROR_NOT_FOUND = 1168,
    ERROR_NETWORK_UNREACHABLE = 1231,
    ERROR_HOST_UNREACHABLE = 1232,
    ERROR_ACCESS_DISABLED_BY_POLICY = 1260,
    ERROR_PRIVILEGE_NOT_HELD = 1314,
    // Any other system failure: this bit plus the errno value.
    ERROR_ERRNO_FLAG = 0x20000000,
};

// The calling thread's last system error, as the layer's calls leave it.
uint32_t GetLastError();
void SetLastError(uint32_t code);
// A refused change (ERROR_NOT_OWNER, ERROR_INVALID_PARAMETER) is set as the
// last error with why: its kind and what is in the way. Every other error,
// and a refusal without a kind (an older helper's bare answer), has none:
// setting the last error sets its reason, so no reason outlives its error.
void SetLastError(uint32_t code, net::Reason why);
const net::Reason& GetLastErrorReason();

// The system's text for an error code, ending with CR LF; empty for a code
// the system has no text for.
QString SystemErrorText(uint32_t code);

// ARP entry types (dwType).
enum : uint32_t {
    MIB_IPNET_TYPE_OTHER = 1,
    MIB_IPNET_TYPE_INVALID = 2,
    MIB_IPNET_TYPE_DYNAMIC = 3,
    MIB_IPNET_TYPE_STATIC = 4,
};

// Addresses are in network order: their memory bytes are the dotted numbers.
struct MIB_IPNETROW
{
    uint32_t dwIndex;       // interface index
    uint32_t dwPhysAddrLen;
    uint8_t bPhysAddr[8];
    uint32_t dwAddr;
    uint32_t dwType;
};
static_assert(sizeof(MIB_IPNETROW) == 24);

struct MIB_IPADDRROW
{
    uint32_t dwAddr;
    uint32_t dwIndex;
    uint32_t dwMask;
    uint32_t dwBCastAddr;
    uint32_t dwReasmSize;
    uint16_t unused1;
    uint16_t wType;
};
static_assert(sizeof(MIB_IPADDRROW) == 24);

struct IP_ADAPTER_INDEX_MAP
{
    uint32_t Index;
    char16_t Name[128];
};
static_assert(sizeof(IP_ADAPTER_INDEX_MAP) == 260);

struct IP_ADDR_STRING
{
    IP_ADDR_STRING* Next;
    char IpAddress[16];
    char IpMask[16];
    uint32_t Context;
};

struct IP_ADAPTER_INFO
{
    IP_ADAPTER_INFO* Next;
    uint32_t ComboIndex;
    char AdapterName[260];
    char Description[132];
    uint32_t AddressLength;
    uint8_t Address[8];
    uint32_t Index;
    uint32_t Type;
    IP_ADDR_STRING IpAddressList;
};

class IpHelper
{
public:
    virtual ~IpHelper() = default;

    // The ARP table: count, then MIB_IPNETROW rows. `order`: sorted by address.
    virtual uint32_t GetIpNetTable(void* table, uint32_t* size, bool order) = 0;
    // The IPv4 address table: count, then MIB_IPADDRROW rows.
    virtual uint32_t GetIpAddrTable(void* table, uint32_t* size, bool order) = 0;
    // The network interfaces: count, then IP_ADAPTER_INDEX_MAP entries.
    virtual uint32_t GetInterfaceInfo(void* table, uint32_t* size) = 0;
    // A chain of IP_ADAPTER_INFO records (with their address chains) built
    // inside the buffer, which must be aligned for them.
    virtual uint32_t GetAdaptersInfo(void* info, uint32_t* size) = 0;
    virtual uint32_t CreateIpNetEntry(const MIB_IPNETROW& row) = 0;
    virtual uint32_t DeleteIpNetEntry(const MIB_IPNETROW& row) = 0;
    virtual uint32_t GetBestInterface(uint32_t destAddr, uint32_t* index) = 0;
    // Asks the wire for the MAC of destIP (srcIP 0: any local address);
    // *length in: room in mac, out: bytes written.
    virtual uint32_t SendARP(uint32_t destIP, uint32_t srcIP, void* mac, uint32_t* length) = 0;

    // The route the host would take to destAddr: the outgoing interface and
    // the next hop (0 when destAddr is on that interface's link).
    virtual uint32_t GetBestRoute(uint32_t destAddr, uint32_t* index, uint32_t* nextHop)
    {
        if (nextHop)
            *nextHop = 0;
        return GetBestInterface(destAddr, index);
    }
    // A host route that makes destAddr on-link on the interface, and its
    // removal (a route already gone counts as removed). Where neighbour
    // entries are used whatever the routes say, there is nothing to do.
    virtual uint32_t CreateHostRoute(uint32_t /*destAddr*/, uint32_t /*index*/) { return NO_ERROR; }
    virtual uint32_t DeleteHostRoute(uint32_t /*destAddr*/, uint32_t /*index*/) { return NO_ERROR; }
    // Whether the calling thread may change the neighbour and route tables
    // and send raw ARP requests, itself or through the network helper:
    // NO_ERROR, or why not. The changes give the same codes:
    //   ERROR_FILE_NOT_FOUND             the helper is missing;
    //   ERROR_ACCESS_DISABLED_BY_POLICY  this user may not run it;
    //   ERROR_PRIVILEGE_NOT_HELD         it runs but lacks its capabilities;
    // any other code: the helper does not answer as one.
    virtual uint32_t NetworkRights() { return NO_ERROR; }
};

// The changes the static ARP way needs fail with the missing rights above,
// with ERROR_NOT_OWNER when a neighbour entry or route someone else made is
// in the way (it stays as it was), or a route that drops the traffic, and
// with ERROR_INVALID_PARAMETER for an address of the interface itself, a
// network or broadcast address of its subnets, a route's next hop, another
// interface's network, the helper's bound, or a request it takes for wrong;
// GetLastErrorReason then tells which.
//
// Whether a code is one of the missing rights.
bool IsMissingRights(uint32_t code);

// For implementations: a table as the calls return it (a count, then the
// rows), or ERROR_INSUFFICIENT_BUFFER with the size needed.
template <class Row>
uint32_t WriteTable(const std::vector<Row>& rows, void* table, uint32_t* size)
{
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    const size_t required = sizeof(uint32_t) + rows.size() * sizeof(Row);
    if (!table || *size < required) {
        *size = static_cast<uint32_t>(required);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return ERROR_INSUFFICIENT_BUFFER;
    }
    const auto count = static_cast<uint32_t>(rows.size());
    auto* out = static_cast<char*>(table);
    std::memcpy(out, &count, sizeof count);
    if (!rows.empty())
        std::memcpy(out + sizeof count, rows.data(), rows.size() * sizeof(Row));
    return NO_ERROR;
}

// For implementations: one adapter with its IPv4 addresses and masks.
struct AdapterEntry
{
    uint32_t Index = 0;
    uint32_t Type = 0;
    std::string Name;
    std::string Description;
    uint8_t Mac[8] = {};
    uint32_t MacLength = 0;
    std::vector<std::pair<uint32_t, uint32_t>> Addresses; // address, mask
};

// Lays the adapters out as GetAdaptersInfo returns them: the records first,
// then the further address records of adapters with more than one address.
// An adapter without an address gets 0.0.0.0. No adapters: size 0, success.
uint32_t WriteAdaptersInfo(const std::vector<AdapterEntry>& adapters, void* info, uint32_t* size);

// The network helper program that makes the changes needing capabilities
// for a program that holds none: vyn-netpriv beside the program, unless a
// test names another.
QString NetHelperPath();
void SetNetHelperPath(const QString& path);
// The group the helper file belongs to, as the system names it (its number
// when it has no name); empty when the file cannot be looked at.
QString NetHelperGroup();
// Whether the helper file is kept to its group as an administrator sets it
// up: owned by root, its group another than root's. A file its builder still
// owns, or one of group root, is not; advice to add a user to its group
// would then open the helper, or the system, to that user.
bool NetHelperKeptToGroup();
// Whether the helper file is known to lack CAP_NET_ADMIN or CAP_NET_RAW as
// permitted and effective file capabilities: for a helper this user may not
// run, so cannot ask. Its security.capability attribute is read, which any
// user who may look the file up can; false when that cannot be told.
bool NetHelperLacksCapabilities();

// The login name of the user this program runs for (its real user id), as
// the user database names it; the id's number when it has no entry there.
QString CurrentUserName();
// Whether the group database holds a group of that name.
bool GroupExists(const QString& group);
// Whether the user belongs to the group in the user and group databases, as
// its primary group or as a member: what a new session of the user gets,
// which the running session may not have yet. False when the user or the
// group is unknown.
bool UserInGroup(const QString& user, const QString& group);

// The name of the interface with that index; empty when there is none.
QString NetInterfaceName(uint32_t index);

// The system's implementation; nullptr, with the last error set, when the
// system's routing interface cannot be opened.
std::unique_ptr<IpHelper> OpenIpHelper();

} // namespace platform
