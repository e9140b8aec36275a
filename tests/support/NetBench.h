#pragma once

#include <cstdint>
#include <string>

// A two-host network made of network namespaces (tools/netbench.sh): "pc"
// and "dev", joined by a veth pair, PC 10.213.0.1/24 and device 10.213.0.2/24.
// Each bench has names of its own, so tests may run in parallel.
class NetBench
{
public:
    static bool IsRoot();

    // Creates the namespaces; throws std::runtime_error when that fails.
    // `extraEnv` is put in front of the script call (e.g. "DEV_ADDR=...").
    explicit NetBench(const std::string& tag, const std::string& extraEnv = {});
    ~NetBench();
    NetBench(const NetBench&) = delete;
    NetBench& operator=(const NetBench&) = delete;

    const std::string& Name() const { return m_name; }
    std::string PcNamespace() const { return m_name + "-pc"; }
    std::string DevNamespace() const { return m_name + "-dev"; }

    // Moves the calling thread (and threads it starts later) into a namespace
    // until the guard is destroyed. Sockets keep the namespace they were made in.
    class Entered
    {
    public:
        explicit Entered(const std::string& ns);
        ~Entered();
        Entered(const Entered&) = delete;
        Entered& operator=(const Entered&) = delete;

    private:
        int m_saved = -1;
    };

    // Runs a shell command inside a namespace; returns its exit status.
    int RunIn(const std::string& ns, const std::string& shellCommand) const;
    int RunInPc(const std::string& cmd) const { return RunIn(PcNamespace(), cmd); }
    int RunInDev(const std::string& cmd) const { return RunIn(DevNamespace(), cmd); }

    static constexpr const char* PcIp = "10.213.0.1";
    static constexpr const char* DevIp = "10.213.0.2";

    // The script itself, for tests that call it with other arguments.
    static std::string Script();

private:
    std::string m_name;
    std::string m_extraEnv;
};

// Skips the current test when not root: namespaces need it.
#define VYN_REQUIRE_ROOT()                                                                        \
    do {                                                                                          \
        if (!NetBench::IsRoot())                                                                  \
            GTEST_SKIP() << "needs root to create network namespaces (CI runs as root)";          \
    } while (0)
