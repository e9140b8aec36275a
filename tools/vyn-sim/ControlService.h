#pragma once

#include "Device.h"
#include "EventLoop.h"
#include "Socket.h"
#include "UdpService.h"

#include <map>
#include <string>

namespace vynsim {

// A Unix socket through which a test changes faults while the device runs
// and reads back what the device stored. One command line in, one line out.
// A path in the file system is reachable from every network namespace.
class ControlService
{
public:
    ControlService(EventLoop& loop, Device& device, const UdpService& udp, const std::string& path);
    ~ControlService();

    // The answer to one command line.
    static std::string Execute(Device& device, const UdpService::Stats& stats, const std::string& line);

private:
    void OnAccept();
    void OnReadable(int fd);

    EventLoop& m_loop;
    Device& m_device;
    const UdpService& m_udp;
    std::string m_path;
    Fd m_listen;
    std::map<int, std::pair<Fd, std::string>> m_clients;
};

} // namespace vynsim
