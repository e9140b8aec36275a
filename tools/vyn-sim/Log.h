#pragma once

#include <string>

namespace vynsim {

// Log lines go to standard error, one write each, with the time since start
// so that a test's log reads as a timeline. Wire lines only with --verbose.
class Log
{
public:
    static void SetVerbose(bool on);
    static bool Verbose();
    static void Info(const std::string& text);
    static void Wire(const std::string& text)
    {
        if (Verbose())
            Info(text);
    }
};

} // namespace vynsim
