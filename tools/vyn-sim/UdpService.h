#pragma once

#include "Device.h"
#include "EventLoop.h"
#include "Socket.h"

#include <functional>

namespace vynsim {

// The setup-record protocol on its UDP port: datagrams in, the device's
// reactions out, with the transport faults applied on the way.
class UdpService
{
public:
    using MoveHandler = std::function<void(const NetSettings&)>;

    // `onMove` puts the device at new address settings; `afterSet` runs
    // after every stored set, for settings other services follow.
    UdpService(EventLoop& loop, Device& device, MoveHandler onMove, std::function<void()> afterSet);

    struct Stats
    {
        unsigned received = 0;
        unsigned sent = 0;
        unsigned dropped = 0;
    };
    const Stats& Counters() const { return m_stats; }

private:
    void OnReadable();
    void Reply(Bytes answer, const sockaddr_in& to, Ip4 source);
    void Emit(const Bytes& answer, const sockaddr_in& to, Ip4 source);
    int SendingSocket();

    EventLoop& m_loop;
    Device& m_device;
    MoveHandler m_onMove;
    std::function<void()> m_afterSet;
    Fd m_socket;
    Fd m_other; // for answers from another port
    uint16_t m_otherPort = 0;
    Stats m_stats;
};

// Lets a socket send from an address the device does not have (its old one
// after a move, or a wrong one on purpose). Needs CAP_NET_ADMIN.
void AllowAnySource(int fd);

} // namespace vynsim
