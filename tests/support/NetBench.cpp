#include "support/NetBench.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>

namespace {

int shell(const std::string& cmd)
{
    const int rc = std::system(cmd.c_str());
    return (rc != -1 && WIFEXITED(rc)) ? WEXITSTATUS(rc) : -1;
}

std::string uniqueName(const std::string& tag)
{
    static std::atomic<int> counter{0};
    // Namespace names are free-form, but the bench's veth names are fixed, so
    // only the namespace names need to differ between parallel tests.
    return "vyn" + tag + std::to_string(getpid()) + "n" + std::to_string(counter++);
}

} // namespace

bool NetBench::IsRoot()
{
    return geteuid() == 0;
}

std::string NetBench::Script()
{
    return std::string(VYN_SOURCE_DIR) + "/tools/netbench.sh";
}

NetBench::NetBench(const std::string& tag, const std::string& extraEnv)
    : m_name(uniqueName(tag)), m_extraEnv(extraEnv)
{
    if (shell(m_extraEnv + " " + Script() + " up " + m_name + " >&2") != 0) {
        shell(Script() + " down " + m_name);
        throw std::runtime_error("netbench up failed for " + m_name);
    }
}

NetBench::~NetBench()
{
    shell(Script() + " down " + m_name);
}

int NetBench::RunIn(const std::string& ns, const std::string& shellCommand) const
{
    std::string quoted = "'";
    for (char c : shellCommand)
        quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    return shell("ip netns exec " + ns + " sh -c " + quoted);
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
