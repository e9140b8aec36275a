// The IP Helper interface on Linux: route netlink for the neighbour (ARP),
// address, link and route tables, and an ARP request on a packet socket; the
// changes that need capabilities go through the vyn-netpriv helper.

#include "platform/IpHelper.h"
#include "platform/NetPrivileged.h"
#include "platform/Posix.h"

#include <arpa/inet.h>
#include <endian.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <linux/xattr.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kKernelResolveWait{3500};
constexpr milliseconds kNeighbourPollPause{20};
constexpr uint16_t kDiscardPort = 9;

uint32_t codeFromErrno(int err)
{
    switch (err) {
    case 0:
        return NO_ERROR;
    case net::kNotOurs:
        return ERROR_NOT_OWNER;
    case net::kRefused:
        return ERROR_INVALID_PARAMETER;
    case EPERM:
    case EACCES:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
    case ENOBUFS:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
    case ENODEV:
    case EAFNOSUPPORT:
        return ERROR_INVALID_PARAMETER;
    case ENOENT:
    case ESRCH:
    case ENXIO:
        return ERROR_NOT_FOUND;
    case ENETUNREACH:
        return ERROR_NETWORK_UNREACHABLE;
    case EHOSTUNREACH:
        return ERROR_HOST_UNREACHABLE;
    default:
        return ERROR_ERRNO_FLAG | static_cast<uint32_t>(err);
    }
}

uint32_t failed(uint32_t code)
{
    SetLastError(code);
    return code;
}

// ------------------------------------------------------------ netlink

using net::NlMessage;

template <class Body>
Body bodyOf(const nlmsghdr* h)
{
    Body b{};
    std::memcpy(&b, NLMSG_DATA(h), sizeof b);
    return b;
}

// A dump of one table; `each` gets the body of every reply and the message.
template <class Body, class Fn>
int dump(uint16_t request, uint16_t reply, const Body& filter, Fn each)
{
    NlMessage msg(request, NLM_F_REQUEST | NLM_F_DUMP);
    msg.Put(filter);
    return net::NlTransact(msg, [&](const nlmsghdr* h) {
        if (h->nlmsg_type == reply)
            each(bodyOf<Body>(h), h);
    });
}

uint32_t attrU32(const void* data, size_t len)
{
    uint32_t v = 0;
    std::memcpy(&v, data, std::min(len, sizeof v));
    return v;
}

struct Neighbour
{
    uint32_t ifindex = 0;
    uint32_t addr = 0;
    uint16_t state = 0;
    uint8_t lladdr[8] = {};
    uint32_t lllen = 0;
    // How long ago the entry was last confirmed, in clock ticks (1/100 s);
    // -1 when the kernel did not say.
    int64_t confirmedAge = -1;
};

constexpr int64_t kClockTickMs = 10;

int dumpNeighbours(std::vector<Neighbour>& out)
{
    ndmsg filter{};
    filter.ndm_family = AF_INET;
    return dump(RTM_GETNEIGH, RTM_NEWNEIGH, filter, [&out](const ndmsg& nd, const nlmsghdr* h) {
        if (nd.ndm_family != AF_INET)
            return;
        Neighbour n;
        bool hasDst = false;
        n.ifindex = static_cast<uint32_t>(nd.ndm_ifindex);
        n.state = nd.ndm_state;
        net::ForEachAttr<ndmsg>(h, [&](unsigned type, const void* data, size_t len) {
            if (type == NDA_DST && len == 4) {
                n.addr = attrU32(data, len);
                hasDst = true;
            } else if (type == NDA_LLADDR) {
                n.lllen = static_cast<uint32_t>(std::min(len, sizeof n.lladdr));
                std::memcpy(n.lladdr, data, n.lllen);
            } else if (type == NDA_CACHEINFO && len >= sizeof(nda_cacheinfo)) {
                nda_cacheinfo ci{};
                std::memcpy(&ci, data, sizeof ci);
                n.confirmedAge = ci.ndm_confirmed;
            }
        });
        if (hasDst)
            out.push_back(n);
    });
}

struct Address
{
    uint32_t ifindex = 0;
    uint32_t addr = 0;
    uint8_t prefix = 0;
    bool secondary = false;
};

int dumpAddresses(std::vector<Address>& out)
{
    ifaddrmsg filter{};
    filter.ifa_family = AF_INET;
    return dump(RTM_GETADDR, RTM_NEWADDR, filter, [&out](const ifaddrmsg& ifa, const nlmsghdr* h) {
        if (ifa.ifa_family != AF_INET)
            return;
        Address a;
        a.ifindex = ifa.ifa_index;
        a.prefix = ifa.ifa_prefixlen;
        a.secondary = (ifa.ifa_flags & IFA_F_SECONDARY) != 0;
        bool hasLocal = false;
        net::ForEachAttr<ifaddrmsg>(h, [&](unsigned type, const void* data, size_t len) {
            // IFA_LOCAL is this host's end; IFA_ADDRESS is the peer's on a
            // point-to-point link and equal to it elsewhere.
            if (type == IFA_LOCAL && len == 4) {
                a.addr = attrU32(data, len);
                hasLocal = true;
            } else if (type == IFA_ADDRESS && len == 4 && !hasLocal) {
                a.addr = attrU32(data, len);
            }
        });
        out.push_back(a);
    });
}

struct Link
{
    uint32_t ifindex = 0;
    uint32_t flags = 0;
    uint16_t type = 0;
    std::string name;
    std::string alias;
    uint8_t mac[8] = {};
    uint32_t maclen = 0;
};

int dumpLinks(std::vector<Link>& out)
{
    ifinfomsg filter{};
    filter.ifi_family = AF_UNSPEC;
    const int rc = dump(RTM_GETLINK, RTM_NEWLINK, filter, [&out](const ifinfomsg& ifi, const nlmsghdr* h) {
        Link l;
        l.ifindex = static_cast<uint32_t>(ifi.ifi_index);
        l.flags = ifi.ifi_flags;
        l.type = ifi.ifi_type;
        net::ForEachAttr<ifinfomsg>(h, [&](unsigned type, const void* data, size_t len) {
            const auto* text = static_cast<const char*>(data);
            if (type == IFLA_IFNAME)
                l.name.assign(text, strnlen(text, len));
            else if (type == IFLA_IFALIAS)
                l.alias.assign(text, strnlen(text, len));
            else if (type == IFLA_ADDRESS) {
                l.maclen = static_cast<uint32_t>(std::min(len, sizeof l.mac));
                std::memcpy(l.mac, data, l.maclen);
            }
        });
        out.push_back(l);
    });
    std::sort(out.begin(), out.end(), [](const Link& a, const Link& b) { return a.ifindex < b.ifindex; });
    return rc;
}

struct Route
{
    uint32_t oif = 0;
    uint32_t prefsrc = 0;
    uint32_t gateway = 0;
    uint8_t type = 0;
};

int getRoute(uint32_t dest, Route& route)
{
    NlMessage msg = net::RouteLookup(dest);
    bool answered = false;
    const int rc = net::NlTransact(msg, [&](const nlmsghdr* h) {
        if (h->nlmsg_type != RTM_NEWROUTE)
            return;
        answered = true;
        route.type = bodyOf<rtmsg>(h).rtm_type;
        net::ForEachAttr<rtmsg>(h, [&](unsigned type, const void* data, size_t len) {
            if (type == RTA_OIF)
                route.oif = attrU32(data, len);
            else if (type == RTA_PREFSRC)
                route.prefsrc = attrU32(data, len);
            else if (type == RTA_GATEWAY)
                route.gateway = attrU32(data, len);
        });
    });
    if (rc == 0 && !answered)
        return ENETUNREACH;
    return rc;
}

// ------------------------------------------------------------ tables

uint32_t neighbourType(uint16_t state)
{
    if (state & NUD_PERMANENT)
        return MIB_IPNET_TYPE_STATIC;
    if (state & (NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE))
        return MIB_IPNET_TYPE_DYNAMIC;
    if (state & (NUD_FAILED | NUD_INCOMPLETE))
        return MIB_IPNET_TYPE_INVALID;
    return MIB_IPNET_TYPE_OTHER;
}

uint32_t hostOrder(uint32_t addr)
{
    return ntohl(addr);
}

uint32_t prefixMask(uint8_t prefix)
{
    return prefix == 0 ? 0 : htonl(prefix >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefix));
}

const Link* findLink(const std::vector<Link>& links, uint32_t ifindex)
{
    for (const Link& l : links) {
        if (l.ifindex == ifindex)
            return &l;
    }
    return nullptr;
}

// Without raw network access: make the kernel resolve the address by sending
// it an empty datagram (to the discard port) and read its neighbour table.
// Only an entry the kernel confirmed after that datagram went out counts: an
// older one (which this process may not delete) says nothing about who holds
// the address now.
uint32_t kernelResolve(uint32_t ifindex, uint32_t dest, uint8_t (&mac)[8], uint32_t& macLen)
{
    const auto sent = Clock::now();
    {
        UniqueFd s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        if (s.get() < 0)
            return codeFromErrno(errno);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(kDiscardPort);
        to.sin_addr.s_addr = dest;
        if (::sendto(s.get(), "", 0, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0 &&
            errno != EAGAIN)
            return codeFromErrno(errno);
    }
    const auto deadline = Clock::now() + kKernelResolveWait;
    while (Clock::now() < deadline) {
        std::vector<Neighbour> table;
        if (const int err = dumpNeighbours(table))
            return codeFromErrno(err);
        for (const Neighbour& n : table) {
            if (n.addr != dest || n.ifindex != ifindex)
                continue;
            if (n.state & NUD_FAILED)
                return ERROR_BAD_NET_NAME;
            const bool known = n.state & (NUD_REACHABLE | NUD_PERMANENT | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_NOARP);
            // The age is cut down to whole ticks, so it reads up to a tick
            // young. Demanding a whole tick of margin would refuse every
            // answer that came within 10 ms, the usual case on a LAN; one
            // confirmed at most a tick before our datagram is as fresh.
            const int64_t sinceSent =
                std::chrono::duration_cast<milliseconds>(Clock::now() - sent).count();
            const bool confirmedSince = n.confirmedAge >= 0 && n.confirmedAge * kClockTickMs <= sinceSent;
            if (known && confirmedSince && n.lllen > 0) {
                std::memcpy(mac, n.lladdr, n.lllen);
                macLen = n.lllen;
                return NO_ERROR;
            }
        }
        std::this_thread::sleep_for(kNeighbourPollPause);
    }
    return ERROR_BAD_NET_NAME;
}

// ------------------------------------------------------------ the helper

// The window program holds no capabilities: the changes that need them run
// in vyn-netpriv, a small program beside it that alone is given them. It is
// started by its absolute path with an empty environment, answers one line
// and is killed when it overruns its deadline.
constexpr const char* kHelperName = "vyn-netpriv";
constexpr milliseconds kHelperDeadline{2000};
// Why the helper did not start (besides an errno); apart from net::kNotOurs
// and net::kRefused, which are its answers.
constexpr int kHelperMissing = -10;
constexpr int kHelperNotPermitted = -11;

std::mutex s_helperMutex;
std::string s_helperPath; // empty: beside the program

std::string helperPath()
{
    {
        const std::lock_guard<std::mutex> lock(s_helperMutex);
        if (!s_helperPath.empty())
            return s_helperPath;
    }
    // Never looked for along PATH or beside the working directory: without
    // the program's own absolute path there is no helper.
    char exe[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string path(exe, n > 0 ? static_cast<size_t>(n) : 0);
    if (path.empty() || path[0] != '/')
        return std::string();
    return path.substr(0, path.find_last_of('/') + 1) + kHelperName;
}

std::string ipText(uint32_t addr)
{
    return Ipv4Text(addr).toStdString();
}

// What the helper answered: the detail of "ok MAC" or "none", or why a
// change was refused.
struct HelperAnswer
{
    std::string detail;
    net::Reason why;
};

// The kinds each refusal carries.
constexpr std::string_view kForeignKinds[] = {
    net::reason::kHostRoute,     net::reason::kBlackholeRoute, net::reason::kUnreachableRoute,
    net::reason::kProhibitRoute, net::reason::kThrowRoute,     net::reason::kPermanentEntry,
    net::reason::kNoarpEntry,    net::reason::kManagedEntry,   net::reason::kExternEntry,
    net::reason::kProtocolEntry,
};
constexpr std::string_view kRefusedKinds[] = {
    net::reason::kNextHop,          net::reason::kOwnAddress,   net::reason::kNetworkAddress,
    net::reason::kBroadcastAddress, net::reason::kOtherNetwork, net::reason::kEntryLimit,
    net::reason::kRouteLimit,       net::reason::kArgument,
};

// A refusal line: the word alone (a helper from before the reasons), or
// "WORD KIND" with a kind that word carries, or "WORD KIND SHOWN" with 1 to
// 200 bytes of what is in the way, no control characters among them.
template <size_t N>
bool parseRefusal(std::string_view line, std::string_view word, const std::string_view (&kinds)[N], net::Reason& why)
{
    why = net::Reason{};
    if (line == word)
        return true;
    if (line.size() <= word.size() || line.substr(0, word.size()) != word || line[word.size()] != ' ')
        return false;
    const std::string_view rest = line.substr(word.size() + 1);
    const size_t space = rest.find(' ');
    const std::string_view kind = rest.substr(0, space);
    if (std::find(std::begin(kinds), std::end(kinds), kind) == std::end(kinds))
        return false;
    const std::string_view shown = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
    const bool control = std::any_of(shown.begin(), shown.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
    });
    if ((space != std::string_view::npos && shown.empty()) || shown.size() > net::kMostShownBytes || control)
        return false;
    why = {std::string(kind), std::string(shown), std::string()};
    return true;
}

// The helper's one line: "ok" (detail empty), "ok MAC" or "none" (detail
// that text) with exit 0, "error ERRNO" with exit 1, a refusal "refused ..."
// with exit 2 (net::kRefused) or "foreign ..." with exit 3 (net::kNotOurs),
// as parseRefusal reads it. Anything else is a helper we do not understand.
int parseHelperAnswer(const std::string& out, int status, HelperAnswer& answer)
{
    if (!WIFEXITED(status) || out.empty() || out.back() != '\n' || out.find('\n') != out.size() - 1)
        return EPROTO;
    const std::string line = out.substr(0, out.size() - 1);
    const int code = WEXITSTATUS(status);
    uint8_t mac[6];
    if (code == 0 && (line == "ok" || line == "none")) {
        answer.detail = line == "ok" ? std::string() : line;
        return 0;
    }
    if (code == 0 && line.size() == 20 && line.compare(0, 3, "ok ") == 0 && net::ParseMacText(line.substr(3), mac)) {
        answer.detail = line.substr(3);
        return 0;
    }
    if (code == 2 && parseRefusal(line, "refused", kRefusedKinds, answer.why))
        return net::kRefused;
    if (code == 3 && parseRefusal(line, "foreign", kForeignKinds, answer.why))
        return net::kNotOurs;
    int err = 0;
    char end = 0;
    if (code == 1 && line.compare(0, 6, "error ") == 0 && std::sscanf(line.c_str() + 6, "%d%c", &err, &end) == 1 &&
        err > 0 && err < 4096 && line == "error " + std::to_string(err))
        return err;
    return EPROTO;
}

// Runs the helper with the arguments: 0 (the answer as above), its errno or
// refusal code, ETIMEDOUT when it was killed past the deadline, EPROTO for
// an answer that is not one, kHelperMissing when there is no helper file and
// kHelperNotPermitted when this user may not run it.
int runHelper(const std::vector<std::string>& args, milliseconds deadline, HelperAnswer& answer)
{
    const std::string path = helperPath();
    if (path.empty())
        return kHelperMissing;
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    char* envp[] = {nullptr};

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return errno;
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.get(), STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned == ENOENT || spawned == ENOTDIR)
        return kHelperMissing;
    if (spawned == EACCES || spawned == EPERM)
        return kHelperNotPermitted;
    if (spawned != 0)
        return spawned;
    writeEnd.reset(-1);

    std::string out;
    bool killed = false;
    const auto end = Clock::now() + deadline;
    for (;;) {
        const auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
        if (left <= 0) {
            ::kill(pid, SIGKILL);
            killed = true;
            break;
        }
        pollfd p{readEnd.get(), POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buffer[128];
        const ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.append(buffer, static_cast<size_t>(n));
        if (out.size() > 256) { // no answer of ours is that long
            ::kill(pid, SIGKILL);
            break;
        }
    }
    // Its output may end before it does: it is waited for within the same
    // deadline, then killed.
    int status = 0;
    for (;;) {
        const pid_t reaped = ::waitpid(pid, &status, killed ? 0 : WNOHANG);
        if (reaped == pid || (reaped < 0 && errno != EINTR))
            break;
        if (reaped == 0 && Clock::now() >= end) {
            ::kill(pid, SIGKILL);
            killed = true;
        } else if (reaped == 0) {
            std::this_thread::sleep_for(milliseconds(1));
        }
    }
    if (killed)
        return ETIMEDOUT;
    return parseHelperAnswer(out, status, answer);
}

// What the helper's outcome means to the caller: its refusal for want of
// capabilities, and its not starting, are the missing rights.
uint32_t helperCode(int rc)
{
    switch (rc) {
    case kHelperMissing:
        return ERROR_FILE_NOT_FOUND;
    case kHelperNotPermitted:
        return ERROR_ACCESS_DISABLED_BY_POLICY;
    case EPERM:
    case EACCES:
        return ERROR_PRIVILEGE_NOT_HELD;
    default:
        return codeFromErrno(rc);
    }
}

// A change that needs capabilities: made here when this thread holds them
// (a program file given them by an earlier setcap keeps working), otherwise
// by the helper. Returns the system error code, set as the last error when
// the change failed, with the reason of a refusal.
template <class InProcess>
uint32_t privileged(InProcess inProcess, const std::vector<std::string>& args,
                    milliseconds deadline = kHelperDeadline, std::string* detail = nullptr)
{
    uint32_t rc = NO_ERROR;
    HelperAnswer answer;
    if (net::HasNetCapabilities()) {
        rc = codeFromErrno(inProcess(answer.why));
    } else {
        rc = helperCode(runHelper(args, deadline, answer));
        if (detail)
            *detail = answer.detail;
    }
    if (rc == NO_ERROR)
        return NO_ERROR;
    // Only a refusal has a reason; a failure after the checks has none.
    if (rc != ERROR_NOT_OWNER && rc != ERROR_INVALID_PARAMETER)
        answer.why = net::Reason{};
    SetLastError(rc, std::move(answer.why));
    return rc;
}

std::string interfaceName(uint32_t ifindex)
{
    char name[IF_NAMESIZE] = {};
    return ::if_indextoname(ifindex, name) ? std::string(name) : std::string();
}

// ------------------------------------------------------------ the interface

class LinuxIpHelper final : public IpHelper
{
public:
    uint32_t GetIpNetTable(void* table, uint32_t* size, bool order) override
    {
        std::vector<Neighbour> neighbours;
        if (const int err = dumpNeighbours(neighbours))
            return failed(codeFromErrno(err));
        std::vector<MIB_IPNETROW> rows;
        for (const Neighbour& n : neighbours) {
            MIB_IPNETROW r{};
            r.dwIndex = n.ifindex;
            r.dwPhysAddrLen = n.lllen;
            std::memcpy(r.bPhysAddr, n.lladdr, sizeof r.bPhysAddr);
            r.dwAddr = n.addr;
            r.dwType = neighbourType(n.state);
            rows.push_back(r);
        }
        if (rows.empty())
            return ERROR_NO_DATA;
        if (order) {
            std::stable_sort(rows.begin(), rows.end(), [](const MIB_IPNETROW& a, const MIB_IPNETROW& b) {
                return hostOrder(a.dwAddr) != hostOrder(b.dwAddr) ? hostOrder(a.dwAddr) < hostOrder(b.dwAddr)
                                                                  : a.dwIndex < b.dwIndex;
            });
        }
        return WriteTable(rows, table, size);
    }

    uint32_t GetIpAddrTable(void* table, uint32_t* size, bool order) override
    {
        std::vector<Address> addresses;
        if (const int err = dumpAddresses(addresses))
            return failed(codeFromErrno(err));
        std::vector<MIB_IPADDRROW> rows;
        for (const Address& a : addresses) {
            MIB_IPADDRROW r{};
            r.dwAddr = a.addr;
            r.dwIndex = a.ifindex;
            r.dwMask = prefixMask(a.prefix);
            r.dwBCastAddr = a.addr | ~r.dwMask;
            r.dwReasmSize = 65535;
            r.wType = a.secondary ? 0 : 1;
            rows.push_back(r);
        }
        if (rows.empty())
            return ERROR_NO_DATA;
        if (order) {
            std::stable_sort(rows.begin(), rows.end(), [](const MIB_IPADDRROW& a, const MIB_IPADDRROW& b) {
                return hostOrder(a.dwAddr) < hostOrder(b.dwAddr);
            });
        }
        return WriteTable(rows, table, size);
    }

    uint32_t GetInterfaceInfo(void* table, uint32_t* size) override
    {
        std::vector<Link> links;
        if (const int err = dumpLinks(links))
            return failed(codeFromErrno(err));
        std::vector<IP_ADAPTER_INDEX_MAP> rows;
        for (const Link& l : adaptersOf(links)) {
            IP_ADAPTER_INDEX_MAP m{};
            m.Index = l.ifindex;
            const QString name = QString::fromStdString(l.name).left(127);
            std::memcpy(m.Name, name.utf16(), static_cast<size_t>(name.size()) * sizeof(char16_t));
            rows.push_back(m);
        }
        if (rows.empty()) {
            if (size)
                *size = 0;
            return NO_ERROR;
        }
        return WriteTable(rows, table, size);
    }

    uint32_t GetAdaptersInfo(void* info, uint32_t* size) override
    {
        std::vector<Link> links;
        std::vector<Address> addresses;
        if (const int err = dumpLinks(links))
            return failed(codeFromErrno(err));
        if (const int err = dumpAddresses(addresses))
            return failed(codeFromErrno(err));
        std::vector<AdapterEntry> adapters;
        for (const Link& l : adaptersOf(links)) {
            AdapterEntry e;
            e.Index = l.ifindex;
            e.Type = l.type == ARPHRD_ETHER ? 6 : 1;
            e.Name = l.name;
            e.Description = l.alias.empty() ? l.name : l.alias;
            std::memcpy(e.Mac, l.mac, sizeof e.Mac);
            e.MacLength = l.maclen;
            for (const Address& a : addresses) {
                if (a.ifindex == l.ifindex)
                    e.Addresses.emplace_back(a.addr, prefixMask(a.prefix));
            }
            adapters.push_back(std::move(e));
        }
        return WriteAdaptersInfo(adapters, info, size);
    }

    uint32_t CreateIpNetEntry(const MIB_IPNETROW& row) override
    {
        if (row.dwPhysAddrLen == 0 || row.dwPhysAddrLen > sizeof row.bPhysAddr)
            return failed(ERROR_INVALID_PARAMETER);
        if (row.dwType == MIB_IPNET_TYPE_DYNAMIC) {
            const int err = net::AddNeighbour(row.dwIndex, row.dwAddr, row.bPhysAddr, row.dwPhysAddrLen, NUD_REACHABLE);
            if (err != 0)
                return failed(codeFromErrno(err));
            return NO_ERROR;
        }
        // Static entries are Ethernet ones, made as the helper makes them.
        const std::string name = interfaceName(row.dwIndex);
        if (row.dwType != MIB_IPNET_TYPE_STATIC || row.dwPhysAddrLen != 6 || name.empty())
            return failed(ERROR_INVALID_PARAMETER);
        uint8_t mac[6];
        std::memcpy(mac, row.bPhysAddr, sizeof mac);
        return privileged([&](net::Reason& why) { return net::AddOwnNeighbour(row.dwIndex, row.dwAddr, mac, why); },
                          {"neigh-add", name, ipText(row.dwAddr), net::MacText(mac)});
    }

    uint32_t DeleteIpNetEntry(const MIB_IPNETROW& row) override
    {
        // An entry that is already gone is what the caller wanted: callers
        // delete by rows read earlier, and one row may have gone with another.
        const std::string name = interfaceName(row.dwIndex);
        if (name.empty())
            return NO_ERROR;
        return privileged([&](net::Reason& why) { return net::RemoveOwnNeighbour(row.dwIndex, row.dwAddr, why); },
                          {"neigh-del", name, ipText(row.dwAddr)});
    }

    uint32_t GetBestInterface(uint32_t destAddr, uint32_t* index) override
    {
        if (!index)
            return failed(ERROR_INVALID_PARAMETER);
        Route route;
        if (const int err = getRoute(destAddr, route))
            return failed(codeFromErrno(err));
        *index = route.oif;
        return NO_ERROR;
    }

    uint32_t SendARP(uint32_t destIP, uint32_t srcIP, void* mac, uint32_t* length) override
    {
        if (!mac || !length || *length == 0)
            return failed(ERROR_INVALID_PARAMETER);
        Route route;
        if (const int err = getRoute(destIP, route))
            return failed(codeFromErrno(err));
        std::vector<Link> links;
        std::vector<Address> addresses;
        if (const int err = dumpLinks(links))
            return failed(codeFromErrno(err));
        if (const int err = dumpAddresses(addresses))
            return failed(codeFromErrno(err));

        uint8_t found[8] = {};
        uint32_t foundLen = 0;
        if (route.type == RTN_LOCAL) {
            // One of our own addresses: the answer is our own adapter's MAC.
            const Link* link = nullptr;
            for (const Address& a : addresses) {
                if (a.addr == destIP)
                    link = findLink(links, a.ifindex);
            }
            if (!link)
                return failed(ERROR_BAD_NET_NAME);
            foundLen = link->maclen;
            std::memcpy(found, link->mac, sizeof found);
        } else {
            const Link* link = findLink(links, route.oif);
            if (!link || link->type != ARPHRD_ETHER || link->maclen != 6)
                return failed(ERROR_INVALID_PARAMETER);
            // The request goes out in the name of an address of its own
            // interface (the route's preferred one when it is), else of none.
            const auto ownAddress = [&](uint32_t addr) {
                return std::any_of(addresses.begin(), addresses.end(),
                                   [&](const Address& a) { return a.ifindex == route.oif && a.addr == addr; });
            };
            uint32_t source = srcIP;
            if (source == 0 && ownAddress(route.prefsrc))
                source = route.prefsrc;
            for (const Address& a : addresses) {
                if (source == 0 && a.ifindex == route.oif)
                    source = a.addr;
            }
            uint8_t ownMac[6];
            std::memcpy(ownMac, link->mac, sizeof ownMac);
            uint8_t reply[6] = {};
            bool answered = false;
            std::string answer;
            const uint32_t probed = privileged(
                [&](net::Reason& why) {
                    return net::ArpProbe(link->ifindex, ownMac, source, destIP, net::kArpProbeWait, reply, answered,
                                         why);
                },
                {"arp", link->name, ipText(source), ipText(destIP), std::to_string(net::kArpProbeWait.count())},
                kHelperDeadline + net::kArpProbeWait, &answer);
            uint32_t rc = probed;
            if (!answer.empty())
                answered = answer != "none" && net::ParseMacText(answer, reply);
            if (IsMissingRights(rc) || rc == ERROR_ACCESS_DENIED) {
                // No raw network access. The kernel resolves only hosts on
                // the link itself; a host behind a gateway can be asked with
                // a raw request alone, so the missing rights are the answer.
                if (route.gateway == 0)
                    rc = kernelResolve(route.oif, destIP, found, foundLen);
            } else if (rc == NO_ERROR && !answered) {
                rc = ERROR_BAD_NET_NAME;
            } else if (rc == NO_ERROR) {
                std::memcpy(found, reply, sizeof reply);
                foundLen = sizeof reply;
            }
            // The probe's own failure is set already, with its reason.
            if (rc != NO_ERROR)
                return rc == probed ? rc : failed(rc);
        }
        const uint32_t n = std::min(*length, foundLen);
        std::memcpy(mac, found, n);
        *length = n;
        return NO_ERROR;
    }

    uint32_t GetBestRoute(uint32_t destAddr, uint32_t* index, uint32_t* nextHop) override
    {
        if (!index || !nextHop)
            return failed(ERROR_INVALID_PARAMETER);
        Route route;
        if (const int err = getRoute(destAddr, route))
            return failed(codeFromErrno(err));
        if (route.type != RTN_UNICAST && route.type != RTN_LOCAL)
            return failed(ERROR_NETWORK_UNREACHABLE);
        *index = route.oif;
        *nextHop = route.gateway;
        return NO_ERROR;
    }

    uint32_t CreateHostRoute(uint32_t destAddr, uint32_t index) override
    {
        const std::string name = interfaceName(index);
        if (name.empty())
            return failed(ERROR_INVALID_PARAMETER);
        return privileged([&](net::Reason& why) { return net::AddOwnHostRoute(destAddr, index, why); },
                          {"route-add", name, ipText(destAddr)});
    }

    uint32_t DeleteHostRoute(uint32_t destAddr, uint32_t index) override
    {
        const std::string name = interfaceName(index);
        if (name.empty())
            return NO_ERROR;
        return privileged([&](net::Reason& why) { return net::RemoveOwnHostRoute(destAddr, index, why); },
                          {"route-del", name, ipText(destAddr)});
    }

    // This thread's own capabilities, or a helper that holds them.
    uint32_t NetworkRights() override
    {
        if (net::HasNetCapabilities())
            return NO_ERROR;
        HelperAnswer answer;
        return helperCode(runHelper({"check"}, kHelperDeadline, answer));
    }

private:
    // Network adapters are the interfaces other than loopback.
    static std::vector<Link> adaptersOf(const std::vector<Link>& links)
    {
        std::vector<Link> out;
        for (const Link& l : links) {
            if ((l.flags & IFF_LOOPBACK) == 0)
                out.push_back(l);
        }
        return out;
    }
};

} // namespace

QString NetHelperPath()
{
    return QString::fromStdString(helperPath());
}

void SetNetHelperPath(const QString& path)
{
    const std::lock_guard<std::mutex> lock(s_helperMutex);
    s_helperPath = path.toStdString();
}

QString NetHelperGroup()
{
    struct stat st{};
    const std::string path = helperPath();
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return QString();
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->gr_name)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(st.st_gid);
}

bool NetHelperKeptToGroup()
{
    struct stat st{};
    const std::string path = helperPath();
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && st.st_uid == 0 && st.st_gid != 0;
}

bool NetHelperLacksCapabilities()
{
    const std::string path = helperPath();
    if (path.empty())
        return false;
    // The largest form, revision 3; revisions 1 and 2 are shorter.
    vfs_ns_cap_data caps{};
    const ssize_t n = ::getxattr(path.c_str(), XATTR_NAME_CAPS, &caps, sizeof caps);
    if (n < 0)
        return errno == ENODATA || errno == ENOTSUP; // none, or a file system that holds none
    const uint32_t magic = le32toh(caps.magic_etc);
    const uint32_t revision = magic & VFS_CAP_REVISION_MASK;
    const bool whole = (revision == VFS_CAP_REVISION_1 && n == XATTR_CAPS_SZ_1) ||
        (revision == VFS_CAP_REVISION_2 && n == XATTR_CAPS_SZ_2) ||
        (revision == VFS_CAP_REVISION_3 && n == XATTR_CAPS_SZ_3);
    if (!whole)
        return false;
    // Revision 3 is read back only for another user namespace's root, whose
    // capabilities do not apply here.
    if (revision == VFS_CAP_REVISION_3)
        return true;
    const uint32_t net = (1u << CAP_NET_ADMIN) | (1u << CAP_NET_RAW);
    return (magic & VFS_CAP_FLAGS_EFFECTIVE) == 0 || (le32toh(caps.data[0].permitted) & net) != net;
}

namespace {

// Runs a reentrant user or group database look-up, growing its buffer while
// the entry does not fit; the entry, or nullptr when there is none.
template <typename Entry, typename Lookup>
const Entry* lookUp(Entry& entry, std::vector<char>& buffer, Lookup lookup)
{
    buffer.resize(4096);
    for (;;) {
        Entry* found = nullptr;
        const int rc = lookup(&entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE && buffer.size() < (1u << 24)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        return rc == 0 ? found : nullptr;
    }
}

const group* groupNamed(const QString& name, group& entry, std::vector<char>& buffer)
{
    const QByteArray n = name.toLocal8Bit();
    if (n.isEmpty())
        return nullptr;
    return lookUp(entry, buffer, [&](group* e, char* b, size_t size, group** found) {
        return ::getgrnam_r(n.constData(), e, b, size, found);
    });
}

} // namespace

QString CurrentUserName()
{
    // The real id: the person at the keyboard, whatever the program file
    // makes of the effective one.
    const uid_t uid = ::getuid();
    passwd entry{};
    std::vector<char> buffer;
    const passwd* user = lookUp(entry, buffer, [&](passwd* e, char* b, size_t size, passwd** found) {
        return ::getpwuid_r(uid, e, b, size, found);
    });
    if (user && user->pw_name && *user->pw_name)
        return QString::fromLocal8Bit(user->pw_name);
    return QString::number(uid);
}

bool GroupExists(const QString& group)
{
    struct group entry{};
    std::vector<char> buffer;
    return groupNamed(group, entry, buffer) != nullptr;
}

bool UserInGroup(const QString& user, const QString& group)
{
    struct group groupEntry{};
    std::vector<char> groupBuffer;
    const struct group* g = groupNamed(group, groupEntry, groupBuffer);
    const QByteArray name = user.toLocal8Bit();
    if (!g || name.isEmpty())
        return false;
    passwd entry{};
    std::vector<char> buffer;
    const passwd* u = lookUp(entry, buffer, [&](passwd* e, char* b, size_t size, passwd** found) {
        return ::getpwnam_r(name.constData(), e, b, size, found);
    });
    if (!u)
        return false;
    // The groups a login of that user gets, as initgroups would set them.
    std::vector<gid_t> groups(64);
    for (;;) {
        int count = static_cast<int>(groups.size());
        if (::getgrouplist(name.constData(), u->pw_gid, groups.data(), &count) >= 0) {
            groups.resize(static_cast<size_t>(count));
            break;
        }
        if (count <= static_cast<int>(groups.size()) || count > 65536)
            return false;
        groups.resize(static_cast<size_t>(count));
    }
    return std::find(groups.begin(), groups.end(), g->gr_gid) != groups.end();
}

QString NetInterfaceName(uint32_t index)
{
    return QString::fromStdString(interfaceName(index));
}

std::unique_ptr<IpHelper> OpenIpHelper()
{
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) {
        SetLastError(codeFromErrno(errno));
        return nullptr;
    }
    ::close(fd);
    return std::make_unique<LinuxIpHelper>();
}

} // namespace platform
