// The child processes' search path and the runner of short command lines (posix_spawn, pidfd, poll).
#include "services/Shell.h"

#include "platform/Pidfd.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace Shell {

namespace {

using SteadyClock = std::chrono::steady_clock;

// How long a timed-out group gets to end on SIGTERM before it is killed.
constexpr auto kTerminateGrace = std::chrono::milliseconds(500);

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

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

// Waits until the child has ended; false when it is still running at the deadline.
// Without a pidfd (old kernels) the exit is found by polling in short steps.
bool waitForExit(pid_t pid, int pidfd, int& outFd, QByteArray& out, SteadyClock::time_point deadline) {
    for (;;) {
        if (pidfd < 0) {
            int status;
            const pid_t r = ::waitpid(pid, &status, WNOHANG);
            if (r == pid || (r < 0 && errno != EINTR))
                return true;
        }
        const auto now = SteadyClock::now();
        if (now >= deadline)
            return false;
        auto remaining = deadline - now;
        if (pidfd < 0)
            remaining = std::min<SteadyClock::duration>(remaining, std::chrono::milliseconds(5));
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(remaining).count();
        const timespec wait{time_t(ns / 1000000000), long(ns % 1000000000)};

        pollfd fds[2];
        nfds_t count = 0;
        if (pidfd >= 0)
            fds[count++] = {pidfd, POLLIN, 0};
        if (outFd >= 0)
            fds[count++] = {outFd, POLLIN, 0};
        const int ready = ::ppoll(fds, count, &wait, nullptr);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].fd == outFd && fds[i].revents && !drain(outFd, out))
                closeFd(outFd);
            if (fds[i].fd == pidfd && fds[i].revents)
                return true;
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

std::vector<QByteArray> childEnvironment() {
    std::vector<QByteArray> env;
    for (char** e = environ; e && *e; ++e) {
        if (std::strncmp(*e, "PATH=", 5) != 0)
            env.emplace_back(*e);
    }
    env.push_back("PATH=" + path().toUtf8());
    return env;
}

} // namespace

QString pathFor(const QString& home) {
    QString base = home;
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (base == QLatin1String("/"))
        base.clear();

    QStringList dirs;
    const QString nvm = base + QLatin1String("/.nvm/versions/node");
    const QStringList versions = QDir(nvm).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    if (!versions.isEmpty()) {
        // The newest version wins; on a tie the first listed stays.
        QString newest = versions.first();
        for (const QString& v : versions) {
            if (naturalCompare(v, newest) > 0)
                newest = v;
        }
        dirs << nvm + QLatin1Char('/') + newest + QLatin1String("/bin");
    }
    dirs << QStringLiteral("/opt/homebrew/bin") << QStringLiteral("/usr/local/bin")
         << QStringLiteral("/usr/bin") << QStringLiteral("/bin") << QStringLiteral("/usr/sbin")
         << QStringLiteral("/sbin") << base + QLatin1String("/.local/bin")
         << base + QLatin1String("/.bun/bin") << base + QLatin1String("/.cargo/bin")
         << base + QLatin1String("/.pyenv/shims");
    return dirs.join(QLatin1Char(':'));
}

const QString& path() {
    static const QString value = pathFor(QDir::homePath());
    return value;
}

const QString& shellProgram() {
    // The command lines are written for zsh; without it the POSIX shell still answers most of them.
    static const QString shell =
        ::access("/bin/zsh", X_OK) == 0 ? QStringLiteral("/bin/zsh") : QStringLiteral("/bin/sh");
    return shell;
}

std::optional<QString> run(const QString& command, double timeoutSeconds) {
    return run(shellProgram(), command, timeoutSeconds);
}

std::optional<QString> run(const QString& shell, const QString& command, double timeoutSeconds) {
    // A NUL would silently cut the command short in the argument vector.
    if (command.contains(QChar(0)) || shell.isEmpty())
        return std::nullopt;
    if (!(timeoutSeconds > 0)) // also NaN
        timeoutSeconds = 0;
    timeoutSeconds = std::min(timeoutSeconds, 365.0 * 24 * 3600);
    const auto deadline = SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                                                   std::chrono::duration<double>(timeoutSeconds));

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return std::nullopt;
    int outFd = pipeFds[0];
    ::fcntl(outFd, F_SETFL, ::fcntl(outFd, F_GETFL) | O_NONBLOCK);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Descriptors that other code opened without O_CLOEXEC must not leak into the child.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Own process group, so a time-out reaches the command's children too; signals as a fresh program
    // expects them, whatever this thread blocks or this process ignores.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s = 1; s < NSIG; ++s) {
        if (s != SIGKILL && s != SIGSTOP)
            sigaddset(&defaults, s);
    }
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const QByteArray shellPath = QFile::encodeName(shell);
    const QByteArray commandLine = command.toUtf8();
    char* argv[] = {const_cast<char*>(shellPath.constData()), const_cast<char*>("-c"),
                    const_cast<char*>(commandLine.constData()), nullptr};
    std::vector<QByteArray> env = childEnvironment();
    std::vector<char*> envp;
    envp.reserve(env.size() + 1);
    for (QByteArray& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, shellPath.constData(), &actions, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(outFd);
        return std::nullopt;
    }

    int pidfd = Pidfd::open(pid);
    QByteArray output;
    const bool ended = waitForExit(pid, pidfd, outFd, output, deadline);
    if (!ended) {
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

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(output);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString quote(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

int naturalCompare(QStringView a, QStringView b) {
    qsizetype i = 0, j = 0;
    int tieBreak = 0; // equal numbers written differently ("01" vs "1"): fewer digits first
    while (i < a.size() && j < b.size()) {
        if (isAsciiDigit(a[i]) && isAsciiDigit(b[j])) {
            qsizetype ai = i, bj = j;
            while (ai < a.size() && isAsciiDigit(a[ai]))
                ++ai;
            while (bj < b.size() && isAsciiDigit(b[bj]))
                ++bj;
            qsizetype as = i, bs = j;
            while (as < ai - 1 && a[as] == QLatin1Char('0'))
                ++as;
            while (bs < bj - 1 && b[bs] == QLatin1Char('0'))
                ++bs;
            // Digit runs of any length: more significant digits is larger, else the first differing digit.
            if (ai - as != bj - bs)
                return ai - as < bj - bs ? -1 : 1;
            for (qsizetype k = 0; k < ai - as; ++k) {
                if (a[as + k] != b[bs + k])
                    return a[as + k] < b[bs + k] ? -1 : 1;
            }
            if (tieBreak == 0 && ai - i != bj - j)
                tieBreak = ai - i < bj - j ? -1 : 1;
            i = ai;
            j = bj;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return tieBreak;
}

} // namespace Shell
