// Service processes started with posix_spawn, watched through pidfds and signalled with kill.
#pragma once

#include "platform/ServiceLauncher.h"

class PosixServiceLauncher final : public ServiceLauncher {
public:
    PosixServiceLauncher() = default;
    Launched launch(const Request& request) override;
    int openPidfd(qint32 pid) override;
    bool reap(qint32 pid, Ended* ended) override;
    bool signal(qint32 pid, int pidfd, int sig) override;
    bool hasEnded(int pidfd) override;
    bool signalGroup(qint32 pgid, int sig) override;
    int startLogKeeper(const QString& keeper, const QString& logPath, qint64 capBytes) override;
    std::optional<QByteArray> collectOutput(const Request& request,
                                            std::chrono::steady_clock::time_point deadline) override;
};
