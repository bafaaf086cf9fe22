// Decides, off the main thread, which processes recorded by an earlier run are still the services they
// were recorded as, so that they can be taken back rather than started twice.
#pragma once

#include "platform/ProcessTable.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>
#include <vector>

class ServiceLauncher;

namespace OrphanCheck {

// Set in every service's environment to the command's id, so that a process can be recognised later
// whatever it has exec'd into.
inline const QByteArray kServiceIdVariable = "QUILLBAY_SERVICE_ID";

struct Recorded {
    qint32 pid = -1;
    QString commandLine; // the saved command it was started for
};

struct Adopted {
    QUuid id;
    qint32 pid = -1;
    UniqueFd pidfd; // opened before the checks, so that what was checked is the process it refers to
};

// Those of `recorded` that still live, are no zombie, started no later than `writtenAt` (seconds since
// the epoch) allows, and carry the command's id in their environment (or, where the environment cannot
// be read, the command's program in their command line). Then, for each of `saved` not taken that way,
// the oldest live process that carries its id: a service whose first process is gone but which left
// others running (a daemon that forked, `setsid -f`, a job its shell put in the background).
std::vector<Adopted> run(ServiceLauncher& launcher, const ProcessTable& table,
                         const QHash<QUuid, Recorded>& recorded, double writtenAt,
                         const QList<QUuid>& saved = {});

// Of `all` (one scan of the table), the live processes other than `self` whose environment carries one
// of `ids`, per id, oldest first.
QHash<QUuid, QList<qint32>> marked(const ProcessTable& table, const QList<ProcessTable::Stat>& all,
                                   const QSet<QUuid>& ids, qint32 self);

// The oldest live process that carries `id`'s marker, with a pidfd opened on it before its last check,
// so that the process watched is the one that was checked. Nothing when none lives.
std::optional<Adopted> survivor(ServiceLauncher& launcher, const ProcessTable& table, const QUuid& id);

// The program a command line starts: the last path component of its first word.
QString programName(const QString& command);

} // namespace OrphanCheck
