// A launcher that starts nothing: it hands out made-up pids, records every request and signal, and
// reports a process as ended once the test says so (end()) or a terminating signal reached it.
#pragma once

#include "platform/ServiceLauncher.h"

#include <QList>
#include <QSet>

#include <csignal>

class FakeServiceLauncher final : public ServiceLauncher {
public:
    struct Sent {
        qint32 pid = -1;
        int pidfd = -1;
        int sig = 0;
    };

    Launched launch(const Request& request) override {
        requests.append(request);
        if (!failWith.isEmpty())
            return {-1, -1, failWith};
        const qint32 pid = nextPid++;
        running.insert(pid);
        return {pid, -1, {}};
    }
    // No descriptors: the caller falls back to asking reap().
    int openPidfd(qint32) override { return -1; }
    bool reap(qint32 pid) override { return !running.contains(pid); }
    bool signal(qint32 pid, int pidfd, int sig) override {
        sent.append({pid, pidfd, sig});
        if (!running.contains(pid))
            return false;
        if (sig == SIGTERM || sig == SIGKILL || sig == SIGINT)
            running.remove(pid);
        return true;
    }

    // The process ends on its own (it crashed or finished).
    void end(qint32 pid) { running.remove(pid); }

    QList<Request> requests;
    QList<Sent> sent;
    QSet<qint32> running;
    qint32 nextPid = 40000;
    QString failWith; // when set, every launch fails with this error
};
