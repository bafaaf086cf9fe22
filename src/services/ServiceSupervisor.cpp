#include "services/ServiceSupervisor.h"

#include "platform/LogCategories.h"
#include "platform/ProcessTable.h"
#include "platform/ServiceLauncher.h"
#include "platform/Ticker.h"
#include "services/Log.h"
#include "services/Shell.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSocketNotifier>
#include <QtConcurrent>

#include <algorithm>

#include <csignal>

namespace {

constexpr int kMonitorMs = 2000;

// Puts `id` into `set` or takes it out; true when that changed the set.
bool setMember(QSet<QUuid>& set, const QUuid& id, bool member) {
    if (set.contains(id) == member)
        return false;
    if (member)
        set.insert(id);
    else
        set.remove(id);
    return true;
}

} // namespace

void ServiceSupervisor::NotifierRelease::operator()(QSocketNotifier* n) const {
    // Often released from the notifier's own signal, so it is deleted later.
    n->setEnabled(false);
    n->deleteLater();
}

ServiceSupervisor::ServiceSupervisor(Seams seams, const QString& supportDir, QObject* parent)
    : QObject(parent)
    , m_launcher(seams.launcher)
    , m_processTable(seams.processTable)
    , m_tickers(seams.tickers)
    , m_adoptionGate(std::move(seams.adoptionGate))
    , m_shell(seams.shell.isEmpty() ? Shell::shellProgram() : std::move(seams.shell))
    , m_runningFile(supportDir)
    , m_monitor(seams.tickers.make(kMonitorMs, [this] { pollUnwatched(); })) {}

ServiceSupervisor::~ServiceSupervisor() {
    // Services outlive the program: nothing is signalled here, only our own handles are let go. A stop
    // already asked for is carried out, without the rest of its grace.
    for (auto& [id, flags] : m_stops)
        flags->hurry = true;
    for (QFuture<void>& f : m_work)
        f.waitForFinished();
}

ServiceSupervisor::Watched ServiceSupervisor::watch(qint32 pid, UniqueFd pidfd, std::function<void()> onEnd) {
    Watched w;
    w.pid = pid;
    if (pidfd) {
        w.notifier.reset(new QSocketNotifier(pidfd.get(), QSocketNotifier::Read, this));
        connect(w.notifier.get(), &QSocketNotifier::activated, this, std::move(onEnd));
    }
    w.pidfd = std::move(pidfd);
    return w;
}

bool ServiceSupervisor::isBusy(const QUuid& id) const {
    return m_runningIDs.contains(id) || m_survivorSearch.count(id) ||
           (m_pendingAdoption && (m_pendingAdoption->contains(id) || m_checking.contains(id)));
}

bool ServiceSupervisor::refusesStart(const QUuid& id) {
    if (isBusy(id))
        return true;
    const auto it = m_lastGroup.find(id);
    if (it == m_lastGroup.end())
        return false;
    const OrphanCheck::Origin origin = it->second;
    // Zombies do not count: what a stop has just killed may wait a while for its reaper.
    const QList<ProcessTable::Stat> all =
        OrphanCheck::groupIsOurs(m_processTable, origin) ? m_processTable.all() : QList<ProcessTable::Stat>();
    if (std::none_of(all.cbegin(), all.cend(),
                     [&](const ProcessTable::Stat& s) { return s.pgrp == origin.group && s.state != 'Z'; })) {
        m_lastGroup.erase(it); // nothing of it is left in that group
        return false;
    }
    // Something of the last copy lives on that nobody follows (it slipped past the search at its
    // shell's end): take it back rather than start a second one beside it.
    lookForSurvivors(id, false, origin);
    return true;
}

std::optional<qint32> ServiceSupervisor::pidOf(const QUuid& id) const {
    if (auto it = m_processes.find(id); it != m_processes.end())
        return it->second.pid;
    if (auto it = m_adopted.find(id); it != m_adopted.end())
        return it->second.pid;
    return std::nullopt;
}

// ---- own processes --------------------------------------------------------------------------------

void ServiceSupervisor::start(const SavedCommand& cmd, UniqueFd logFd) {
    if (refusesStart(cmd.id))
        return;
    QString dir = cmd.workingDir.value_or(QString());
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = QDir::homePath();

    ServiceLauncher::Request request;
    request.program = m_shell;
    request.arguments = Shell::shellArguments(m_shell, cmd.command, true);
    request.workingDir = dir;
    request.environment = Shell::childEnvironment(
        {{QByteArrayLiteral("PATH"), Shell::path().toUtf8()},
         {OrphanCheck::kServiceIdVariable, SavedCommandCodec::idString(cmd.id).toUtf8()}});
    request.outputFd = logFd.get();

    const ServiceLauncher::Launched launched = m_launcher.launch(request);
    UniqueFd pidfd(launched.pidfd);
    logFd.reset(); // the child has its own copy
    if (launched.pid <= 0) {
        Log::line(QStringLiteral("falha ao iniciar '") + cmd.name + QStringLiteral("': ") + launched.error);
        return;
    }

    const QUuid id = cmd.id;
    const qint32 pid = launched.pid;
    // Our child, not yet collected: its start is there to read even if it has already ended.
    const auto st = m_processTable.stat(pid);
    const qint32 started = st ? OrphanCheck::startMark(*st) : -1;
    Watched& w = m_processes[id] = watch(pid, std::move(pidfd), [this, id, pid] { processEnded(id, pid); });
    w.start = started;
    w.origin = {pid, started};
    m_lastGroup[id] = w.origin;
    setRunning(id, true);
    setCrashed(id, false);
    m_ends.erase(id);
    m_stopRequested.remove(id);
    persistRunning();
    updateMonitor(); // only runs when the kernel gave no pidfd to watch the end with
}

void ServiceSupervisor::processEnded(const QUuid& id, qint32 pid) {
    ServiceLauncher::Ended ended;
    if (!m_launcher.reap(pid, &ended))
        return; // woken early; the descriptor stays readable until the end is collected
    auto it = m_processes.find(id);
    if (it == m_processes.end() || it->second.pid != pid)
        return;
    const OrphanCheck::Origin origin = it->second.origin;
    m_processes.erase(it);
    m_ends[id] = ended;
    followedEnded(id, ended.failed, origin);
}

void ServiceSupervisor::followedEnded(const QUuid& id, bool endIsCrash, const OrphanCheck::Origin& origin) {
    const auto stop = m_stops.find(id);
    // The process has gone, but what it started may not have: a stop's end is seen when all have.
    if (stop != m_stops.end())
        stop->second->rootEnded = true;
    persistRunning();
    updateMonitor();
    if (stop == m_stops.end())
        lookForSurvivors(id, endIsCrash, origin);
}

void ServiceSupervisor::lookForSurvivors(const QUuid& id, bool endIsCrash,
                                         const OrphanCheck::Origin& origin) {
    // Still shown as running meanwhile: what the shell started may well live on.
    m_survivorSearch[id] = endIsCrash;
    ServiceLauncher* launcher = &m_launcher;
    ProcessTable* table = &m_processTable;
    QPointer<ServiceSupervisor> self(this);
    track(QtConcurrent::run(&m_pool.threads(), [launcher, table, self, id, origin] {
        auto found = std::make_shared<std::optional<OrphanCheck::Adopted>>(
            OrphanCheck::survivor(*launcher, *table, id, origin));
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, id, found] {
                if (self)
                    self->survivorLooked(id, std::move(*found));
            },
            Qt::QueuedConnection);
    }));
}

void ServiceSupervisor::survivorLooked(const QUuid& id, std::optional<OrphanCheck::Adopted> found) {
    const auto it = m_survivorSearch.find(id);
    if (it == m_survivorSearch.end())
        return;
    const bool endIsCrash = it->second;
    m_survivorSearch.erase(it);
    if (found) {
        qCDebug(lcServices, "%s: process %d outlived its shell and is watched", qUtf8Printable(id.toString()),
                int(found->pid));
        Watched& w = m_adopted[id] =
            watch(found->pid, std::move(found->pidfd), [this, id] { adoptedEnded(id); });
        w.endIsCrash = endIsCrash;
        w.start = found->start;
        w.origin = found->origin;
        setRunning(id, true);
        persistRunning();
        updateMonitor();
        if (m_stopRequested.contains(id))
            stop(id); // asked for while the search ran
        return;
    }
    setStopping(id, false);
    // Nothing of it lives: a stop asked for meanwhile has nothing left to do, and a shell that ended
    // well leaves a service that is done, not crashed.
    if (!m_stopRequested.remove(id) && endIsCrash)
        setCrashed(id, true);
    else
        m_ends.erase(id);
    setRunning(id, false);
    persistRunning();
    updateMonitor();
}

void ServiceSupervisor::stop(const QUuid& id) {
    m_stopRequested.insert(id);
    if (m_stops.count(id))
        return; // already under way
    if (m_survivorSearch.count(id)) {
        setStopping(id, true); // carried out on what the search finds
        return;
    }
    const Watched* w = nullptr;
    if (auto it = m_processes.find(id); it != m_processes.end())
        w = &it->second;
    else if (auto jt = m_adopted.find(id); jt != m_adopted.end())
        w = &jt->second;
    if (!w) {
        setRunning(id, false);
        return;
    }
    auto flags = std::make_shared<ServiceStop::Flags>();
    m_stops[id] = flags;
    auto& grace = m_graces[id];
    grace = m_tickers.make(kStopGraceMs, [flags] { flags->hurry = true; });
    grace->start();
    setStopping(id, true);
    ServiceStop::Target target;
    target.pid = w->pid;
    target.marker = SavedCommandCodec::idString(id);
    target.origin = w->origin;
    auto pidfd = std::make_shared<UniqueFd>(w->pidfd.duplicate());
    ServiceLauncher* launcher = &m_launcher;
    ProcessTable* table = &m_processTable;
    QPointer<ServiceSupervisor> self(this);
    track(QtConcurrent::run(&m_pool.threads(), [launcher, table, target, pidfd, flags, self, id]() mutable {
        target.pidfd = pidfd->get();
        ServiceStop::Timing timing;
        timing.graceMs = -1; // until the grace ticker hurries it
        ServiceStop::run(*launcher, *table, target, timing, *flags);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, id] {
                if (self)
                    self->stopFinished(id);
            },
            Qt::QueuedConnection);
    }));
}

void ServiceSupervisor::stopFinished(const QUuid& id) {
    m_stops.erase(id);
    m_graces.erase(id);
    setStopping(id, false);
    // The first process may have ended without its end having been handled yet.
    if (auto it = m_processes.find(id); it != m_processes.end() && m_launcher.reap(it->second.pid, nullptr))
        m_processes.erase(it);
    if (auto it = m_adopted.find(id); it != m_adopted.end()) {
        const Watched& w = it->second;
        if (w.pidfd ? m_launcher.hasEnded(w.pidfd.get()) : !m_launcher.signal(w.pid, -1, 0))
            m_adopted.erase(it);
    }
    if (m_processes.count(id) || m_adopted.count(id)) {
        // Outlived even SIGKILL (stuck in the kernel): still running; its later end is no crash.
        updateMonitor();
        return;
    }
    m_stopRequested.remove(id);
    setRunning(id, false);
    persistRunning();
    updateMonitor();
}

void ServiceSupervisor::track(QFuture<void> future) {
    m_work.removeIf([](const QFuture<void>& f) { return f.isFinished(); });
    m_work.append(std::move(future));
}

// ---- running.json and re-adoption ------------------------------------------------------------------

void ServiceSupervisor::persistRunning() {
    QHash<QUuid, RunningFile::Entry> entries;
    if (m_pendingAdoption)
        entries = *m_pendingAdoption;
    const auto entry = [](const Watched& w) {
        RunningFile::Entry e;
        e.pid = w.pid;
        if (w.start >= 0)
            e.start = w.start;
        if (w.origin.known() && w.origin.group != w.pid) {
            e.group = w.origin.group;
            e.groupStart = w.origin.leaderStart;
        }
        return e;
    };
    for (const auto& [id, w] : m_processes)
        entries.insert(id, entry(w));
    for (const auto& [id, w] : m_adopted)
        entries.insert(id, entry(w));
    m_runningFile.writeEntries(entries);
}

void ServiceSupervisor::adoptOrphans(const QList<SavedCommand>& commands) {
    const auto contents = m_runningFile.read();
    if (!contents && commands.isEmpty()) {
        emit adoptionFinished();
        return;
    }
    QHash<QUuid, OrphanCheck::Recorded> recorded;
    QList<QUuid> saved;
    m_pendingAdoption.emplace();
    m_checking.clear();
    for (const SavedCommand& c : commands) {
        saved.append(c.id);
        m_checking.insert(c.id);
        if (!contents)
            continue;
        if (const auto it = contents->entries.constFind(c.id); it != contents->entries.cend()) {
            OrphanCheck::Recorded r;
            r.pid = it->pid;
            r.commandLine = c.command;
            r.start = it->start;
            // Without a group of its own recorded, a process recorded with its start is the shell.
            if (it->group > 1 && it->groupStart)
                r.origin = {it->group, *it->groupStart};
            else if (it->start)
                r.origin = {it->pid, *it->start};
            recorded.insert(c.id, r);
            m_pendingAdoption->insert(c.id, *it);
            if (r.origin.known())
                m_lastGroup[c.id] = r.origin;
        }
    }
    // Without a usable file nothing is written unless something is taken back.
    m_keepFileAsIs = !contents;

    const double writtenAt =
        contents && contents->written.isValid() ? contents->written.toMSecsSinceEpoch() / 1000.0 : 0.0;
    ServiceLauncher* launcher = &m_launcher;
    ProcessTable* table = &m_processTable;
    QPointer<ServiceSupervisor> self(this);
    const std::function<void()> gate = m_adoptionGate;
    track(QtConcurrent::run(&m_pool.threads(), [=] {
        if (gate)
            gate();
        auto adopted = std::make_shared<std::vector<OrphanCheck::Adopted>>(
            OrphanCheck::run(*launcher, *table, recorded, writtenAt, saved));
        // When the service is gone by then, the descriptors close with the last copy of `adopted`.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, adopted] {
                if (self)
                    self->applyAdoption(*adopted);
            },
            Qt::QueuedConnection);
    }));
}

void ServiceSupervisor::applyAdoption(std::vector<OrphanCheck::Adopted>& adopted) {
    qCDebug(lcServices, "adoption: %zu recorded processes still run", adopted.size());
    m_pendingAdoption.reset();
    m_checking.clear();
    for (OrphanCheck::Adopted& a : adopted) {
        const bool known = !m_known || m_known(a.id);
        // Deleted meanwhile, or started again in this run: the recorded process is not ours to show.
        if (!known || m_processes.count(a.id) || m_adopted.count(a.id))
            continue;
        const QUuid id = a.id;
        qCDebug(lcServices, "%s: took back process %d from an earlier run", qUtf8Printable(id.toString()),
                int(a.pid));
        Watched& w = m_adopted[id] = watch(a.pid, std::move(a.pidfd), [this, id] { adoptedEnded(id); });
        w.start = a.start;
        w.origin = a.origin;
        if (a.origin.known())
            m_lastGroup[id] = a.origin;
        setRunning(id, true);
    }
    if (!std::exchange(m_keepFileAsIs, false) || !m_adopted.empty() || !m_processes.empty())
        persistRunning();
    updateMonitor();
    emit adoptionFinished();
}

bool ServiceSupervisor::waitForAdoption(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (m_pendingAdoption && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return !m_pendingAdoption;
}

void ServiceSupervisor::adoptedEnded(const QUuid& id) {
    auto it = m_adopted.find(id);
    if (it == m_adopted.end())
        return;
    const bool endIsCrash = it->second.endIsCrash;
    const OrphanCheck::Origin origin = it->second.origin;
    m_adopted.erase(it);
    followedEnded(id, endIsCrash, origin);
}

void ServiceSupervisor::updateMonitor() {
    // A pidfd reports an end by itself (even of a process that is not our child); only the processes
    // the kernel gave none for need the poll, so an idle program with watched services never wakes.
    const auto unwatched = [](const auto& p) { return !p.second.pidfd; };
    if (std::any_of(m_processes.cbegin(), m_processes.cend(), unwatched) ||
        std::any_of(m_adopted.cbegin(), m_adopted.cend(), unwatched))
        m_monitor->start();
    else
        m_monitor->stop();
}

void ServiceSupervisor::pollUnwatched() {
    QList<QUuid> gone;
    for (const auto& [id, w] : m_adopted) {
        bool ended;
        if (w.pidfd) {
            ended = m_launcher.hasEnded(w.pidfd.get());
        } else {
            const auto st = m_processTable.stat(w.pid);
            ended = !m_launcher.signal(w.pid, -1, 0) || !st || st->state == 'Z';
        }
        if (ended)
            gone.append(id);
    }
    for (const QUuid& id : gone)
        adoptedEnded(id);
    // Own processes the kernel gave no pidfd for are checked here too.
    QList<std::pair<QUuid, qint32>> own;
    for (const auto& [id, w] : m_processes) {
        if (!w.pidfd)
            own.append({id, w.pid});
    }
    for (const auto& [id, pid] : own)
        processEnded(id, pid);
    updateMonitor();
}

void ServiceSupervisor::setRunning(const QUuid& id, bool running) {
    if (setMember(m_runningIDs, id, running))
        emit runningIDsChanged();
}

void ServiceSupervisor::setStopping(const QUuid& id, bool stopping) {
    if (setMember(m_stoppingIDs, id, stopping))
        emit stoppingIDsChanged();
}

void ServiceSupervisor::setCrashed(const QUuid& id, bool crashed) {
    if (!crashed)
        m_ends.erase(id);
    if (setMember(m_crashedIDs, id, crashed))
        emit crashedIDsChanged();
}

std::optional<ServiceLauncher::Ended> ServiceSupervisor::crashEnd(const QUuid& id) const {
    if (!m_crashedIDs.contains(id))
        return std::nullopt;
    const auto it = m_ends.find(id);
    if (it == m_ends.end() || (it->second.exitStatus < 0 && it->second.signal == 0))
        return std::nullopt;
    return it->second;
}
