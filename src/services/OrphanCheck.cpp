#include "services/OrphanCheck.h"

#include "model/SavedCommand.h"
#include "platform/ProcessTable.h"
#include "platform/ServiceLauncher.h"

#include <QStringList>
#include <QThread>

#include <algorithm>
#include <unistd.h>

namespace {

// How much later than the last write of "running.json" a recorded process may have started and still
// be the one that was recorded (start times and file times have different resolutions).
constexpr double kStartTolerance = 2.0;

bool carries(const ProcessTable& table, qint32 pid, const QUuid& id) {
    const ProcessTable::EnvValue marker = table.environValue(pid, OrphanCheck::kServiceIdVariable);
    if (!marker.readable || !marker.value)
        return false;
    const auto markedId = SavedCommandCodec::parseId(*marker.value);
    return markedId && *markedId == id;
}

bool inGroup(const ProcessTable::Stat& s, const OrphanCheck::Origin& origin) {
    return origin.known() && (s.pgrp == origin.group || s.session == origin.group);
}

void byAge(QList<ProcessTable::Stat>& list) {
    std::sort(list.begin(), list.end(), [](const ProcessTable::Stat& a, const ProcessTable::Stat& b) {
        return a.startTicks != b.startTicks ? a.startTicks < b.startTicks : a.pid < b.pid;
    });
}

// The first of `candidates` that, with a pidfd held on it, still lives and still belongs to `id`: it
// carries the marker, or is in the group or session of `origin` (already found to be the service's).
std::optional<OrphanCheck::Adopted> claim(ServiceLauncher& launcher, const ProcessTable& table,
                                          const QUuid& id, const OrphanCheck::Origin& origin,
                                          const QList<qint32>& candidates) {
    for (qint32 pid : candidates) {
        UniqueFd pidfd(launcher.openPidfd(pid));
        const auto st = table.stat(pid);
        if (!launcher.signal(pid, pidfd.get(), 0) || !st || st->state == 'Z')
            continue;
        if (inGroup(*st, origin) || carries(table, pid, id))
            return OrphanCheck::Adopted{id, pid, std::move(pidfd), OrphanCheck::startMark(*st), origin};
    }
    return std::nullopt;
}

} // namespace

namespace OrphanCheck {

qint32 startMark(const ProcessTable::Stat& st) {
    static const long ticks = ::sysconf(_SC_CLK_TCK);
    return qint32(st.startTicks / quint64(ticks > 0 ? ticks : 100));
}

bool groupIsOurs(const ProcessTable& table, const Origin& origin) {
    if (!origin.known())
        return false;
    // A process under the leader's pid that started at another moment took the pid after the group was
    // gone: its group is not the service's.
    const auto leader = table.stat(origin.group);
    return !leader || startMark(*leader) == origin.leaderStart;
}

QString programName(const QString& command) {
    const QStringList words = command.split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    const QString first = words.first();
    return first.mid(first.lastIndexOf(u'/') + 1);
}

std::vector<Adopted> run(ServiceLauncher& launcher, const ProcessTable& table,
                         const QHash<QUuid, Recorded>& recorded, double writtenAt,
                         const QList<QUuid>& saved) {
    std::vector<Adopted> adopted;
    for (auto it = recorded.cbegin(); it != recorded.cend(); ++it) {
        const QUuid id = it.key();
        const qint32 pid = it->pid;
        if (pid <= 0)
            continue;
        UniqueFd pidfd(launcher.openPidfd(pid));
        const auto st = table.stat(pid);
        const auto started = table.startTime(pid);
        if (!launcher.signal(pid, pidfd.get(), 0) || !st || st->state == 'Z' || !started ||
            *started > writtenAt + kStartTolerance)
            continue;
        bool same;
        if (it->start) {
            // Whatever it has exec'd into since (`exec env -i server`), a pid started at the recorded
            // moment is the recorded process.
            same = startMark(*st) == *it->start;
        } else {
            const ProcessTable::EnvValue marker = table.environValue(pid, kServiceIdVariable);
            if (marker.readable && marker.value) {
                same = carries(table, pid, id);
            } else {
                const QString program = programName(it->commandLine);
                same = !program.isEmpty() && table.cmdline(pid).contains(program);
            }
        }
        if (!same)
            continue;
        Origin origin = it->origin;
        if (!origin.known() && st->pgrp == pid)
            origin = {pid, startMark(*st)}; // it leads its own group, as a launched shell does
        adopted.push_back({id, pid, std::move(pidfd), startMark(*st), origin});
    }

    QSet<QUuid> left(saved.cbegin(), saved.cend());
    for (const Adopted& a : adopted)
        left.remove(a.id);
    if (left.isEmpty())
        return adopted;
    const QList<ProcessTable::Stat> all = table.all();
    const qint32 self = qint32(::getpid());
    const QHash<QUuid, QList<qint32>> found = marked(table, all, left, self);
    for (const QUuid& id : std::as_const(left)) {
        Origin origin = recorded.value(id).origin;
        if (!groupIsOurs(table, origin))
            origin = {};
        QList<qint32> candidates = found.value(id);
        if (origin.known()) {
            for (qint32 pid : belonging(table, all, id, origin, self)) {
                if (!candidates.contains(pid))
                    candidates.append(pid);
            }
        }
        if (auto a = claim(launcher, table, id, origin, candidates))
            adopted.push_back(std::move(*a));
    }
    return adopted;
}

QHash<QUuid, QList<qint32>> marked(const ProcessTable& table, const QList<ProcessTable::Stat>& all,
                                   const QSet<QUuid>& ids, qint32 self) {
    QHash<QUuid, QList<ProcessTable::Stat>> byId;
    if (ids.isEmpty())
        return {};
    for (const ProcessTable::Stat& s : all) {
        if (s.state == 'Z' || s.pid == self || s.pid <= 1)
            continue;
        const ProcessTable::EnvValue v = table.environValue(s.pid, kServiceIdVariable);
        if (!v.readable || !v.value)
            continue;
        const auto id = SavedCommandCodec::parseId(*v.value);
        if (id && ids.contains(*id))
            byId[*id].append(s);
    }
    QHash<QUuid, QList<qint32>> out;
    for (auto it = byId.begin(); it != byId.end(); ++it) {
        byAge(*it);
        QList<qint32>& pids = out[it.key()];
        for (const ProcessTable::Stat& s : std::as_const(*it))
            pids.append(s.pid);
    }
    return out;
}

QList<qint32> belonging(const ProcessTable& table, const QList<ProcessTable::Stat>& all, const QUuid& id,
                        const Origin& origin, qint32 self, bool* seen) {
    const bool group = groupIsOurs(table, origin);
    QList<ProcessTable::Stat> live;
    bool any = false;
    for (const ProcessTable::Stat& s : all) {
        if (s.pid == self || s.pid <= 1)
            continue;
        const bool member = group && inGroup(s, origin);
        if (!member && !carries(table, s.pid, id))
            continue;
        any = true;
        if (s.state != 'Z' && table.stat(s.pid))
            live.append(s);
        // else: caught while it ends; the next look tells whether it left anything
    }
    if (seen)
        *seen = any;
    byAge(live);
    QList<qint32> out;
    for (const ProcessTable::Stat& s : std::as_const(live))
        out.append(s.pid);
    return out;
}

std::optional<Adopted> survivor(ServiceLauncher& launcher, const ProcessTable& table, const QUuid& id,
                                const Origin& origin, const Settle& settle) {
    const qint32 self = qint32(::getpid());
    int quiet = 0;
    int waitMs = settle.firstWaitMs;
    for (int look = 0; look < std::max(1, settle.maxLooks); ++look) {
        if (look > 0) {
            QThread::msleep(ulong(waitMs));
            waitMs = std::min(waitMs * 2, settle.maxWaitMs);
        }
        bool seen = false;
        const QList<qint32> candidates = belonging(table, table.all(), id, origin, self, &seen);
        if (auto a = claim(launcher, table, id, groupIsOurs(table, origin) ? origin : Origin{}, candidates)) {
            a->origin = origin;
            return a;
        }
        // Something of it was there but could not be taken (ending, or in the middle of an exec): what it
        // leaves shows in a later look.
        quiet = seen ? 0 : quiet + 1;
        if (quiet >= settle.quietLooks)
            break;
    }
    return std::nullopt;
}

} // namespace OrphanCheck
