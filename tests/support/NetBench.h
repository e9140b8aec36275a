#pragma once

#include <cstdint>
#include <functional>
#include <string>

// How a bench is built. The device's address may lie outside the PC's subnet:
// both sides treat every address as on-link, as hosts on one segment do.
struct NetBenchOptions
{
    std::string pcAddress = "10.213.0.1/24";
    std::string devAddress = "10.213.0.2/24";
    bool devAnswersArp = true; // off: the device ignores ARP requests

    // The PC's default route: on its link (as before), none at all (a PC
    // cabled straight to the device), or through a gateway host in a third
    // namespace ("gw") that forwards nothing; PC, device and gateway then
    // share one segment, so a device outside the PC's subnet hears ARP and
    // broadcasts while datagrams routed to it end at the gateway.
    enum class Route { OnLink, None, Gateway };
    Route pcRoute = Route::OnLink;
    std::string gatewayAddress = "10.213.0.254/24";
    // A second PC interface (veth-pc2, made before veth-pc) to a namespace
    // "lan" (veth-lan) where no device lives.
    bool secondInterface = false;
    std::string pc2Address = "10.214.0.1/24";
    std::string lanAddress = "10.214.0.2/24";
};

// A two-host network made of network namespaces (tools/netbench.sh): "pc"
// and "dev", joined by a veth pair (veth-pc, veth-dev), by default PC
// 10.213.0.1/24 and device 10.213.0.2/24. The device namespace takes
// datagrams for any destination address that arrive on veth-dev (a device
// hears a set-IP record sent to its future address through a static ARP
// entry). Each bench has names of its own, so tests may run in parallel.
class NetBench
{
public:
    static bool IsRoot();

    // Creates the namespaces; throws std::runtime_error when that fails.
    // `extraEnv` is put in front of the script call (e.g. "DEV_ADDR=...").
    explicit NetBench(const std::string& tag, const std::string& extraEnv = {});
    NetBench(const std::string& tag, const NetBenchOptions& options);
    ~NetBench();
    NetBench(const NetBench&) = delete;
    NetBench& operator=(const NetBench&) = delete;

    const std::string& Name() const { return m_name; }
    std::string PcNamespace() const { return m_name + "-pc"; }
    std::string DevNamespace() const { return m_name + "-dev"; }
    std::string GwNamespace() const { return m_name + "-gw"; }
    std::string LanNamespace() const { return m_name + "-lan"; }

    // The addresses the bench was made with, without prefix.
    const std::string& PcAddress() const { return m_pcAddress; }
    const std::string& DevAddress() const { return m_devAddress; }
    const std::string& GatewayAddress() const { return m_gatewayAddress; }
    const std::string& Pc2Address() const { return m_pc2Address; }

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
    // Runs a shell command inside a namespace; returns what it printed
    // (standard output and error together).
    std::string OutputIn(const std::string& ns, const std::string& shellCommand) const;
    std::string OutputInPc(const std::string& cmd) const { return OutputIn(PcNamespace(), cmd); }
    std::string OutputInDev(const std::string& cmd) const { return OutputIn(DevNamespace(), cmd); }

    // Runs fn on a thread of its own inside a namespace and rethrows what it
    // throws. withoutNetCaps drops CAP_NET_ADMIN and CAP_NET_RAW on that
    // thread first, as a program started by a normal user has neither
    // (capabilities belong to threads, so the test process keeps its own).
    static void RunOnThreadIn(const std::string& ns, bool withoutNetCaps, const std::function<void()>& fn);

    // The device answers ARP requests, or ignores them (it then reaches the
    // PC through a static entry for the PC's MAC).
    void SetDevArp(bool answers) const;

    static constexpr const char* PcIp = "10.213.0.1";
    static constexpr const char* DevIp = "10.213.0.2";
    static constexpr const char* PcMac = "02:76:79:6e:00:01";
    static constexpr const char* DevMac = "02:76:79:6e:00:02";

    // The script itself, for tests that call it with other arguments.
    static std::string Script();

private:
    void Up();

    std::string m_name;
    std::string m_extraEnv;
    std::string m_pcAddress = PcIp;
    std::string m_devAddress = DevIp;
    std::string m_gatewayAddress;
    std::string m_pc2Address;
};

// Skips the current test when not root: namespaces need it.
#define VYN_REQUIRE_ROOT()                                                                        \
    do {                                                                                          \
        if (!NetBench::IsRoot())                                                                  \
            GTEST_SKIP() << "needs root to create network namespaces (CI runs as root)";          \
    } while (0)
