// The real launcher as it behaves on a kernel without pidfds: every process it starts or adopts is
// watched by the periodic check alone.
#pragma once

#include "platform/posix/PosixServiceLauncher.h"

#include <unistd.h>

class PidfdlessLauncher final : public ServiceLauncher {
public:
    Launched launch(const Request& r) override {
        Launched l = real.launch(r);
        if (l.pidfd >= 0)
            ::close(l.pidfd);
        l.pidfd = -1;
        return l;
    }
    int openPidfd(qint32) override { return -1; }
    bool reap(qint32 pid, Ended* ended) override { return real.reap(pid, ended); }
    bool signal(qint32 pid, int, int sig) override { return real.signal(pid, -1, sig); }
    bool hasEnded(int) override { return false; }
    bool signalGroup(qint32 pgid, int sig) override { return real.signalGroup(pgid, sig); }
    int startLogKeeper(const QString& keeper, const QString& path, qint64 cap) override {
        return real.startLogKeeper(keeper, path, cap);
    }
    std::optional<QByteArray> collectOutput(const Request& r,
                                            std::chrono::steady_clock::time_point deadline) override {
        return real.collectOutput(r, deadline);
    }

    PosixServiceLauncher real;
};
