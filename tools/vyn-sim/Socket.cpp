#include "Socket.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace vynsim {

void Fd::Reset(int fd)
{
    if (m_fd >= 0)
        close(m_fd);
    m_fd = fd;
}

sockaddr_in MakeAddr(Ip4 ip, uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = ip;
    a.sin_port = htons(port);
    return a;
}

std::string PeerText(const sockaddr_in& a)
{
    return IpText(a.sin_addr.s_addr) + ":" + std::to_string(ntohs(a.sin_port));
}

Fd BoundSocket(int type, uint16_t port)
{
    Fd s(socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (s.Get() < 0)
        throw std::system_error(errno, std::generic_category(), "socket");
    const int one = 1;
    setsockopt(s.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const sockaddr_in a = MakeAddr(INADDR_ANY, port);
    if (bind(s.Get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0)
        throw std::system_error(errno, std::generic_category(),
                                "bind to port " + std::to_string(port));
    return s;
}

} // namespace vynsim
