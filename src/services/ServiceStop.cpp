#include "services/ServiceStop.h"

#include "model/SavedCommand.h"
#include "platform/ProcessTable.h"
#include "platform/ServiceLauncher.h"
#include "services/OrphanCheck.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <unistd.h>

namespace ServiceStop {

QList<qint32> members(const ProcessTable& table, qint32 root, qint32 pgid, const QString& marker,
                      qint32 self) {
    const QList<ProcessTable::Stat> all = table.all();
    QHash<qint32, QList<qint32>> children;
    QSet<qint32> live;
    for (const ProcessTable::Stat& s : all) {
        if (s.state == 'Z')
            continue;
        live.insert(s.pid);
        if (s.pid != s.ppid)
            children[s.ppid].append(s.pid);
    }
    QSet<qint32> found;
    for (const ProcessTable::Stat& s : all) {
        if (pgid > 0 && (s.pgrp == pgid || s.session == pgid) && live.contains(s.pid))
            found.insert(s.pid);
    }
    // Descendants that moved to a group of their own but still hang below the service.
    QList<qint32> stack{root};
    QSet<qint32> walked{root};
    while (!stack.isEmpty()) {
        for (qint32 child : children.value(stack.takeLast())) {
            if (!walked.contains(child)) {
                walked.insert(child);
                found.insert(child);
                stack.append(child);
            }
        }
    }
    // Whatever left both (a double fork, setsid) still carries the service's marker.
    if (const auto id = SavedCommandCodec::parseId(marker)) {
        for (qint32 pid : OrphanCheck::marked(table, all, {*id}, self).value(*id))
            found.insert(pid);
    }
    found.remove(root);
    found.remove(self);
    found.remove(0);
    found.remove(1);
    QList<qint32> out(found.cbegin(), found.cend());
    std::sort(out.begin(), out.end());
    return out;
}

bool run(ServiceLauncher& launcher, const ProcessTable& table, const Target& target, const Timing& timing,
         const Flags& flags) {
    const qint32 self = qint32(::getpid());
    const auto rootAlive = [&] {
        if (flags.rootEnded.load() || (target.pidfd >= 0 && launcher.hasEnded(target.pidfd)))
            return false;
        if (!launcher.signal(target.pid, target.pidfd, 0))
            return false;
        const auto st = table.stat(target.pid);
        return !st || st->state != 'Z';
    };
    // The service leads its own group (it was started in a session of its own). The group is signalled
    // only while it is seen to have members: a group id cannot be handed out again while any process is
    // in it, so a group seen alive a moment ago is still the service's.
    qint32 pgid = 0;
    if (OrphanCheck::groupIsOurs(table, target.origin)) {
        pgid = target.origin.group;
    } else if (rootAlive()) {
        const auto st = table.stat(target.pid);
        if (st && st->pgrp == target.pid)
            pgid = target.pid;
    }

    const auto signalAll = [&](int sig, const QList<qint32>& others) {
        bool groupSeen = false;
        for (qint32 pid : others) {
            const auto st = table.stat(pid);
            if (pgid > 0 && st && st->pgrp == pgid)
                groupSeen = true;
        }
        const bool alive = rootAlive();
        if (pgid > 0 && (alive || groupSeen))
            launcher.signalGroup(pgid, sig);
        if (alive)
            launcher.signal(target.pid, target.pidfd, sig);
        for (qint32 pid : others) {
            const auto st = table.stat(pid);
            if (!(pgid > 0 && st && st->pgrp == pgid)) // the group's members had it already
                launcher.signal(pid, -1, sig);
        }
    };
    const auto gone = [&](QList<qint32>* others) {
        *others = members(table, target.pid, pgid, target.marker, self);
        return others->isEmpty() && !rootAlive();
    };

    QList<qint32> others;
    if (gone(&others))
        return true;
    signalAll(SIGTERM, others);

    QDeadlineTimer grace(timing.graceMs);
    while (!grace.hasExpired() && !flags.hurry.load()) {
        QThread::msleep(ulong(timing.pollMs));
        if (gone(&others))
            return true;
    }
    // What is left ignored the request. Each round kills again, so that a process forked meanwhile goes too.
    QDeadlineTimer killWait(timing.killWaitMs);
    for (;;) {
        signalAll(SIGKILL, others);
        QThread::msleep(ulong(timing.pollMs));
        if (gone(&others))
            return true;
        if (killWait.hasExpired())
            return false;
    }
}

} // namespace ServiceStop
