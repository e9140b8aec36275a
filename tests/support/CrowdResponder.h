#pragma once

#include "support/NetBench.h"

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// Many other devices on the segment: in the bench's device namespace, every
// broadcast search query (00 00 00 F6 to 255.255.255.255 on the device port)
// is answered at once by Count devices in one burst, each from an address and
// with a MAC of its own (02-63-72-00-hi-lo for device 1..Count, from
// FirstAddress upwards). The simulated device on the same port answers as
// before; unicast to it is left alone.
class CrowdResponder
{
public:
    // Throws std::runtime_error when the sockets cannot be made.
    CrowdResponder(const NetBench& bench, int count, const std::string& firstAddress = "10.213.0.10",
                   uint16_t port = 30718);
    ~CrowdResponder();
    CrowdResponder(const CrowdResponder&) = delete;
    CrowdResponder& operator=(const CrowdResponder&) = delete;

    // Search queries answered so far.
    int Bursts() const { return m_bursts.load(); }
    // Answers the system refused to send (none expected).
    int SendFailures() const { return m_sendFailures.load(); }

private:
    void Run();
    void Answer(const sockaddr_in& to);
    void CloseAll();

    int m_listen = -1;
    std::vector<int> m_send; // one socket a device
    int m_stop[2] = {-1, -1};
    std::atomic<int> m_bursts{0};
    std::atomic<int> m_sendFailures{0};
    std::thread m_thread;
};
