// Ending a service for good: its whole process group, what is left of its process tree and every
// process that carries its marker (a child that left the group), first asked with SIGTERM, then, after
// a grace, killed. Blocking: runs on a worker thread.
#pragma once

#include "services/OrphanCheck.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <atomic>

class ProcessTable;
class ServiceLauncher;

namespace ServiceStop {

struct Target {
    qint32 pid = -1; // the service's first process (its shell), leader of its group and session
    int pidfd = -1;  // that process's pidfd, or -1; owned by the caller
    QString marker;  // the service's id as its environment marker carries it
    // The group and session the service's shell led, when known; reached even after `pid` (then a
    // process the shell left behind) has gone.
    OrphanCheck::Origin origin;
};

struct Timing {
    int graceMs = 5000;    // from SIGTERM to SIGKILL; negative: until `Flags::hurry`
    int killWaitMs = 5000; // how long killed processes may take to go
    int pollMs = 100;
};

// Set by the caller when the first process's end has been seen (it may be collected before this looks).
// `hurry` skips the rest of the grace (the grace was timed elsewhere, or the program is quitting).
struct Flags {
    std::atomic<bool> rootEnded{false};
    std::atomic<bool> hurry{false};
};

// Returns once the service's processes are all gone (true), or when some outlived the kill wait (false).
bool run(ServiceLauncher& launcher, const ProcessTable& table, const Target& target, const Timing& timing,
         const Flags& flags);

// The service's live processes other than its first: members of group or session `pgid` (none when 0),
// descendants of `root`, and processes whose environment carries `marker`. Zombies and `self` are left
// out.
QList<qint32> members(const ProcessTable& table, qint32 root, qint32 pgid, const QString& marker,
                      qint32 self);

} // namespace ServiceStop
