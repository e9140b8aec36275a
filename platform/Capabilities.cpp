#include "platform/Capabilities.h"

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace platform {

namespace {

constexpr const char* kSelf = "/proc/self/exe";

// Whether the calling thread holds any capability, as DropAllCapabilities
// counts them; 0 or the errno of the read.
int holdsAny(bool& held)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return errno;
    held = false;
    for (const __user_cap_data_struct& d : data)
        held = held || (d.effective | d.permitted | d.inheritable) != 0;
    return 0;
}

} // namespace

int DropAllCapabilities()
{
    bool held = true;
    if (holdsAny(held) == 0 && !held)
        return 0;
    // Sets that could not be read are cleared all the same; the check after
    // tells. Emptying the permitted and inheritable sets empties the ambient
    // one with them.
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[2] = {};
    if (::syscall(SYS_capset, &header, none) != 0)
        return errno;
    if (const int error = holdsAny(held))
        return error;
    return held ? EPERM : 0;
}

ProgramFile RunningProgramFile()
{
    ProgramFile file;
    // Through /proc the file itself, even when no path leads to it any more.
    const ssize_t size = ::getxattr(kSelf, "security.capability", nullptr, 0);
    if (size == 0 || (size < 0 && (errno == ENODATA || errno == ENOTSUP)))
        file.capabilities = false;
    char path[PATH_MAX + 1];
    const ssize_t n = ::readlink(kSelf, path, sizeof path);
    if (n <= 0 || n == ssize_t(sizeof path) || path[0] != '/')
        return file;
    // The path named there may since lead elsewhere (" (deleted)" added to a
    // removed file's, or a new file put in its place).
    file.path.assign(path, size_t(n));
    struct stat running {}, named {};
    if (::stat(kSelf, &running) != 0 || ::stat(file.path.c_str(), &named) != 0 || running.st_dev != named.st_dev ||
        running.st_ino != named.st_ino)
        file.path.clear();
    return file;
}

} // namespace platform
