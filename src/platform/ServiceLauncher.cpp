// posix_spawn in a new session, stdin from /dev/null and nothing inherited beyond 0-2 (and a descriptor
// handed over on purpose); pidfds through the raw system calls so that no newer C library is needed.
#include "platform/ServiceLauncher.h"

#include "platform/Pidfd.h"
#include "platform/SpawnDefaults.h"

#include <QByteArray>
#include <QFile>

#include <vector>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

ServiceLauncher::Launched PosixServiceLauncher::launch(const Request& request) {
    Launched result;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);

    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (request.outputFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, request.outputFd, 1);
        posix_spawn_file_actions_adddup2(&actions, request.outputFd, 2);
    }
    const QByteArray dir = request.workingDir.toLocal8Bit();
    if (!dir.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, dir.constData());
    // Whatever the program holds (X11 and D-Bus sockets, the instance lock) must not live on in a service;
    // only a descriptor handed over on purpose does.
    if (request.handOverFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, request.handOverFd, 3);
    posix_spawn_file_actions_addclosefrom_np(&actions, request.handOverFd >= 0 ? 4 : 3);

    // An ignored SIGPIPE or SIGINT would otherwise carry over exec.
    SpawnDefaults::newSession(&attr);

    const QByteArray program = request.program.toLocal8Bit();
    std::vector<QByteArray> argStore;
    argStore.push_back(program);
    for (const QString& a : request.arguments)
        argStore.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    QByteArrayList envStore = request.environment;
    std::vector<char*> envp;
    for (QByteArray& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.constData(), &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        result.error = QString::fromLocal8Bit(std::strerror(rc));
        return result;
    }
    result.pid = pid;
    result.pidfd = Pidfd::open(pid);
    if (result.pidfd >= 0)
        ::fcntl(result.pidfd, F_SETFD, FD_CLOEXEC);
    return result;
}

int PosixServiceLauncher::openPidfd(qint32 pid) {
    if (pid <= 0)
        return -1;
    const int fd = Pidfd::open(pid);
    if (fd >= 0)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return fd;
}

bool PosixServiceLauncher::reap(qint32 pid, bool* failed) {
    if (failed)
        *failed = true;
    if (pid <= 0)
        return true;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == pid && failed)
        *failed = !WIFEXITED(status) || WEXITSTATUS(status) != 0;
    // ECHILD: already collected, or not a child of this program.
    return r == pid || (r < 0 && errno == ECHILD);
}

bool PosixServiceLauncher::signal(qint32 pid, int pidfd, int sig) {
    if (pidfd >= 0) {
        if (Pidfd::sendSignal(pidfd, sig) == 0)
            return true;
        if (errno != ENOSYS)
            return false;
    }
    return pid > 0 && ::kill(pid, sig) == 0;
}

bool PosixServiceLauncher::hasEnded(int pidfd) {
    if (pidfd < 0)
        return false;
    pollfd p{pidfd, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, 0);
    } while (r < 0 && errno == EINTR);
    return r > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR));
}

bool PosixServiceLauncher::signalGroup(qint32 pgid, int sig) {
    // Never 0 or 1: kill(0) and kill(-1) reach far more than one service.
    return pgid > 1 && ::kill(-pgid, sig) == 0;
}

int PosixServiceLauncher::startLogKeeper(const QString& keeper, const QString& logPath, qint64 capBytes) {
    int fds[2];
    if (keeper.isEmpty() || ::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    // A larger pipe lets a burst of output through while the keeper is writing; best effort.
    ::fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    // Its own session: neither the program's end nor a stop of the service's group reaches it; it ends
    // when the last writer of the pipe has gone.
    SpawnDefaults::newSession(&attr);

    QByteArray program = QFile::encodeName(keeper);
    QByteArray path = QFile::encodeName(logPath);
    QByteArray cap = QByteArray::number(capBytes);
    char* argv[] = {program.data(), path.data(), cap.data(), nullptr};
    char* envp[] = {nullptr}; // no marker: a stop of the service must not end its keeper early
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.constData(), &actions, &attr, argv, envp);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(fds[0]);
    if (rc != 0) {
        ::close(fds[1]);
        return -1;
    }
    // The keeper forks once and its first process returns at once, so that nothing here has to collect
    // the long-lived one; its status tells whether the keeper runs.
    int status = 0;
    pid_t r;
    do
        r = ::waitpid(pid, &status, 0);
    while (r < 0 && errno == EINTR);
    if (r != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ::close(fds[1]);
        return -1;
    }
    return fds[1];
}
