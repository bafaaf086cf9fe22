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

// When a process started, in whole seconds after boot: what "running.json" records beside a pid, so that
// the pid can later be told from a reuse of it. Survives exec, unlike the program or its environment.
qint32 startMark(const ProcessTable::Stat& st);

// The process group and session a service's shell led (a service starts in a session of its own). Both
// outlive the shell, and their id is not handed out again while any process is still in either.
struct Origin {
    qint32 group = 0;        // the shell's pid; 0: not known
    qint32 leaderStart = -1; // the shell's start mark
    bool known() const { return group > 1; }
    bool operator==(const Origin&) const = default;
};

// Whether processes in group or session `origin.group` still belong to the service: its leader is gone
// (the id stays taken while members remain) or is the very shell that was launched.
bool groupIsOurs(const ProcessTable& table, const Origin& origin);

struct Recorded {
    qint32 pid = -1;
    QString commandLine;         // the saved command it was started for
    std::optional<qint32> start; // the recorded start mark; files of older versions have none
    Origin origin;               // not known in files of older versions
};

struct Adopted {
    QUuid id;
    qint32 pid = -1;
    UniqueFd pidfd;    // opened before the checks, so that what was checked is the process it refers to
    qint32 start = -1; // its start mark
    Origin origin;
};

// How long a search for what a service left behind goes on: a look that finds nothing is believed only
// when `quietLooks` in a row agree, since a process that forks and exits at once (a daemon detaching) can
// be caught between its parent's end and its child's appearance, or in the middle of an exec.
struct Settle {
    int quietLooks = 3;
    int maxLooks = 10;
    int firstWaitMs = 5; // doubled after each look, up to `maxWaitMs`
    int maxWaitMs = 100;
};

// Those of `recorded` that still live, are no zombie, started no later than `writtenAt` (seconds since
// the epoch) allows, and are the process recorded: the same start mark where one was recorded, else
// (files of older versions) the command's id in their environment or, where the environment cannot be
// read, the command's program in their command line. Then, for each of `saved` not taken that way, the
// oldest live process that carries its id or is in the group or session the record names: a service
// whose first process is gone but which left others running (a daemon that forked, `setsid -f`, a job
// its shell put in the background).
std::vector<Adopted> run(ServiceLauncher& launcher, const ProcessTable& table,
                         const QHash<QUuid, Recorded>& recorded, double writtenAt,
                         const QList<QUuid>& saved = {});

// Of `all` (one scan of the table), the live processes other than `self` whose environment carries one
// of `ids`, per id, oldest first.
QHash<QUuid, QList<qint32>> marked(const ProcessTable& table, const QList<ProcessTable::Stat>& all,
                                   const QSet<QUuid>& ids, qint32 self);

// Of `all`, the live processes other than `self` that belong to service `id`: they carry its marker, or
// are in the group or session of `origin` while that is still the service's. Oldest first. `seen`, when
// given, is set when any process of it was in `all`, zombies and processes that vanished included.
QList<qint32> belonging(const ProcessTable& table, const QList<ProcessTable::Stat>& all, const QUuid& id,
                        const Origin& origin, qint32 self, bool* seen = nullptr);

// The oldest live process that belongs to service `id`, with a pidfd opened on it before its last check,
// so that the process watched is the one that was checked. Nothing when none lives, once `settle` says
// the looks agree. Blocks for the looks' waits: runs on a worker thread.
std::optional<Adopted> survivor(ServiceLauncher& launcher, const ProcessTable& table, const QUuid& id,
                                const Origin& origin = {}, const Settle& settle = {});

// The program a command line starts: the last path component of its first word.
QString programName(const QString& command);

} // namespace OrphanCheck
