// Every step leaves a folder named like the install folder that holds a whole program (or, only where the
// file system cannot exchange names and only between two renames, the previous one beside it as ".old").
#include "platform/FolderSwap.h"

#include "platform/Pidfd.h"
#include "platform/SystemLog.h"
#include "platform/posix/PosixSpawn.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <initializer_list>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace FolderSwap {
namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

void removeTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    if (ec)
        note("update: could not remove " + path + ": " + ec.message());
}

// The renames reach the disk before anything is started from their result.
void syncParentOf(const std::string& path) {
    const std::string parent = std::filesystem::path(path).parent_path().string();
    const int fd = ::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void sleepMs(int ms) {
    timespec t{ms / 1000, long(ms % 1000) * 1000000L};
    while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

// Waits until `pid` (not a child of this process) has ended, at most `timeoutMs`. A program still there
// after that is stuck (quitting takes it a second or two): it is killed, so that the new version never
// starts beside it and leaves at once, finding the instance taken, while the stuck one then goes too.
void waitForExit(pid_t pid, int timeoutMs) {
    if (pid <= 0)
        return;
    const int fd = Pidfd::open(pid);
    if (fd >= 0) {
        pollfd p{fd, POLLIN, 0};
        int ready;
        while ((ready = ::poll(&p, 1, timeoutMs)) < 0 && errno == EINTR) {
        }
        if (ready == 0) {
            note("update: the program has not ended after " + std::to_string(timeoutMs / 1000) +
                 " s; it is stopped");
            // Through the descriptor: never another process that took the number meanwhile.
            Pidfd::sendSignal(fd, SIGKILL);
            while (::poll(&p, 1, kKillWaitMs) < 0 && errno == EINTR) {
            }
        }
        ::close(fd);
        return;
    }
    if (errno == ESRCH)
        return;
    // No process descriptors on this kernel: ask with signal 0.
    for (int waited = 0; waited < timeoutMs; waited += 100) {
        if (::kill(pid, 0) != 0 && errno == ESRCH)
            return;
        sleepMs(100);
    }
}

// Starts folder/bin/quillbay in a session of its own, detached from every descriptor of this process.
pid_t start(const std::string& folder) {
    std::string program = folder + "/bin/quillbay";
    char* argv[] = {program.data(), nullptr};
    // Standard descriptors on /dev/null, and the quit signals this process ignores back to their defaults.
    pid_t pid = -1;
    const int rc = PosixSpawn::start(&pid, program.c_str(), argv, environ, PosixSpawn::Setup{});
    if (rc != 0) {
        note("update: cannot start " + program + ": " + std::strerror(rc));
        return -1;
    }
    return pid;
}

// Starts the program in `folder`: true when it still runs after kStartWaitMs or ended with status 0.
bool startsWell(const std::string& folder) {
    const pid_t child = start(folder);
    if (child <= 0)
        return false;
    const int fd = Pidfd::open(child);
    if (fd >= 0) {
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, kStartWaitMs) < 0 && errno == EINTR) {
        }
        ::close(fd);
    } else {
        for (int waited = 0; waited < kStartWaitMs; waited += 20) {
            int status = 0;
            const pid_t r = ::waitpid(child, &status, WNOHANG);
            if (r == child)
                return WIFEXITED(status) && WEXITSTATUS(status) == 0;
            sleepMs(20);
        }
    }
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(child, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0)
        return true; // still running: it is left to run on its own
    return r == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A logout or a terminal's end must not stop the swap between two of its steps.
void ignoreQuitSignals() {
    for (int sig : {SIGHUP, SIGINT, SIGTERM, SIGQUIT, SIGPIPE})
        std::signal(sig, SIG_IGN);
}

bool exchangeUnsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

} // namespace

std::vector<std::string> arguments(const Args& args) {
    return {std::to_string(args.pid), args.destination, args.staging, args.archive, args.lockFile};
}

std::optional<Args> parseArguments(const std::vector<std::string>& arguments) {
    if (arguments.size() != 5)
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(arguments[0].c_str(), &end, 10);
    if (errno != 0 || end == arguments[0].c_str() || *end != '\0' || pid <= 0)
        return std::nullopt;
    for (size_t i = 1; i < arguments.size(); ++i)
        if (arguments[i].empty() || arguments[i].front() != '/')
            return std::nullopt;
    Args a;
    a.pid = pid_t(pid);
    a.destination = arguments[1];
    a.staging = arguments[2];
    a.archive = arguments[3];
    a.lockFile = arguments[4];
    return a;
}

bool replace(const std::string& destination, const std::string& incoming, const std::string& aside) {
    if (::renameat2(AT_FDCWD, incoming.c_str(), AT_FDCWD, destination.c_str(), RENAME_EXCHANGE) == 0) {
        // `incoming` now names what was at `destination`. Should this rename fail, the name it keeps is
        // one that the next start clears away.
        if (::rename(incoming.c_str(), aside.c_str()) != 0)
            note("update: could not rename " + incoming + " to " + aside + ": " + std::strerror(errno));
        syncParentOf(destination);
        return true;
    }
    if (!exchangeUnsupported(errno))
        return false;
    if (::rename(destination.c_str(), aside.c_str()) != 0)
        return false;
    if (::rename(incoming.c_str(), destination.c_str()) != 0) {
        const int error = errno;
        ::rename(aside.c_str(), destination.c_str());
        errno = error;
        return false;
    }
    syncParentOf(destination);
    return true;
}

int takeLock(const std::string& lockFile, int handOverFd) {
    int fd = -1;
    struct stat want {};
    struct stat have {};
    if (handOverFd >= 0 && ::stat(lockFile.c_str(), &want) == 0 && ::fstat(handOverFd, &have) == 0 &&
        have.st_dev == want.st_dev && have.st_ino == want.st_ino)
        fd = handOverFd;
    if (fd < 0) {
        do {
            fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0)
            return -1;
    }
    // Whatever this process starts must not keep the lock after it.
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

bool holdsProgram(const std::string& folder) {
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    const std::string program = folder + "/bin/quillbay";
    const std::string marker = folder + "/" + kMarker;
    return ::stat(program.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(program.c_str(), X_OK) == 0 &&
           ::stat(marker.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int run(const Args& a, int handOverFd) {
    ignoreQuitSignals();
    const int lock = takeLock(a.lockFile, handOverFd);
    if (lock < 0 && errno == EWOULDBLOCK) {
        note("update: another swap of the install folder is under way; this one stops");
        return 2;
    }
    if (lock < 0)
        note("update: cannot take " + a.lockFile + " (" + std::strerror(errno) + "); swapping without it");
    waitForExit(a.pid, kExitWaitMs);

    const std::string old = a.destination + kOldSuffix;
    const std::string failed = a.destination + kFailedSuffix;
    // An earlier swap stopped between its two renames: its ".old" is the program, not a leftover.
    if (!exists(a.destination) && holdsProgram(old) && ::rename(old.c_str(), a.destination.c_str()) == 0)
        note("update: " + a.destination + " was missing and was restored from " + old);
    removeTree(old);
    removeTree(failed);
    if (!holdsProgram(a.staging)) {
        note("update: " + a.staging + " holds no program; nothing was replaced");
        removeTree(a.staging);
        ::unlink(a.archive.c_str());
        start(a.destination);
        return 1;
    }
    if (!replace(a.destination, a.staging, old)) {
        note("update: cannot put " + a.staging + " in place of " + a.destination + ": " +
             std::strerror(errno));
        removeTree(a.staging);
        ::unlink(a.archive.c_str());
        start(a.destination);
        return 1;
    }
    ::unlink(a.archive.c_str());
    if (startsWell(a.destination)) {
        removeTree(old);
        return 0;
    }
    note("update: the new version did not start; the previous one is put back");
    if (replace(a.destination, old, failed))
        removeTree(failed);
    else
        note("update: cannot put " + old + " back: " + std::strerror(errno));
    start(a.destination);
    return 1;
}

void note(const std::string& message) {
    SystemLog::write(("[Quillbay] " + message).c_str());
}

} // namespace FolderSwap
