#pragma once

#include "support/NetBench.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A simulated VYN device (tools/vyn-sim) running in a bench's device
// namespace for the life of the object. It starts with --verbose, so its log
// shows every datagram; the log is printed when the test has failed.
//
//     NetBench bench("mytest");
//     SimDevice sim(bench, {"--device-type", "317", "--device-version", "2"});
//     { NetBench::Entered pc(bench.PcNamespace()); /* talk to bench.DevAddress() */ }
//     EXPECT_EQ(sim.Record(0xE0)[24], 0x11);
class SimDevice
{
public:
    using Bytes = std::vector<uint8_t>;

    // The simulator program (the build's, or $VYN_SIM).
    static std::string Program();

    // Starts the simulator with extra command-line options and waits until it
    // is ready; throws std::runtime_error (with its log) when it does not start.
    explicit SimDevice(const NetBench& bench, const std::vector<std::string>& options = {});
    ~SimDevice();
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    // One control command, its one-line answer ("ok ...", "none", "error ...").
    std::string Control(const std::string& command) const;

    // Changes a fault (or another option marked * in --help) while it runs;
    // throws std::runtime_error when the simulator refuses it.
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
    // Waits until the log holds `text`.
    bool WaitForLog(const std::string& text,
                    std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

    bool Running() const;
    pid_t Pid() const { return m_pid; }
    // Ends the simulator (also done by the destructor).
    void Stop();

private:
    void RemoveFiles() const;

    std::string m_dir;
    std::string m_log;
    std::string m_control;
    mutable pid_t m_pid = -1;
};
