#include "EventLoop.h"

#include <poll.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace vynsim {

void EventLoop::Watch(int fd, short events, Handler handler)
{
    m_watched[fd] = {events, std::move(handler)};
}

void EventLoop::Unwatch(int fd)
{
    m_watched.erase(fd);
}

uint64_t EventLoop::After(int ms, Handler handler)
{
    const uint64_t id = m_nextTimer++;
    m_timers.emplace(Clock::now() + std::chrono::milliseconds(ms), Timer{id, std::move(handler)});
    return id;
}

void EventLoop::Cancel(uint64_t timer)
{
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it)
        if (it->second.id == timer) {
            m_timers.erase(it);
            return;
        }
}

void EventLoop::Run()
{
    m_stopped = false;
    while (!m_stopped) {
        int timeout = -1;
        if (!m_timers.empty()) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                m_timers.begin()->first - Clock::now());
            timeout = wait.count() < 0 ? 0 : static_cast<int>(wait.count()) + 1;
        }
        std::vector<pollfd> fds;
        for (const auto& [fd, w] : m_watched)
            fds.push_back({fd, w.events, 0});
        const int n = poll(fds.data(), fds.size(), timeout);
        if (n < 0 && errno != EINTR)
            throw std::system_error(errno, std::generic_category(), "poll");

        while (!m_timers.empty() && m_timers.begin()->first <= Clock::now()) {
            Handler h = std::move(m_timers.begin()->second.handler);
            m_timers.erase(m_timers.begin());
            h();
        }
        for (const pollfd& p : fds) {
            if (n <= 0 || !p.revents)
                continue;
            // An earlier handler of this round may have dropped or replaced it.
            auto it = m_watched.find(p.fd);
            if (it == m_watched.end())
                continue;
            Handler h = it->second.handler;
            h();
        }
    }
}

} // namespace vynsim
