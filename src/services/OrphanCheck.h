// Decides, off the main thread, which processes recorded by an earlier run are still the services they
// were recorded as, so that they can be taken back rather than started twice.
#pragma once

#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUuid>

#include <vector>

class ProcessTable;
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
// be read, the command's program in their command line).
std::vector<Adopted> run(ServiceLauncher& launcher, const ProcessTable& table,
                         const QHash<QUuid, Recorded>& recorded, double writtenAt);

// The program a command line starts: the last path component of its first word.
QString programName(const QString& command);

} // namespace OrphanCheck
