#pragma once

#include "support/NetBench.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The simulated device (tools/vyn-sim, or $VYN_SIM) in a bench's device
// namespace; its log of every datagram is printed when the test has failed.
class SimDevice
{
public:
    using Bytes = std::vector<uint8_t>;

    // Starts the simulator with extra options; throws std::runtime_error with
    // its log when it does not get ready.
    explicit SimDevice(const NetBench& bench, const std::vector<std::string>& options = {});
    ~SimDevice();
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    // One control command, its one-line answer ("ok ...", "none", "error ...").
    std::string Control(const std::string& command) const;
    // Changes an option marked * in --help; throws when it is refused.
    void Set(const std::string& option, const std::string& value = "1") const;

    // A record as the device would answer it now, by any of its header codes.
    Bytes Record(uint8_t code) const;
    // The last set datagram of that record as it arrived, if any came.
    std::optional<Bytes> LastSet(uint8_t code) const;
    // The stored SOAP document, if any.
    std::optional<std::string> SoapDocument() const;
    // "address/prefix gateway" the device lives at now.
    std::string Address() const;

    std::string Log() const;
    bool WaitForLog(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

private:
    bool Running() const;
    void Stop();
    void RemoveFiles() const;

    std::string m_dir;
    std::string m_log;
    std::string m_control;
    mutable pid_t m_pid = -1;
};
