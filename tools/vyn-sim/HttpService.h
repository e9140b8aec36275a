#pragma once

#include "Device.h"
#include "EventLoop.h"
#include "Socket.h"

#include <map>
#include <memory>
#include <string>

namespace vynsim {

// The answer (head and body) to one request, given up to its blank line;
// `summary` tells the log what was served.
std::string WebAnswer(Device& device, const std::string& request, std::string& summary);

// The device's web server: the status page "/vyn.xml" and the stored SOAP
// document "/postsoap.xml", on the port of the web_port setting.
class HttpService
{
public:
    HttpService(EventLoop& loop, Device& device);

    // Moves to the device's web port when a set has changed it.
    void FollowWebPort();
    uint16_t Port() const { return m_port; }

private:
    struct Connection
    {
        Fd fd;
        std::string peer;
        std::string in;
        std::string out;
        size_t sent = 0;
        bool answering = false;
        uint64_t idleTimer = 0;
    };

    void Listen(uint16_t port);
    void OnAccept();
    void OnReadable(int fd);
    void StartWriting(int fd);
    void OnWritable(int fd);
    void Close(int fd);

    EventLoop& m_loop;
    Device& m_device;
    Fd m_listen;
    uint16_t m_port = 0;
    std::map<int, std::unique_ptr<Connection>> m_connections;
};

} // namespace vynsim
