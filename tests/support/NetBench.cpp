#include "support/NetBench.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>
#include <thread>

namespace {

int shell(const std::string& cmd)
{
    const int rc = std::system(cmd.c_str());
    return (rc != -1 && WIFEXITED(rc)) ? WEXITSTATUS(rc) : -1;
}

std::string script()
{
    return std::string(VYN_SOURCE_DIR) + "/tools/netbench.sh";
}

// vyn<tag>-<pid>-<n>: `netbench.sh clean` removes those of ended processes.
std::string uniqueName(const std::string& tag)
{
    static std::atomic<int> counter{0};
    return "vyn" + tag + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

std::string optionsEnv(const NetBenchOptions& o)
{
    const char* route = o.pcRoute == NetBenchOptions::Route::None      ? "none"
                        : o.pcRoute == NetBenchOptions::Route::Gateway ? "gateway"
                                                                       : "onlink";
    return "PC_ADDR=" + o.pcAddress + " DEV_ADDR=" + o.devAddress + " DEV_ARP=" + (o.devAnswersArp ? "on" : "off")
           + " PC_ROUTE=" + route + " PC_IFACES=" + (o.secondInterface ? "2" : "1");
}

std::string inNamespaceCommand(const std::string& ns, const std::string& shellCommand)
{
    std::string quoted = "'";
    for (char c : shellCommand)
        quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    return "ip netns exec " + ns + " sh -c " + quoted + "'";
}

void dropNetCapabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    const uint32_t net = (1u << CAP_NET_ADMIN) | (1u << CAP_NET_RAW);
    if (syscall(SYS_capget, &header, data) != 0)
        throw std::runtime_error("capget failed");
    data[0].effective &= ~net;
    data[0].permitted &= ~net;
    data[0].inheritable &= ~net;
    if (syscall(SYS_capset, &header, data) != 0)
        throw std::runtime_error("capset failed");
}

} // namespace

bool NetBench::IsRoot()
{
    return geteuid() == 0;
}

NetBench::NetBench(const std::string& tag, const NetBenchOptions& options)
    : m_name(uniqueName(tag)), m_pcAddress(options.pcAddress.substr(0, options.pcAddress.find('/')))
{
    if (shell(optionsEnv(options) + " " + script() + " up " + m_name + " >&2") != 0) {
        shell(script() + " down " + m_name);
        throw std::runtime_error("netbench up failed for " + m_name);
    }
}

NetBench::~NetBench()
{
    shell(script() + " down " + m_name);
}

void NetBench::SetDevArp(bool answers) const
{
    const std::string cmd = "PC_ADDR=" + m_pcAddress + " " + script() + " arp " + m_name
                            + (answers ? " on" : " off") + " >&2";
    if (shell(cmd) != 0)
        throw std::runtime_error("netbench arp failed for " + m_name);
}

int NetBench::RunIn(const std::string& ns, const std::string& shellCommand) const
{
    return shell(inNamespaceCommand(ns, shellCommand));
}

std::string NetBench::OutputIn(const std::string& ns, const std::string& shellCommand) const
{
    std::string output;
    FILE* pipe = popen((inNamespaceCommand(ns, shellCommand) + " 2>&1").c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    while (const size_t n = fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, n);
    pclose(pipe);
    return output;
}

void NetBench::RunOnThreadIn(const std::string& ns, bool withoutNetCaps, const std::function<void()>& fn)
{
    std::exception_ptr error;
    std::thread t([&] {
        try {
            Entered inside(ns);
            if (withoutNetCaps)
                dropNetCapabilities();
            fn();
        } catch (...) {
            error = std::current_exception();
        }
    });
    t.join();
    if (error)
        std::rethrow_exception(error);
}

NetBench::Entered::Entered(const std::string& ns)
{
    m_saved = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int target = open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    if (m_saved < 0 || target < 0 || setns(target, CLONE_NEWNET) != 0) {
        if (target >= 0)
            close(target);
        if (m_saved >= 0)
            close(m_saved);
        throw std::runtime_error("cannot enter network namespace " + ns);
    }
    close(target);
}

NetBench::Entered::~Entered()
{
    setns(m_saved, CLONE_NEWNET);
    close(m_saved);
}
