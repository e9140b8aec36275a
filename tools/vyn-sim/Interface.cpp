#include "Interface.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace vynsim {

namespace {

int PrefixOfMask(uint32_t maskNetworkOrder)
{
    return __builtin_popcount(maskNetworkOrder);
}

// Runs `ip` with the given arguments; returns its exit status.
int RunIp(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    std::vector<std::string> all = {"ip"};
    all.insert(all.end(), args.begin(), args.end());
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        execvp("ip", argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string AddrArg(std::pair<Ip4, int> a)
{
    return IpText(a.first) + "/" + std::to_string(a.second);
}

} // namespace

InterfaceInfo QueryInterface(const std::string& name)
{
    InterfaceInfo info;
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq req{};
    std::strncpy(req.ifr_name, name.c_str(), IFNAMSIZ - 1);
    const bool found = s >= 0 && ioctl(s, SIOCGIFHWADDR, &req) == 0;
    if (s >= 0)
        close(s);
    if (!found)
        throw std::runtime_error("no interface '" + name + "' here (give --iface)");
    std::memcpy(info.mac.data(), req.ifr_hwaddr.sa_data, 6);

    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* a = list; a; a = a->ifa_next) {
            if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || name != a->ifa_name)
                continue;
            const auto* addr = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
            const auto* mask = reinterpret_cast<const sockaddr_in*>(a->ifa_netmask);
            info.address = std::make_pair(addr->sin_addr.s_addr, mask ? PrefixOfMask(mask->sin_addr.s_addr) : 32);
            break;
        }
        freeifaddrs(list);
    }
    return info;
}

std::string MoveInterface(const std::string& name, std::optional<std::pair<Ip4, int>> from,
                          std::pair<Ip4, int> to)
{
    if (from == to)
        return {};
    // The new address goes on before the old one comes off: an interface
    // left without any address loses its routes and its static neighbours.
    // When both lie in one subnet the new one is a secondary address, which
    // must survive the removal of the old primary one.
    std::ofstream("/proc/sys/net/ipv4/conf/" + name + "/promote_secondaries") << "1\n";
    if (RunIp({"addr", "add", AddrArg(to), "brd", "+", "dev", name}) != 0)
        return "ip addr add " + AddrArg(to) + " failed";
    if (from && RunIp({"addr", "del", AddrArg(*from), "dev", name}) != 0)
        return "ip addr del " + AddrArg(*from) + " failed";
    if (RunIp({"route", "replace", "default", "dev", name}) != 0)
        return "ip route replace default failed";
    return {};
}

} // namespace vynsim
