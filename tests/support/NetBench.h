#pragma once

#include <functional>
#include <string>

// How a bench is built; both sides treat every address as on-link.
struct NetBenchOptions
{
    std::string pcAddress = "10.213.0.1/24";
    std::string devAddress = "10.213.0.2/24";
    bool devAnswersArp = true; // off: the device ignores ARP requests

    // The PC's default route: on its link, none (a PC cabled straight to the
    // device), or a gateway host (10.213.0.254) that forwards nothing.
    enum class Route { OnLink, None, Gateway };
    Route pcRoute = Route::OnLink;
    // A second PC interface (10.214.0.1/24), made before veth-pc, to a host
    // of no device.
    bool secondInterface = false;
};

// Namespaces "pc" and "dev" joined by veth-pc and veth-dev (tools/netbench.sh),
// with names of their own; the device takes datagrams for any address.
class NetBench
{
public:
    static bool IsRoot();

    // Creates the namespaces; throws std::runtime_error when that fails.
    explicit NetBench(const std::string& tag, const NetBenchOptions& options = {});
    ~NetBench();
    NetBench(const NetBench&) = delete;
    NetBench& operator=(const NetBench&) = delete;

    std::string PcNamespace() const { return m_name + "-pc"; }
    std::string DevNamespace() const { return m_name + "-dev"; }

    // Moves the calling thread into a namespace until the guard is destroyed.
    // Sockets keep the namespace they were made in.
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

    // Runs a shell command inside a namespace: its exit status, or what it
    // printed (standard output and error together).
    int RunIn(const std::string& ns, const std::string& shellCommand) const;
    int RunInPc(const std::string& cmd) const { return RunIn(PcNamespace(), cmd); }
    std::string OutputIn(const std::string& ns, const std::string& shellCommand) const;
    std::string OutputInPc(const std::string& cmd) const { return OutputIn(PcNamespace(), cmd); }

    // Runs fn on a thread of its own inside a namespace, rethrowing what it
    // throws; withoutNetCaps drops CAP_NET_ADMIN and CAP_NET_RAW there first.
    static void RunOnThreadIn(const std::string& ns, bool withoutNetCaps, const std::function<void()>& fn);

    // The device answers ARP requests, or ignores them (and reaches the PC
    // through a static entry).
    void SetDevArp(bool answers) const;

    static constexpr const char* PcIp = "10.213.0.1";
    static constexpr const char* DevIp = "10.213.0.2";

private:
    std::string m_name;
    std::string m_pcAddress;
};

// Skips the current test when not root: namespaces need it.
#define VYN_REQUIRE_ROOT()                                                                        \
    do {                                                                                          \
        if (!NetBench::IsRoot())                                                                  \
            GTEST_SKIP() << "needs root to create network namespaces (CI runs as root)";          \
    } while (0)
