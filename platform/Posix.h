#pragma once

#include <QString>

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

private:
    int m_fd;
};

// The system's text for an errno value (thread-safe, unlike strerror).
QString ErrnoText(int error);

} // namespace platform
