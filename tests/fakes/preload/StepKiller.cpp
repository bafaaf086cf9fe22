// Preloaded into the swap helper by tests. It counts the calls that change the file system or start a
// program, appends each to $QUILLBAY_STEP_LOG, and kills the process with SIGKILL just before the one
// numbered $QUILLBAY_KILL_AT (from 1). With $QUILLBAY_NO_EXCHANGE set, renameat2's exchange fails as it
// does on a file system without it. The variables are cleared at load, so that what the helper starts
// runs unobserved.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

namespace {

// Plain values only: the constructor below may run before any C++ object of this library is built.
int killAt = 0;
bool noExchange = false;
char* logPath = nullptr;
int counted = 0;

__attribute__((constructor)) void load() {
    if (const char* at = std::getenv("QUILLBAY_KILL_AT"))
        killAt = std::atoi(at);
    noExchange = std::getenv("QUILLBAY_NO_EXCHANGE") != nullptr;
    if (const char* log = std::getenv("QUILLBAY_STEP_LOG"))
        logPath = strdup(log);
    for (const char* name : {"QUILLBAY_KILL_AT", "QUILLBAY_NO_EXCHANGE", "QUILLBAY_STEP_LOG", "LD_PRELOAD"})
        unsetenv(name);
}

void step(const char* call, const char* path) {
    ++counted;
    if (logPath) {
        const int fd = ::open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0) {
            dprintf(fd, "%d %s %s\n", counted, call, path ? path : "");
            ::close(fd);
        }
    }
    if (counted == killAt)
        ::kill(::getpid(), SIGKILL);
}

template <typename F> F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int rename(const char* from, const char* to) {
    step("rename", from);
    return next<int (*)(const char*, const char*)>("rename")(from, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags) {
    step("renameat2", from);
    if (noExchange && (flags & RENAME_EXCHANGE)) {
        errno = EINVAL;
        return -1;
    }
    return next<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2")(fromDir, from, toDir,
                                                                                        to, flags);
}

int unlink(const char* path) {
    step("unlink", path);
    return next<int (*)(const char*)>("unlink")(path);
}

int unlinkat(int dir, const char* path, int flags) {
    step("unlinkat", path);
    return next<int (*)(int, const char*, int)>("unlinkat")(dir, path, flags);
}

int rmdir(const char* path) {
    step("rmdir", path);
    return next<int (*)(const char*)>("rmdir")(path);
}

int remove(const char* path) {
    step("remove", path);
    return next<int (*)(const char*)>("remove")(path);
}

int posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                const posix_spawnattr_t* attr, char* const argv[], char* const envp[]) {
    step("posix_spawn", path);
    return next<int (*)(pid_t*, const char*, const posix_spawn_file_actions_t*, const posix_spawnattr_t*,
                        char* const[], char* const[])>("posix_spawn")(pid, path, actions, attr, argv, envp);
}

} // extern "C"
