#pragma once

#include <QString>

#include <cstdint>

#include <unistd.h>

namespace platform {

// Owns a file descriptor and closes it on destruction.
class UniqueFd
{
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return m_fd; }
    void reset(int fd)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// The system's text for an errno value (thread-safe, unlike strerror).
QString ErrnoText(int error);

// Dotted text of an IPv4 address in network byte order.
QString Ipv4Text(uint32_t networkOrder);

} // namespace platform
