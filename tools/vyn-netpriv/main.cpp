// vyn-netpriv: the only part of VYN that holds network capabilities
// (cap_net_admin,cap_net_raw+ep). It does one of a few operations of the
// static ARP way and the ARP check, then exits:
//
//   vyn-netpriv check
//   vyn-netpriv neigh-add IFACE IPV4 MAC     static neighbour entry
//   vyn-netpriv neigh-del IFACE IPV4
//   vyn-netpriv route-add IFACE IPV4         host route, on-link on IFACE
//   vyn-netpriv route-del IFACE IPV4
//   vyn-netpriv arp IFACE SOURCE DEST MS     ARP request, waiting MS ms
//
// Standard output is one line: "ok", "ok MAC" (arp answered), "none" (arp
// unanswered), "error ERRNO" (exit 1), "refused KIND [SHOWN]" (exit 2) or
// "foreign KIND [SHOWN]" (exit 3), the last two with the reason in English
// on standard error (net::Reason says what KIND and SHOWN are); a wrong
// argument is "refused argument REASON" and alone gets the usage after it.
// Removing what is not there is "ok". Every argument is checked strictly:
// the program runs for any user its file mode lets in, with rights that
// user does not have. So it also checks each request against what the
// system holds: entries and routes are marked as its own and it replaces or
// removes only those and the neighbour entries the kernel learned
// ("foreign" when another's entry or host route is in the way, or a route
// that drops or throws the traffic), it names no address of the interface
// itself, no network or broadcast address of its subnets, no address a
// route sends through, no address of another interface and none in a
// network another interface sits on (its on-link routes and its addresses'
// subnets) unless the interface named sits on it at least as specifically,
// not even to remove an entry, and it asks ARP in the name of the interface's
// own addresses or of 0.0.0.0 alone. It holds at most net::kMostOwn entries
// and as many routes of its own; helpers run at the same time take turns
// counting and adding. It takes nothing from its environment, loads
// nothing, and links no Qt.

#include "platform/NetPrivileged.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

using namespace platform;

constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;
constexpr int kExitForeign = 3;
constexpr long kMaxWaitMs = 5000;
constexpr size_t kMostTextBytes = 1000;
// Less than the program waits for an answer (2 s), so the helper answers.
constexpr int kLockWaitMs = 1000;

const char kUsage[] =
    "usage: vyn-netpriv check\n"
    "       vyn-netpriv neigh-add IFACE IPV4 MAC\n"
    "       vyn-netpriv neigh-del IFACE IPV4\n"
    "       vyn-netpriv route-add IFACE IPV4\n"
    "       vyn-netpriv route-del IFACE IPV4\n"
    "       vyn-netpriv arp IFACE SOURCE-IPV4 DEST-IPV4 MS (1 to 5000)\n";

void writeAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

// A refusal's line and reason, each on one line; only a wrong argument is
// followed by the usage.
[[noreturn]] void answerRefusal(const char* word, int exitCode, const net::Reason& why)
{
    std::string line = word + (" " + why.kind);
    if (!why.shown.empty())
        line += " " + net::OneLine(why.shown, net::kMostShownBytes);
    writeAll(STDOUT_FILENO, line + "\n");
    const bool argument = why.kind == net::reason::kArgument;
    writeAll(STDERR_FILENO, "vyn-netpriv: " + net::OneLine(why.text, kMostTextBytes) + "\n" + (argument ? kUsage : ""));
    std::_Exit(exitCode);
}

// A request no caller of ours makes.
[[noreturn]] void refuse(const std::string& why)
{
    answerRefusal("refused", kExitRefused, {net::reason::kArgument, why, why});
}

[[noreturn]] void finish(int err, const std::string& okLine = "ok")
{
    if (err == 0) {
        writeAll(STDOUT_FILENO, okLine + "\n");
        std::_Exit(0);
    }
    writeAll(STDOUT_FILENO, "error " + std::to_string(err) + "\n");
    writeAll(STDERR_FILENO, std::string("vyn-netpriv: ") + std::strerror(err) + "\n");
    std::_Exit(kExitFailed);
}

// The end of a checked change: its refusal or "foreign" with the reason, or
// as finish.
[[noreturn]] void finishChecked(int err, const net::Reason& why, const std::string& okLine = "ok")
{
    if (err == net::kRefused)
        answerRefusal("refused", kExitRefused, why);
    if (err == net::kNotOurs)
        answerRefusal("foreign", kExitForeign, why);
    finish(err, okLine);
}

// A privileged program must not write its answer into a file or socket that
// happens to sit at descriptor 1 because the caller closed its own: 0 to 2
// are made to exist, everything else inherited is closed.
void sanitiseDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int null = ::open("/dev/null", O_RDWR);
            if (null != fd)
                std::_Exit(kExitRefused);
        }
    }
    ::syscall(SYS_close_range, 3u, ~0u, 0u);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A decimal number without sign or leading zeros, at most `max`.
bool parseNumber(std::string_view text, long max, long& value)
{
    if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0'))
        return false;
    value = 0;
    for (char c : text) {
        if (!isDigit(c))
            return false;
        value = value * 10 + (c - '0');
    }
    return value <= max;
}

// Exactly four decimal parts of 0 to 255, without leading zeros.
bool parseIPv4(std::string_view text, uint32_t& addr)
{
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) {
        const size_t dot = i < 3 ? text.find('.') : text.size();
        if (dot == std::string_view::npos)
            return false;
        long part = 0;
        if (!parseNumber(text.substr(0, dot), 255, part))
            return false;
        bytes[i] = static_cast<uint8_t>(part);
        text.remove_prefix(i < 3 ? dot + 1 : dot);
    }
    std::memcpy(&addr, bytes, 4);
    return true;
}

// A host address the operations may name: not 0.0.0.0, loopback, multicast
// or the broadcast address.
uint32_t hostAddress(const char* text, const char* what)
{
    uint32_t addr = 0;
    if (!parseIPv4(text, addr))
        refuse(std::string(what) + " is not a dotted IPv4 address of four decimal numbers: " + text);
    const auto* b = reinterpret_cast<const uint8_t*>(&addr);
    if (addr == 0 || b[0] == 127 || b[0] >= 224)
        refuse(std::string(what) + " is not a unicast host address: " + text);
    return addr;
}

// Six two-digit hex bytes joined by ':'; a unicast MAC other than zero.
void parseMac(const char* text, uint8_t (&mac)[6])
{
    if (!net::ParseMacText(text, mac))
        refuse(std::string("MAC address is not six hex bytes joined by ':': ") + text);
    const bool zero = (mac[0] | mac[1] | mac[2] | mac[3] | mac[4] | mac[5]) == 0;
    if (zero || (mac[0] & 1) != 0)
        refuse(std::string("MAC address is not a unicast address: ") + text);
}

struct Interface
{
    uint32_t index = 0;
    uint8_t mac[6] = {};
};

// An Ethernet interface that exists in the caller's network namespace.
Interface ethernetInterface(const char* name)
{
    const std::string_view n(name);
    bool plain = !n.empty() && n.size() < IFNAMSIZ && n != "." && n != "..";
    for (char c : n)
        plain = plain && c > ' ' && c < 127 && c != '/' && c != ':';
    if (!plain)
        refuse(std::string("not an interface name: ") + name);
    Interface out;
    out.index = ::if_nametoindex(name);
    if (out.index == 0)
        refuse(std::string("no such interface: ") + name);
    ifreq req{};
    std::memcpy(req.ifr_name, name, n.size());
    UniqueFd s(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (s.get() < 0 || ::ioctl(s.get(), SIOCGIFHWADDR, &req) != 0)
        finish(errno);
    if (req.ifr_hwaddr.sa_family != ARPHRD_ETHER)
        refuse(std::string("not an Ethernet interface: ") + name);
    std::memcpy(out.mac, req.ifr_hwaddr.sa_data, 6);
    return out;
}

// Counting the entries or routes of ours and adding one are two steps: a
// lock on the helper's own file makes helpers started together take turns,
// so none of them sees room that another is taking. Only those who may read
// the file can hold it (root and the helper's group, who may run it
// anyway), the wait ends after kLockWaitMs with EAGAIN, and the lock goes
// with the descriptor when the helper ends, however it ends.
void takeTurn()
{
    const int fd = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        finish(errno);
    // The alarm ends the wait; a caller cannot keep it from coming by
    // blocking the signal or ignoring it before starting us.
    struct sigaction wake{};
    wake.sa_handler = [](int) {};
    ::sigemptyset(&wake.sa_mask);
    sigset_t only{};
    ::sigemptyset(&only);
    ::sigaddset(&only, SIGALRM);
    itimerval wait{};
    wait.it_value.tv_sec = kLockWaitMs / 1000;
    wait.it_value.tv_usec = (kLockWaitMs % 1000) * 1000;
    if (::sigaction(SIGALRM, &wake, nullptr) != 0 || ::sigprocmask(SIG_UNBLOCK, &only, nullptr) != 0 ||
        ::setitimer(ITIMER_REAL, &wait, nullptr) != 0)
        finish(errno);
    const int rc = ::flock(fd, LOCK_EX);
    const int err = errno;
    const itimerval off{};
    ::setitimer(ITIMER_REAL, &off, nullptr);
    if (rc != 0)
        finish(err == EINTR ? EAGAIN : err);
}

void expectArgs(int argc, int wanted, const char* command)
{
    if (argc != wanted)
        refuse(std::string("wrong number of arguments for ") + command);
}

} // namespace

int main(int argc, char** argv)
{
    sanitiseDescriptors();
    // Nothing below reads the environment; clearing it keeps anything
    // linked in from doing so.
    ::clearenv();

    if (argc < 2)
        refuse("no command");
    const std::string_view command(argv[1]);
    if (command == "check") {
        expectArgs(argc, 2, argv[1]);
        finish(net::HasNetCapabilities() ? 0 : EPERM);
    }
    net::Reason why;
    if (command == "neigh-add") {
        expectArgs(argc, 5, argv[1]);
        const Interface itf = ethernetInterface(argv[2]);
        const uint32_t addr = hostAddress(argv[3], "address");
        uint8_t mac[6];
        parseMac(argv[4], mac);
        takeTurn();
        finishChecked(net::AddOwnNeighbour(itf.index, addr, mac, why), why);
    }
    if (command == "neigh-del") {
        expectArgs(argc, 4, argv[1]);
        const Interface itf = ethernetInterface(argv[2]);
        finishChecked(net::RemoveOwnNeighbour(itf.index, hostAddress(argv[3], "address"), why), why);
    }
    if (command == "route-add") {
        expectArgs(argc, 4, argv[1]);
        const Interface itf = ethernetInterface(argv[2]);
        const uint32_t dest = hostAddress(argv[3], "address");
        takeTurn();
        finishChecked(net::AddOwnHostRoute(dest, itf.index, why), why);
    }
    if (command == "route-del") {
        expectArgs(argc, 4, argv[1]);
        const Interface itf = ethernetInterface(argv[2]);
        finishChecked(net::RemoveOwnHostRoute(hostAddress(argv[3], "address"), itf.index, why), why);
    }
    if (command == "arp") {
        expectArgs(argc, 6, argv[1]);
        const Interface itf = ethernetInterface(argv[2]);
        uint32_t source = 0;
        if (std::string_view(argv[3]) != "0.0.0.0")
            source = hostAddress(argv[3], "source address");
        const uint32_t dest = hostAddress(argv[4], "destination address");
        long waitMs = 0;
        if (!parseNumber(argv[5], kMaxWaitMs, waitMs) || waitMs < 1)
            refuse(std::string("wait is not a number of milliseconds from 1 to 5000: ") + argv[5]);
        uint8_t mac[6] = {};
        bool answered = false;
        const int err = net::ArpProbe(itf.index, itf.mac, source, dest, std::chrono::milliseconds(waitMs), mac,
                                      answered, why);
        if (err == 0 && !answered)
            finish(0, "none");
        finishChecked(err, why, "ok " + net::MacText(mac));
    }
    refuse("unknown command: " + std::string(command));
}
