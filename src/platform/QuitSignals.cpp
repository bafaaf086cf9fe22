// Self-pipe: the handler only writes the signal number into a pipe; the main loop reads it.
#include "platform/QuitSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Process-wide on purpose: a signal handler gets no context, so the pipe it writes to is found here. One
// QuitSignals at a time owns it.
std::atomic<int> g_writeFd{-1};

constexpr int kSignals[] = {SIGINT, SIGTERM};

void onSignal(int signalNumber) {
    const int savedErrno = errno;
    const int fd = g_writeFd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // Non-blocking: a full pipe already holds a pending quit, so dropping this one loses nothing.
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

QuitSignals::QuitSignals(QObject* parent)
    : QObject(parent) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    int expected = -1;
    if (!g_writeFd.compare_exchange_strong(expected, fds[1])) {
        ::close(fds[0]);
        ::close(fds[1]);
        return;
    }
    m_readFd = fds[0];
    m_writeFd = fds[1];
    m_notifier = new QSocketNotifier(m_readFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::drain);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : kSignals)
        ::sigaction(s, &action, nullptr);
}

QuitSignals::~QuitSignals() {
    if (m_writeFd < 0)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int s : kSignals)
        ::sigaction(s, &action, nullptr);
    g_writeFd.store(-1);
    delete m_notifier;
    ::close(m_writeFd);
    ::close(m_readFd);
}

void QuitSignals::drain() {
    unsigned char buffer[64];
    for (;;) {
        const ssize_t n = ::read(m_readFd, buffer, sizeof buffer);
        if (n > 0) {
            for (ssize_t i = 0; i < n; ++i)
                emit received(buffer[i]);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return;
    }
}
