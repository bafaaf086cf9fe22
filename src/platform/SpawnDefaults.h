// The start of a process that must not take over what this one has set up: a session of its own, every
// signal back to its default action and none blocked. Header-only and free of Qt (the swap helper uses it).
#pragma once

#include <csignal>

#include <spawn.h>

namespace SpawnDefaults {

// Sets `attr` up so; the caller adds no other flags.
inline void newSession(posix_spawnattr_t* attr) {
    sigset_t all, none;
    sigfillset(&all);
    sigdelset(&all, SIGKILL);
    sigdelset(&all, SIGSTOP);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(attr, &all);
    posix_spawnattr_setsigmask(attr, &none);
    posix_spawnattr_setflags(attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
}

} // namespace SpawnDefaults
