#pragma once

#include "Options.h"

#include <netinet/in.h>

#include <string>

namespace vynsim {

// A file descriptor that closes itself.
class Fd
{
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd&& o) noexcept : m_fd(o.Release()) {}
    Fd& operator=(Fd&& o) noexcept
    {
        if (this != &o)
            Reset(o.Release());
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { Reset(); }

    int Get() const { return m_fd; }
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1);

private:
    int m_fd = -1;
};

sockaddr_in MakeAddr(Ip4 ip, uint16_t port);
std::string PeerText(const sockaddr_in& a);

// A non-blocking socket bound to any address; throws std::system_error.
Fd BoundSocket(int type, uint16_t port);

} // namespace vynsim
