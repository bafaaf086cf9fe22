// The processes of saved commands: starting them as services, seeing them end (stopped or crashed),
// stopping their whole tree, recording them in "running.json" and taking them back after a restart.
#pragma once

#include "model/SavedCommand.h"
#include "platform/ServiceLauncher.h"
#include "platform/UniqueFd.h"
#include "services/OrphanCheck.h"
#include "services/RunningFile.h"
#include "services/ServiceStop.h"
#include "services/WorkPool.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class ProcessTable;
class QSocketNotifier;
class Ticker;
class TickerFactory;

class ServiceSupervisor : public QObject {
    Q_OBJECT

public:
    struct Seams {
        ServiceLauncher& launcher;
        ProcessTable& processTable;
        TickerFactory& tickers;
        // Runs on the worker thread just before the start-up adoption pass checks anything; a test
        // blocks in it to hold the pass open.
        std::function<void()> adoptionGate = {};
        // The shell services start under; empty: Shell::shellProgram().
        QString shell = {};
    };

    // From SIGTERM to SIGKILL in a stop, timed by a ticker of `Seams::tickers`.
    static constexpr int kStopGraceMs = 5000;

    ServiceSupervisor(Seams seams, const QString& supportDir, QObject* parent = nullptr);
    ~ServiceSupervisor() override;

    const QSet<QUuid>& runningIDs() const { return m_runningIDs; }
    const QSet<QUuid>& crashedIDs() const { return m_crashedIDs; }
    // How a crashed command's own process ended (its status or signal), when that is known: not for a
    // process taken back from an earlier run, whose end nobody collected here.
    std::optional<ServiceLauncher::Ended> crashEnd(const QUuid& id) const;
    // Commands whose stop is under way; they leave `runningIDs` once all their processes are gone.
    const QSet<QUuid>& stoppingIDs() const { return m_stoppingIDs; }

    // Starts the background check of the processes an earlier run recorded, for those of `commands`.
    void adoptOrphans(const QList<SavedCommand>& commands);
    // Blocks until the start-up adoption pass has been applied (tests and benchmarks only).
    bool waitForAdoption(int timeoutMs);

    // Running, or recorded by an earlier run and still being checked: a start would make a second copy.
    bool isBusy(const QUuid& id) const;
    // Busy, or a process of the command's last copy still runs in that copy's process group although
    // nothing follows it: a start would make a second copy. In that case a search for what lives of it
    // begins, so that it can be taken back and stopped.
    bool refusesStart(const QUuid& id);
    // Launches `cmd` under a login shell (zsh where there is one) with its output going to `logFd` (none:
    // the program's own).
    void start(const SavedCommand& cmd, UniqueFd logFd);
    // Ends the command's processes (SIGTERM, then SIGKILL after a grace); its end then arrives as a stop,
    // not a crash, once every one of them is gone.
    void stop(const QUuid& id);
    // Forgets a crash mark (the command is gone).
    void clearCrash(const QUuid& id) { setCrashed(id, false); }
    std::optional<qint32> pidOf(const QUuid& id) const;

    // Set before `adoptOrphans`: whether a saved command with this id still exists.
    void setKnownCheck(std::function<bool(const QUuid&)> known) { m_known = std::move(known); }

signals:
    void runningIDsChanged();
    void crashedIDsChanged();
    void stoppingIDsChanged();
    void adoptionFinished();

private:
    struct NotifierRelease {
        void operator()(QSocketNotifier* n) const;
    };
    struct Watched {
        qint32 pid = -1;
        UniqueFd pidfd;
        std::unique_ptr<QSocketNotifier, NotifierRelease> notifier; // goes before the descriptor closes
        // For a process the service left behind: whether the service's end, once nothing of it lives,
        // is a crash (its shell failed, or, taken back from an earlier run, nobody knows).
        bool endIsCrash = true;
        qint32 start = -1;          // its start mark, recorded so that a reuse of the pid is not taken back
        OrphanCheck::Origin origin; // the group and session its service's shell led
    };

    Watched watch(qint32 pid, UniqueFd pidfd, std::function<void()> onEnd);
    // The process being watched for `id` has ended on its own: looks for others that carry its marker or
    // are in its service's group or session before the service counts as ended.
    void lookForSurvivors(const QUuid& id, bool endIsCrash, const OrphanCheck::Origin& origin);
    void survivorLooked(const QUuid& id, std::optional<OrphanCheck::Adopted> found);
    void applyAdoption(std::vector<OrphanCheck::Adopted>& adopted);
    void persistRunning();
    void updateMonitor();
    void pollUnwatched();
    void processEnded(const QUuid& id, qint32 pid);
    // What follows the end of the process watched for `id`, its own shell's or one taken back: a stop
    // under way learns that its first process is gone; otherwise what else lives of it is looked for.
    void followedEnded(const QUuid& id, bool endIsCrash, const OrphanCheck::Origin& origin);
    void stopFinished(const QUuid& id);
    void setStopping(const QUuid& id, bool stopping);
    void adoptedEnded(const QUuid& id);
    void track(QFuture<void> future);
    void setRunning(const QUuid& id, bool running);
    void setCrashed(const QUuid& id, bool crashed);

    ServiceLauncher& m_launcher;
    ProcessTable& m_processTable;
    TickerFactory& m_tickers;
    std::function<void()> m_adoptionGate;
    QString m_shell;
    std::function<bool(const QUuid&)> m_known;
    RunningFile m_runningFile;
    std::unique_ptr<Ticker> m_monitor; // for ends no pidfd reports

    QSet<QUuid> m_runningIDs;
    QSet<QUuid> m_crashedIDs;
    QSet<QUuid> m_stopRequested;
    QSet<QUuid> m_stoppingIDs;
    // The flags of each stop under way, shared with its worker.
    std::map<QUuid, std::shared_ptr<ServiceStop::Flags>> m_stops;
    // The grace of each stop under way; its end hurries the stop on to SIGKILL.
    std::map<QUuid, std::unique_ptr<Ticker>> m_graces;
    std::map<QUuid, Watched> m_processes;
    std::map<QUuid, Watched> m_adopted; // taken back from an earlier run, or left by a shell that ended
    // Services whose watched process ended while others that carry their marker are being looked for;
    // the value tells whether the end, if nothing is found, is a crash.
    std::map<QUuid, bool> m_survivorSearch;
    // The group of each command's last copy, kept after its end: while it has members, no second copy.
    std::map<QUuid, OrphanCheck::Origin> m_lastGroup;
    // How each command's own process last ended, kept while that end may yet make it a crash (its
    // survivors are looked for) and for as long as it counts as one.
    std::map<QUuid, ServiceLauncher::Ended> m_ends;
    // Entries of "running.json" still being checked; kept in the file until the check is done.
    std::optional<QHash<QUuid, RunningFile::Entry>> m_pendingAdoption;
    QSet<QUuid> m_checking;      // every saved command the start-up pass looks at
    bool m_keepFileAsIs = false; // the pass found no usable "running.json" to rewrite

    QList<QFuture<void>> m_work;
    WorkPool m_pool; // last: its end waits for the workers before the rest goes
};
