#include "Log.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace vynsim {

namespace {

bool g_verbose = false;
const auto g_start = std::chrono::steady_clock::now();

} // namespace

void Log::SetVerbose(bool on)
{
    g_verbose = on;
}

bool Log::Verbose()
{
    return g_verbose;
}

void Log::Info(const std::string& text)
{
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - g_start).count();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "vyn-sim [%8.3f] ", t);
    const std::string line = stamp + text + "\n";
    [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, line.data(), line.size());
}

} // namespace vynsim
