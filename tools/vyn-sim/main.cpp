// vyn-sim: a simulated VYN device for tests and for trying the program
// without hardware. See Usage() or --help.
#include "ControlService.h"
#include "Device.h"
#include "EventLoop.h"
#include "HttpService.h"
#include "Interface.h"
#include "Log.h"
#include "TftpService.h"
#include "UdpService.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

using namespace vynsim;

namespace {

std::string AddressText(const std::pair<Ip4, int>& a)
{
    return IpText(a.first) + "/" + std::to_string(a.second);
}

int Run(Options& options)
{
    InterfaceInfo info = QueryInterface(options.iface);
    if (options.ip) {
        const std::string error = MoveInterface(options.iface, info.address, *options.ip);
        if (!error.empty())
            throw std::runtime_error(error);
        info.address = options.ip;
    }
    if (!info.address)
        throw std::runtime_error("interface " + options.iface + " has no IPv4 address (give --ip)");

    const auto [ip, prefix] = *info.address;
    const NetSettings net{ip, static_cast<uint8_t>(prefix < 32 ? 32 - prefix : 0), options.gateway};
    Device device(options, options.mac.value_or(info.mac), net);
    if (!options.soapFile.empty()) {
        std::ifstream file(options.soapFile, std::ios::binary);
        if (!file)
            throw std::runtime_error("cannot read " + options.soapFile);
        device.SetSoapDocument(Bytes(std::istreambuf_iterator<char>(file), {}));
    }

    EventLoop loop;
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&signals, s);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    Fd signalFd(signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK));
    loop.Watch(signalFd.Get(), POLLIN, [&] { loop.Stop(); });

    std::optional<std::pair<Ip4, int>> current = info.address;
    HttpService http(loop, device);
    UdpService udp(
        loop, device,
        [&](const NetSettings& to) {
            const std::pair<Ip4, int> wanted{to.ip, PrefixOf(to.ip, to.hostBits)};
            const std::string error = MoveInterface(options.iface, current, wanted);
            if (!error.empty()) {
                Log::Info("error: " + error);
                return;
            }
            current = wanted;
            Log::Info("interface " + options.iface + " now at " + AddressText(wanted));
        },
        [&] { http.FollowWebPort(); });
    TftpService tftp(loop, device);
    std::unique_ptr<ControlService> control;
    if (!options.control.empty())
        control = std::make_unique<ControlService>(loop, device, udp, options.control);

    Log::Info("ready: " + AddressText(*current) + " mac " + MacText(device.Facts().mac) + ", udp "
              + std::to_string(options.port) + ", web " + std::to_string(http.Port()) + ", tftp "
              + std::to_string(options.tftpPort) + ", type " + std::to_string(options.deviceType)
              + " version " + std::to_string(options.deviceVersion));
    loop.Run();
    Log::Info("stopped");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    try {
        options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const HelpRequested&) {
        std::fputs(Usage().c_str(), stdout);
        return 0;
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "vyn-sim: %s (--help lists the options)\n", e.what());
        return 2;
    }
    Log::SetVerbose(options.verbose);
    try {
        return Run(options);
    } catch (const std::exception& e) {
        Log::Info(std::string("error: ") + e.what());
        return 1;
    }
}
