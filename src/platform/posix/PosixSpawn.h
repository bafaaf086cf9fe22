// The one way this program and its swap helper start another: chosen standard descriptors (and one handed
// over), nothing else inherited, every signal at its default and none blocked. Header-only, free of Qt.
#pragma once

#include <csignal>

#include <fcntl.h>
#include <spawn.h>

namespace PosixSpawn {

// Where a standard descriptor of the child comes from, beside a descriptor of this process.
inline constexpr int kDevNull = -1; // /dev/null, opened for reading (0) or writing (1, 2)
inline constexpr int kInherit = -2; // this process's own

struct Setup {
    int in = kDevNull;
    int out = kDevNull;
    int err = kDevNull;
    // Becomes descriptor 3 of the child; -1 passes nothing beyond 0-2.
    int handOver = -1;
    // The child's working directory; null keeps this process's.
    const char* workingDir = nullptr;
    // A session of its own, so that neither the end of this program nor a Ctrl-C in its terminal reaches
    // the child; otherwise a process group of its own, so that one signal reaches all that it starts.
    bool ownSession = true;
};

// posix_spawn with `setup`; returns 0, or the error number of the failed start.
inline int start(pid_t* pid, const char* program, char* const argv[], char* const envp[],
                 const Setup& setup) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (const int rc = posix_spawn_file_actions_init(&actions))
        return rc;
    if (const int rc = posix_spawnattr_init(&attr)) {
        posix_spawn_file_actions_destroy(&actions);
        return rc;
    }

    const auto route = [&actions](int from, int to, int openFlags) {
        if (from == kDevNull)
            posix_spawn_file_actions_addopen(&actions, to, "/dev/null", openFlags, 0);
        else if (from >= 0)
            posix_spawn_file_actions_adddup2(&actions, from, to);
    };
    route(setup.in, 0, O_RDONLY);
    route(setup.out, 1, O_WRONLY);
    route(setup.err, 2, O_WRONLY);
    if (setup.workingDir && *setup.workingDir)
        posix_spawn_file_actions_addchdir_np(&actions, setup.workingDir);
    // Whatever this program holds (X11 and D-Bus sockets, the instance lock) must not live on in a child;
    // only a descriptor handed over on purpose does.
    if (setup.handOver >= 0)
        posix_spawn_file_actions_adddup2(&actions, setup.handOver, 3);
    posix_spawn_file_actions_addclosefrom_np(&actions, setup.handOver >= 0 ? 4 : 3);

    // An ignored SIGPIPE or SIGINT, or a signal this thread blocks, would otherwise carry over exec.
    sigset_t all, none;
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (setup.ownSession) {
        flags |= POSIX_SPAWN_SETSID;
    } else {
        posix_spawnattr_setpgroup(&attr, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&attr, flags);

    const int rc = ::posix_spawn(pid, program, &actions, &attr, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return rc;
}

} // namespace PosixSpawn
