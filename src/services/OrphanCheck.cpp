#include "services/OrphanCheck.h"

#include "model/SavedCommand.h"
#include "platform/ProcessTable.h"
#include "platform/ServiceLauncher.h"

#include <QStringList>

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

// The first of `candidates` that, with a pidfd held on it, still lives and still carries `id`.
std::optional<OrphanCheck::Adopted> claim(ServiceLauncher& launcher, const ProcessTable& table,
                                          const QUuid& id, const QList<qint32>& candidates) {
    for (qint32 pid : candidates) {
        UniqueFd pidfd(launcher.openPidfd(pid));
        const auto st = table.stat(pid);
        if (launcher.signal(pid, pidfd.get(), 0) && st && st->state != 'Z' && carries(table, pid, id))
            return OrphanCheck::Adopted{id, pid, std::move(pidfd)};
    }
    return std::nullopt;
}

} // namespace

namespace OrphanCheck {

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
        const ProcessTable::EnvValue marker = table.environValue(pid, kServiceIdVariable);
        bool same;
        if (marker.readable && marker.value) {
            same = carries(table, pid, id);
        } else {
            const QString program = programName(it->commandLine);
            same = !program.isEmpty() && table.cmdline(pid).contains(program);
        }
        if (same)
            adopted.push_back({id, pid, std::move(pidfd)});
    }

    QSet<QUuid> left(saved.cbegin(), saved.cend());
    for (const Adopted& a : adopted)
        left.remove(a.id);
    if (left.isEmpty())
        return adopted;
    const QHash<QUuid, QList<qint32>> found = marked(table, table.all(), left, qint32(::getpid()));
    for (auto it = found.cbegin(); it != found.cend(); ++it) {
        if (auto a = claim(launcher, table, it.key(), it.value()))
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
        std::sort(it->begin(), it->end(), [](const ProcessTable::Stat& a, const ProcessTable::Stat& b) {
            return a.startTicks != b.startTicks ? a.startTicks < b.startTicks : a.pid < b.pid;
        });
        QList<qint32>& pids = out[it.key()];
        for (const ProcessTable::Stat& s : std::as_const(*it))
            pids.append(s.pid);
    }
    return out;
}

std::optional<Adopted> survivor(ServiceLauncher& launcher, const ProcessTable& table, const QUuid& id) {
    const QHash<QUuid, QList<qint32>> found = marked(table, table.all(), {id}, qint32(::getpid()));
    return claim(launcher, table, id, found.value(id));
}

} // namespace OrphanCheck
