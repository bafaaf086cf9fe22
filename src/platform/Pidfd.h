// Process file descriptors through raw system calls (glibc 2.36 has no wrappers for them everywhere).
#pragma once

#include <cerrno>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

namespace Pidfd {

// A descriptor that becomes readable when `pid` ends, or -1 (errno set).
inline int open(pid_t pid) {
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    errno = ENOSYS;
    return -1;
#endif
}

// Signals the process behind `pidfd`; immune to the pid being reused. 0 on success.
inline int sendSignal(int pidfd, int sig) {
#ifdef SYS_pidfd_send_signal
    return int(::syscall(SYS_pidfd_send_signal, pidfd, sig, nullptr, 0));
#else
    errno = ENOSYS;
    return -1;
#endif
}

} // namespace Pidfd
