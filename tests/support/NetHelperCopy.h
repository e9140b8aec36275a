#pragma once

#include <sys/types.h>

#include <string>

// A copy of the vyn-netpriv helper in a directory of its own that every user
// may enter, given its rights (setcap cap_net_admin,cap_net_raw+ep) or not;
// with a group, only root and that group may run it (mode 750), as the
// administrator sets it up. A directory under /tmp, since setcap needs a
// file system with extended attributes. Throws std::runtime_error when the
// copy or setcap fails.
class NetHelperCopy
{
public:
    static constexpr gid_t kEveryone = static_cast<gid_t>(-1);
    explicit NetHelperCopy(bool withRights, gid_t group = kEveryone);
    ~NetHelperCopy();
    NetHelperCopy(const NetHelperCopy&) = delete;
    NetHelperCopy& operator=(const NetHelperCopy&) = delete;

    std::string Path() const { return m_dir + "/vyn-netpriv"; }
    std::string Dir() const { return m_dir; }
    // A shell script of that name beside it, standing in for a broken helper.
    std::string Script(const std::string& name, const std::string& body) const;

    // The helper as built, and the program file beside it.
    static std::string BuiltPath();
    static std::string ProgramPath();

private:
    std::string m_dir;
};

// Makes the calling thread a normal user: uid and gid 65534 (nobody), no
// supplementary groups but the one given (0: none), no capabilities. Only
// this thread changes (the process's other threads stay root), and it stays
// so until it ends.
void BecomeNormalUser(gid_t group = 0);

// The file capabilities of a file as getcap prints them; empty for none.
std::string FileCapabilities(const std::string& path);
