#include "platform/Capabilities.h"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace platform {

namespace {

constexpr const char* kSelf = "/proc/self/exe";

uint64_t joined(uint32_t low, uint32_t high)
{
    return uint64_t(high) << 32 | low;
}

} // namespace

int ReadCapabilities(CapabilitySets& sets)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return errno;
    sets = {joined(data[0].effective, data[1].effective), joined(data[0].permitted, data[1].permitted),
            joined(data[0].inheritable, data[1].inheritable), 0};
    // The kernel keeps the ambient set within both the permitted and the
    // inheritable one, so only those capabilities are asked about. A kernel
    // without ambient capabilities (before 4.3) answers EINVAL.
    const uint64_t possible = sets.permitted & sets.inheritable;
    for (int cap = 0; cap < 64; ++cap) {
        if ((possible >> cap & 1) == 0)
            continue;
        const int set = ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_IS_SET, cap, 0, 0);
        if (set < 0 && errno != EINVAL)
            return errno;
        if (set == 1)
            sets.ambient |= uint64_t(1) << cap;
    }
    return 0;
}

int DropAllCapabilities()
{
    CapabilitySets held;
    if (ReadCapabilities(held) == 0 && !held.Any())
        return 0;
    // Sets that could not be read are cleared all the same; the check after
    // tells. Emptying the permitted and inheritable sets empties the ambient
    // one with them.
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[2] = {};
    if (::syscall(SYS_capset, &header, none) != 0)
        return errno;
    if (const int error = ReadCapabilities(held))
        return error;
    return held.Any() ? EPERM : 0;
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
