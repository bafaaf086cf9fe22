// At most one running copy per bundle identifier and user: an advisory lock that the kernel drops when the
// holder dies, so a crashed copy never blocks the next start. Plain POSIX, usable before QApplication exists.
#pragma once

#include <QString>

class SingleInstance {
public:
    enum class Result {
        Acquired,       // this process is the one instance
        AlreadyRunning, // another live process holds the lock
        Failed,         // no lock file could be opened; see error()
    };

    // The lock lives in $XDG_RUNTIME_DIR when that is a private folder of this user, otherwise in a 0700
    // folder "run" inside the state folder ($XDG_STATE_HOME/Quillbay, default ~/.local/state/Quillbay).
    explicit SingleInstance(const QString& bundleID);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Never blocks. Calling it again while held returns Acquired.
    Result tryAcquire();
    // Lets the lock go before the process ends, so that a start during a slow end is not refused.
    void release();

    // Where the lock file is (or would be); empty when no usable folder exists.
    QString lockPath() const { return m_lockPath; }
    QString error() const { return m_error; }

private:
    QString m_lockPath;
    QString m_error;
    int m_fd = -1;
};
