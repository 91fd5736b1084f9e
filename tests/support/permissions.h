#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// Lets file permissions apply to this process for as long as the object lives: a root process
// gives up its override of them (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH), since the suite runs as
// root on CI. For any other user there is nothing to give up.
class FilePermissionsApply {
public:
    FilePermissionsApply() {
        if (geteuid() != 0)
            return;
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct lowered[2] = {m_saved[0], m_saved[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_lowered = syscall(SYS_capset, &m_header, lowered) == 0;
    }
    ~FilePermissionsApply() {
        if (m_lowered)
            syscall(SYS_capset, &m_header, m_saved);
    }
    FilePermissionsApply(const FilePermissionsApply &) = delete;
    FilePermissionsApply &operator=(const FilePermissionsApply &) = delete;

    // False when root could not give up its override (the test should skip).
    bool works() const { return geteuid() != 0 || m_lowered; }

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_lowered = false;
};
