#include "platform/Capabilities.h"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

int DropAllCapabilities()
{
    // A kernel without ambient capabilities (before 4.3) has none to clear.
    if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 && errno != EINVAL)
        return errno;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capset, &header, data) != 0 || ::syscall(SYS_capget, &header, data) != 0)
        return errno;
    for (const __user_cap_data_struct& d : data) {
        if (d.effective != 0 || d.permitted != 0 || d.inheritable != 0)
            return EPERM;
    }
    return 0;
}

} // namespace platform
