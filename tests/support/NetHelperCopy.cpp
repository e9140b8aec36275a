#include "support/NetHelperCopy.h"

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace {

constexpr unsigned kNobody = 65534;

int shell(const std::string& cmd)
{
    return std::system(cmd.c_str());
}

} // namespace

NetHelperCopy::NetHelperCopy(bool withRights, gid_t group)
{
    char dir[] = "/tmp/vyn-netpriv-XXXXXX";
    if (!mkdtemp(dir))
        throw std::runtime_error("mkdtemp failed");
    m_dir = dir;
    if (chmod(dir, 0755) != 0 || shell("cp " + BuiltPath() + " " + Path() + " && chmod 755 " + Path()) != 0) {
        shell("rm -rf " + m_dir);
        throw std::runtime_error("cannot copy the network helper to " + m_dir);
    }
    // Changing the owner takes file capabilities away: setcap comes last.
    if (group != kEveryone && (chown(Path().c_str(), 0, group) != 0 || chmod(Path().c_str(), 0750) != 0)) {
        shell("rm -rf " + m_dir);
        throw std::runtime_error("cannot give " + Path() + " to its group");
    }
    if (withRights && shell("setcap cap_net_admin,cap_net_raw+ep " + Path()) != 0) {
        shell("rm -rf " + m_dir);
        throw std::runtime_error("setcap failed on " + Path());
    }
}

NetHelperCopy::~NetHelperCopy()
{
    shell("rm -rf " + m_dir);
}

std::string NetHelperCopy::Script(const std::string& name, const std::string& body) const
{
    const std::string path = m_dir + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    chmod(path.c_str(), 0755);
    return path;
}

std::string NetHelperCopy::BuiltPath()
{
    return VYN_NETPRIV_PATH;
}

std::string NetHelperCopy::ProgramPath()
{
    const std::string helper = BuiltPath();
    return helper.substr(0, helper.find_last_of('/') + 1) + "VYN16";
}

void BecomeNormalUser(gid_t group)
{
    // The raw calls change the calling thread alone; the library's wrappers
    // would change every thread of the process.
    if (syscall(SYS_setgroups, group != 0 ? 1 : 0, &group) != 0 ||
        syscall(SYS_setresgid, kNobody, kNobody, kNobody) != 0 ||
        syscall(SYS_setresuid, kNobody, kNobody, kNobody) != 0)
        throw std::runtime_error("cannot become user nobody");
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0 || data[0].effective || data[0].permitted || data[1].effective ||
        data[1].permitted)
        throw std::runtime_error("capabilities left after becoming nobody");
}

std::string FileCapabilities(const std::string& path)
{
    std::string out;
    FILE* pipe = popen(("getcap " + path).c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot run getcap");
    char buffer[512];
    while (const size_t n = fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, n);
    if (pclose(pipe) != 0)
        throw std::runtime_error("getcap failed on " + path);
    return out;
}
