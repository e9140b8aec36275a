#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>

namespace vynsim {

// One thread, one poll(): sockets and timers of every service. Handlers may
// add and remove watches and timers, their own included.
class EventLoop
{
public:
    using Handler = std::function<void()>;
    using Clock = std::chrono::steady_clock;

    void Watch(int fd, short events, Handler handler);
    void Unwatch(int fd);
    uint64_t After(int ms, Handler handler);
    void Cancel(uint64_t timer);

    void Run(); // until Stop()
    void Stop() { m_stopped = true; }

private:
    struct Watched
    {
        short events;
        Handler handler;
    };
    struct Timer
    {
        uint64_t id;
        Handler handler;
    };
    std::map<int, Watched> m_watched;
    std::multimap<Clock::time_point, Timer> m_timers;
    uint64_t m_nextTimer = 1;
    bool m_stopped = false;
};

} // namespace vynsim
