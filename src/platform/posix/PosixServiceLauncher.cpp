// Services start in a session of their own and short commands in a process group of their own, both
// through PosixSpawn; pidfds come through the raw system calls so that no newer C library is needed.
#include "platform/posix/PosixServiceLauncher.h"

#include "platform/Pidfd.h"
#include "platform/posix/PosixSpawn.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using SteadyClock = std::chrono::steady_clock;

// How long a timed-out group gets to end on SIGTERM before it is killed.
constexpr auto kTerminateGrace = std::chrono::milliseconds(500);
// The same for a cancelled run, waited for here: quitting waits for it, so it is shorter.
constexpr auto kCancelGrace = std::chrono::milliseconds(300);

enum class Wait { ended, deadline, cancelled };

// The argument and environment vectors of a request, valid while this lives.
class ExecVectors {
public:
    explicit ExecVectors(const ServiceLauncher::Request& request)
        : m_program(request.program.toLocal8Bit())
        , m_env(request.environment) {
        m_args.push_back(m_program);
        for (const QString& a : request.arguments)
            m_args.push_back(a.toLocal8Bit());
        for (QByteArray& a : m_args)
            m_argv.push_back(a.data());
        m_argv.push_back(nullptr);
        for (QByteArray& e : m_env)
            m_envp.push_back(e.data());
        m_envp.push_back(nullptr);
    }
    Q_DISABLE_COPY_MOVE(ExecVectors)

    const char* program() const { return m_program.constData(); }
    char* const* argv() { return m_argv.data(); }
    char* const* envp() { return m_envp.data(); }

private:
    QByteArray m_program;
    std::vector<QByteArray> m_args;
    QByteArrayList m_env;
    std::vector<char*> m_argv;
    std::vector<char*> m_envp;
};

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// Reads what the pipe holds now; false once it reached its end (or failed).
bool drain(int fd, QByteArray& out) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

// Waits until the child has ended, the deadline has passed or `cancelFd` has become readable.
// Without a pidfd (old kernels) the exit is found by polling in short steps.
Wait waitForExit(pid_t pid, int pidfd, int cancelFd, int& outFd, QByteArray& out,
                 SteadyClock::time_point deadline) {
    for (;;) {
        if (pidfd < 0) {
            int status;
            const pid_t r = ::waitpid(pid, &status, WNOHANG);
            if (r == pid || (r < 0 && errno != EINTR))
                return Wait::ended;
        }
        const auto now = SteadyClock::now();
        if (now >= deadline)
            return Wait::deadline;
        auto remaining = deadline - now;
        if (pidfd < 0)
            remaining = std::min<SteadyClock::duration>(remaining, std::chrono::milliseconds(5));
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(remaining).count();
        const timespec wait{time_t(ns / 1000000000), long(ns % 1000000000)};

        pollfd fds[3];
        nfds_t count = 0;
        if (pidfd >= 0)
            fds[count++] = {pidfd, POLLIN, 0};
        if (outFd >= 0)
            fds[count++] = {outFd, POLLIN, 0};
        if (cancelFd >= 0)
            fds[count++] = {cancelFd, POLLIN, 0};
        const int ready = ::ppoll(fds, count, &wait, nullptr);
        if (ready < 0 && errno != EINTR)
            return Wait::deadline;
        if (ready <= 0)
            continue;
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].fd == cancelFd && fds[i].revents)
                return Wait::cancelled;
            if (fds[i].fd == outFd && fds[i].revents && !drain(outFd, out))
                closeFd(outFd);
            if (fds[i].fd == pidfd && fds[i].revents)
                return Wait::ended;
        }
    }
}

// Ends a timed-out child's whole group without holding up the caller: SIGTERM now, SIGKILL to what is
// left after a grace period, then the reap. The leader stays unreaped until the SIGKILL, so its id
// cannot be reused for another group in between.
void terminateGroup(pid_t pid, int pidfd) {
    const auto finish = [pid, pidfd] {
        ::kill(-pid, SIGKILL);
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        if (pidfd >= 0)
            ::close(pidfd);
    };
    ::kill(-pid, SIGTERM);
    try {
        std::thread([finish] {
            std::this_thread::sleep_for(kTerminateGrace);
            finish();
        }).detach();
    } catch (const std::system_error&) {
        finish(); // no thread to wait with: skip the grace rather than leave the group behind
    }
}

// Ends a cancelled child's whole group before returning: SIGTERM, a short wait for the leader, then
// SIGKILL to whatever of the group is left (the unreaped leader keeps the group's id from reuse), and the
// reap.
void endGroupNow(pid_t pid, int pidfd) {
    ::kill(-pid, SIGTERM);
    const auto until = SteadyClock::now() + kCancelGrace;
    for (;;) {
        if (pidfd < 0) {
            // Asked without collecting: the leader must stay a zombie until the SIGKILL below.
            siginfo_t info{};
            if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid)
                break;
        }
        const auto now = SteadyClock::now();
        if (now >= until)
            break;
        int remainingMs = int(std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count()) + 1;
        pollfd p{pidfd, POLLIN, 0};
        if (pidfd < 0)
            remainingMs = std::min(remainingMs, 5);
        if (::poll(&p, pidfd < 0 ? 0 : 1, remainingMs) > 0)
            break;
    }
    ::kill(-pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

ServiceLauncher::Launched PosixServiceLauncher::launch(const Request& request) {
    Launched result;
    ExecVectors exec(request);
    PosixSpawn::Setup setup;
    setup.out = setup.err = request.outputFd >= 0 ? request.outputFd : PosixSpawn::kInherit;
    const QByteArray dir = request.workingDir.toLocal8Bit();
    setup.workingDir = dir.constData();
    setup.handOver = request.handOverFd;
    pid_t pid = -1;
    const int rc = PosixSpawn::start(&pid, exec.program(), exec.argv(), exec.envp(), setup);
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

bool PosixServiceLauncher::reap(qint32 pid, Ended* ended) {
    if (ended)
        *ended = Ended{};
    if (pid <= 0)
        return true;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == pid && ended) {
        ended->exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        ended->signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        ended->failed = ended->exitStatus != 0;
    }
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

    QByteArray program = QFile::encodeName(keeper);
    QByteArray path = QFile::encodeName(logPath);
    QByteArray cap = QByteArray::number(capBytes);
    char* argv[] = {program.data(), path.data(), cap.data(), nullptr};
    char* envp[] = {nullptr}; // no marker: a stop of the service must not end its keeper early
    // Its own session: neither the program's end nor a stop of the service's group reaches it; it ends
    // when the last writer of the pipe has gone.
    PosixSpawn::Setup setup;
    setup.in = fds[0];
    pid_t pid = -1;
    const int rc = PosixSpawn::start(&pid, program.constData(), argv, envp, setup);
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

std::optional<QByteArray> PosixServiceLauncher::collectOutput(const Request& request,
                                                              SteadyClock::time_point deadline) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return std::nullopt;
    int outFd = pipeFds[0];
    ::fcntl(outFd, F_SETFL, ::fcntl(outFd, F_GETFL) | O_NONBLOCK);

    ExecVectors exec(request);
    PosixSpawn::Setup setup;
    setup.out = pipeFds[1];
    const QByteArray dir = request.workingDir.toLocal8Bit();
    setup.workingDir = dir.constData();
    // Its own process group, so that a time-out reaches the command's children too.
    setup.ownSession = false;
    pid_t pid = -1;
    const int spawned = PosixSpawn::start(&pid, exec.program(), exec.argv(), exec.envp(), setup);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(outFd);
        return std::nullopt;
    }

    int pidfd = Pidfd::open(pid);
    QByteArray output;
    const Wait wait = waitForExit(pid, pidfd, request.cancelFd, outFd, output, deadline);
    if (wait == Wait::cancelled) {
        closeFd(outFd);
        endGroupNow(pid, pidfd);
        closeFd(pidfd);
        return std::nullopt;
    }
    if (wait == Wait::deadline) {
        closeFd(outFd);
        terminateGroup(pid, pidfd);
        return std::nullopt;
    }
    if (pidfd >= 0) {
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        closeFd(pidfd);
    }
    // What the command wrote is all in the pipe now; a background job that still holds the pipe open
    // is not waited for.
    if (outFd >= 0)
        drain(outFd, output);
    closeFd(outFd);
    return output;
}
