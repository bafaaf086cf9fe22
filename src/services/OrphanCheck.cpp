#include "services/OrphanCheck.h"

#include "model/SavedCommand.h"
#include "platform/ProcessTable.h"
#include "platform/ServiceLauncher.h"

#include <QStringList>

namespace {

// How much later than the last write of "running.json" a recorded process may have started and still
// be the one that was recorded (start times and file times have different resolutions).
constexpr double kStartTolerance = 2.0;

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
                         const QHash<QUuid, Recorded>& recorded, double writtenAt) {
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
            const auto markedId = SavedCommandCodec::parseId(*marker.value);
            same = markedId && *markedId == id;
        } else {
            const QString program = programName(it->commandLine);
            same = !program.isEmpty() && table.cmdline(pid).contains(program);
        }
        if (same)
            adopted.push_back({id, pid, std::move(pidfd)});
    }
    return adopted;
}

} // namespace OrphanCheck
