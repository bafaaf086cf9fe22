// A launcher that starts nothing: it hands out made-up pids, records every request and signal, and
// reports a process as ended once the test says so (end()) or a terminating signal reached it. Over a
// FakeProcessTable, the signals go to that table's processes instead (see the constructor).
#pragma once

#include "fakes/FakeProcessTable.h"
#include "platform/ServiceLauncher.h"

#include <QHash>
#include <QList>
#include <QSet>

#include <csignal>
#include <type_traits>

class FakeServiceLauncher final : public ServiceLauncher {
public:
    struct Sent {
        qint32 pid = -1;
        int pidfd = -1;
        int sig = 0;
    };

    FakeServiceLauncher() = default;
    // Signals reach the processes of `table`: SIGTERM ends one unless it is in ignoresTerm or
    // unkillable, SIGKILL unless it is unkillable; a process is running while the table holds it.
    // Each delivery is recorded in `received`, each group signal in `groupSignals`.
    explicit FakeServiceLauncher(FakeProcessTable& table)
        : m_table(&table) {}

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
    bool reap(qint32 pid, Ended* ended) override {
        if (m_table) {
            if (ended)
                *ended = Ended{};
            return !m_table->processes.contains(pid);
        }
        if (ended) {
            *ended = Ended{};
            ended->failed = !succeeded.contains(pid);
            if (succeeded.contains(pid))
                ended->exitStatus = 0;
            else if (exitStatuses.contains(pid))
                ended->exitStatus = exitStatuses.value(pid);
            ended->signal = endSignals.value(pid, 0);
        }
        return !running.contains(pid);
    }
    bool signal(qint32 pid, int pidfd, int sig) override {
        sent.append({pid, pidfd, sig});
        if (m_table) {
            if (!m_table->processes.contains(pid))
                return false;
            if (sig != 0)
                deliver(pid, sig);
            return true;
        }
        if (!running.contains(pid))
            return false;
        if (sig == SIGTERM || sig == SIGKILL || sig == SIGINT)
            running.remove(pid);
        return true;
    }

    // Never reached: no launch hands out a descriptor.
    bool hasEnded(int) override { return false; }
    // Recorded with the group as a negative pid; a group is led by the process of the same pid.
    bool signalGroup(qint32 pgid, int sig) override {
        sent.append({-pgid, -1, sig});
        if (m_table) {
            groupSignals.append({pgid, sig});
            bool any = false;
            for (const ProcessTable::Stat& s : m_table->all()) {
                if (s.pgrp == pgid) {
                    deliver(s.pid, sig);
                    any = true;
                }
            }
            return any;
        }
        if (!running.contains(pgid))
            return false;
        if (sig == SIGTERM || sig == SIGKILL || sig == SIGINT)
            running.remove(pgid);
        return true;
    }
    // No keeper: the service writes its log itself.
    int startLogKeeper(const QString&, const QString&, qint64) override { return -1; }
    // Starts nothing, as if the command could not start; touches no member, so any thread may call it.
    std::optional<QByteArray> collectOutput(const Request&, std::chrono::steady_clock::time_point) override {
        return std::nullopt;
    }

    // The process ends on its own: it crashed, or (`success`) finished with status 0.
    void end(qint32 pid, bool success = false) {
        running.remove(pid);
        if (success)
            succeeded.insert(pid);
    }
    // The process exits with `status` (other than 0, a crash).
    void exitWith(qint32 pid, int status) {
        exitStatuses.insert(pid, status);
        end(pid, status == 0);
    }

    QList<Request> requests;
    QList<Sent> sent;
    QSet<qint32> running;
    QSet<qint32> succeeded;
    // How a crashed process ended, where a test says: its exit status or the signal that ended it.
    QHash<qint32, int> exitStatuses;
    QHash<qint32, int> endSignals;
    qint32 nextPid = 40000;
    QString failWith; // when set, every launch fails with this error
    // Over a table only.
    QSet<qint32> ignoresTerm;
    QSet<qint32> unkillable;
    QList<std::pair<qint32, int>> received; // pid, signal
    QList<std::pair<qint32, int>> groupSignals;

private:
    void deliver(qint32 pid, int sig) {
        received.append({pid, sig});
        if ((sig == SIGTERM && !ignoresTerm.contains(pid) && !unkillable.contains(pid)) ||
            (sig == SIGKILL && !unkillable.contains(pid)))
            m_table->processes.remove(pid);
    }

    FakeProcessTable* m_table = nullptr;
};

// A seam member added without its fake would otherwise surface only in the first test that uses it.
static_assert(!std::is_abstract_v<FakeServiceLauncher>);
