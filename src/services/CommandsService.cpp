// Saved shell commands run as background services (see CommandsService.h).
#include "services/CommandsService.h"

#include "platform/ProcessTable.h"
#include "platform/ServiceLauncher.h"
#include "services/AppPaths.h"
#include "services/Log.h"
#include "services/LogTail.h"
#include "services/QRCode.h"
#include "services/Shell.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QProcessEnvironment>
#include <QSocketNotifier>
#include <QtConcurrent>

#include <algorithm>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kLogTailBytes = 32768;
constexpr int kAdoptionPollMs = 2000;
// How much later than the last write of "running.json" a recorded process may have started and still
// be the one that was recorded (start times and file times have different resolutions).
constexpr double kStartTolerance = 2.0;
const QByteArray kServiceIdVariable = "QUILLBAY_SERVICE_ID";

QString idString(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> parseId(const QString& text) {
    if (text.size() != 36)
        return std::nullopt;
    const QUuid id = QUuid::fromString(text);
    if (id.isNull() && text != QStringLiteral("00000000-0000-0000-0000-000000000000"))
        return std::nullopt;
    return id;
}

bool isSpaceNotBreak(QChar c) {
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

// The program a command line starts: the last path component of its first word.
QString programName(const QString& command) {
    const QStringList words = command.split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return {};
    const QString first = words.first();
    return first.mid(first.lastIndexOf(u'/') + 1);
}

// Characters that a shell takes literally in a bare word.
bool isShellSafe(const QString& path) {
    for (QChar c : path) {
        const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                        QStringView(u"_@%+=:,./-").contains(c);
        if (!ok)
            return false;
    }
    return true;
}

bool pidfdEnded(int pidfd) {
    pollfd p{pidfd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR));
}

} // namespace

CommandsService::CommandsService(ServiceLauncher& launcher, ProcessTable& processTable, QString supportDir,
                                 QString logsDir, QObject* parent)
    : QObject(parent)
    , m_launcher(launcher)
    , m_processTable(processTable)
    , m_supportDir(std::move(supportDir))
    , m_logsDir(std::move(logsDir)) {
    m_logTimer.setInterval(1000);
    connect(&m_logTimer, &QTimer::timeout, this, &CommandsService::refreshLogTail);
    m_adoptionTimer.setInterval(kAdoptionPollMs);
    connect(&m_adoptionTimer, &QTimer::timeout, this, &CommandsService::pollAdopted);
    loadCommands();
    adoptOrphans();
}

CommandsService::~CommandsService() {
    // Services outlive the program: nothing is signalled here, only our own handles are let go.
    for (QFuture<void>& f : m_work)
        f.waitForFinished();
    for (Watched& w : m_processes)
        release(w);
    for (Watched& w : m_adoptedPIDs)
        release(w);
}

// ---- store ----------------------------------------------------------------------------------------

QString CommandsService::trimmed(const QString& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && isSpaceNotBreak(text[begin]))
        ++begin;
    while (end > begin && isSpaceNotBreak(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

std::optional<QList<SavedCommand>> CommandsService::decodeCommands(const QByteArray& data) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    QList<SavedCommand> out;
    for (const QJsonValue& v : doc.array()) {
        if (!v.isObject())
            return std::nullopt;
        const QJsonObject o = v.toObject();
        const QJsonValue id = o.value("id"), name = o.value("name"), command = o.value("command"),
                         dir = o.value("workingDir");
        if (!id.isString() || !name.isString() || !command.isString())
            return std::nullopt;
        const auto uuid = parseId(id.toString());
        if (!uuid)
            return std::nullopt;
        SavedCommand c{*uuid, name.toString(), command.toString(), std::nullopt};
        if (dir.isString())
            c.workingDir = dir.toString();
        else if (!dir.isUndefined() && !dir.isNull())
            return std::nullopt;
        out.append(c);
    }
    return out;
}

QByteArray CommandsService::encodeCommands(const QList<SavedCommand>& commands) {
    QJsonArray array;
    for (const SavedCommand& c : commands) {
        QJsonObject o{{"id", idString(c.id)}, {"name", c.name}, {"command", c.command}};
        if (c.workingDir)
            o.insert("workingDir", *c.workingDir);
        array.append(o);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

void CommandsService::loadCommands() {
    if (const auto decoded = AppPaths::loadStore(m_supportDir + "/commands.json", decodeCommands))
        setCommands(*decoded);
}

void CommandsService::save() {
    AppPaths::writePrivate(encodeCommands(m_commands), m_supportDir + "/commands.json");
}

void CommandsService::add(const QString& name, const QString& command,
                          const std::optional<QString>& workingDir) {
    const QString n = trimmed(name), c = trimmed(command);
    if (n.isEmpty() || c.isEmpty())
        return;
    std::optional<QString> dir;
    if (workingDir) {
        const QString d = trimmed(*workingDir);
        if (!d.isEmpty())
            dir = d;
    }
    QList<SavedCommand> list = m_commands;
    list.append(SavedCommand{QUuid::createUuid(), n, c, dir});
    setCommands(list);
    save();
}

void CommandsService::saveDraft() {
    const QString n = trimmed(m_draftName), c = trimmed(m_draftCommand), d = trimmed(m_draftFolder);
    if (n.isEmpty() || c.isEmpty())
        return;
    const auto it = std::find_if(m_commands.cbegin(), m_commands.cend(),
                                 [&](const SavedCommand& s) { return s.id == m_editingID; });
    if (!m_editingID.isNull() && it != m_commands.cend()) {
        QList<SavedCommand> list = m_commands;
        SavedCommand& edited = list[it - m_commands.cbegin()];
        edited.name = n;
        edited.command = c;
        edited.workingDir = d.isEmpty() ? std::nullopt : std::optional<QString>(d);
        setCommands(list);
        save();
    } else {
        add(n, c, d);
    }
    setEditingID(QUuid());
    setDraftName(QString());
    setDraftCommand(QString());
    setDraftFolder(QString());
    setShowingForm(false);
}

void CommandsService::beginEdit(const SavedCommand& cmd) {
    setEditingID(cmd.id);
    setDraftName(cmd.name);
    setDraftCommand(cmd.command);
    setDraftFolder(cmd.workingDir.value_or(QString()));
    setShowingForm(true);
}

void CommandsService::remove(const SavedCommand& cmd) {
    if (m_runningIDs.contains(cmd.id))
        stop(cmd);
    QList<SavedCommand> list = m_commands;
    list.removeIf([&](const SavedCommand& s) { return s.id == cmd.id; });
    setCommands(list);
    save();
    // With its row gone nothing could clear the mark any more, and the island would stay red.
    setCrashed(cmd.id, false);
}

void CommandsService::pickFolderForDraft() {
    if (!m_filePicker)
        return;
    setPickerOpen(true);
    const auto path =
        m_filePicker({true, tr("Usar esta pasta"), tr("Escolha a pasta onde o comando vai rodar")});
    setPickerOpen(false);
    if (path && !path->isEmpty())
        setDraftFolder(*path);
}

void CommandsService::pickPathIntoDraft() {
    if (!m_filePicker)
        return;
    setPickerOpen(true);
    const auto path =
        m_filePicker({false, tr("Usar caminho"), tr("Choose the folder or file to insert into the command")});
    setPickerOpen(false);
    if (!path || path->isEmpty())
        return;
    // Any character the shell would interpret (not only a space) gets the path single-quoted.
    const QString inserted = isShellSafe(*path) ? *path : Shell::quote(*path);
    QString command = m_draftCommand;
    if (!command.isEmpty() && !command.endsWith(u' '))
        command += u' ';
    setDraftCommand(command + inserted);
}

// ---- processes ------------------------------------------------------------------------------------

CommandsService::Watched CommandsService::watch(qint32 pid, int pidfd, std::function<void()> onEnd) {
    Watched w{pid, pidfd, nullptr};
    if (pidfd >= 0) {
        w.notifier = new QSocketNotifier(pidfd, QSocketNotifier::Read, this);
        connect(w.notifier, &QSocketNotifier::activated, this, std::move(onEnd));
    }
    return w;
}

void CommandsService::release(Watched& w) {
    // Often called from the notifier's own signal, so it is deleted later.
    if (w.notifier) {
        w.notifier->setEnabled(false);
        w.notifier->deleteLater();
    }
    w.notifier = nullptr;
    if (w.pidfd >= 0)
        ::close(w.pidfd);
    w.pidfd = -1;
}

void CommandsService::start(const SavedCommand& cmd) {
    // A second launch would replace the record of the first process, which then could never be
    // stopped from here; callers already choose stop for a running command.
    if (m_runningIDs.contains(cmd.id))
        return;
    // The log is emptied even when the launch then fails, so it always shows the current attempt.
    QDir().mkpath(m_logsDir);
    const QByteArray logFile = QFile::encodeName(logPath(cmd.name));
    // O_APPEND: a same-named service still writing from its old offset would otherwise punch a hole
    // of NUL bytes into the emptied file.
    const int logFd = ::open(logFile.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
    if (logFd >= 0)
        ::fchmod(logFd, 0600);

    QString dir = cmd.workingDir.value_or(QString());
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = QDir::homePath();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), Shell::path());
    env.insert(QString::fromLatin1(kServiceIdVariable), idString(cmd.id));
    ServiceLauncher::Request request;
    request.program = QStringLiteral("/bin/zsh");
    request.arguments = {QStringLiteral("-lc"), cmd.command};
    request.workingDir = dir;
    for (const QString& entry : env.toStringList())
        request.environment.append(entry.toLocal8Bit());
    request.outputFd = logFd;

    const ServiceLauncher::Launched launched = m_launcher.launch(request);
    if (logFd >= 0)
        ::close(logFd);
    if (launched.pid <= 0) {
        Log::line(QStringLiteral("falha ao iniciar '") + cmd.name + QStringLiteral("': ") + launched.error);
        return;
    }

    const QUuid id = cmd.id;
    const qint32 pid = launched.pid;
    m_processes.insert(id, watch(pid, launched.pidfd, [this, id, pid] { processEnded(id, pid); }));
    setRunning(id, true);
    setCrashed(id, false);
    m_stopRequested.remove(id);
    persistRunning();
    startAdoptionMonitorIfNeeded(); // only when the kernel gave no pidfd to watch the end with
}

void CommandsService::processEnded(const QUuid& id, qint32 pid) {
    if (!m_launcher.reap(pid))
        return; // woken early; the descriptor stays readable until the end is collected
    auto it = m_processes.find(id);
    if (it == m_processes.end() || it->pid != pid)
        return;
    release(*it);
    m_processes.erase(it);
    if (!m_stopRequested.remove(id))
        setCrashed(id, true);
    setRunning(id, false);
    persistRunning();
}

std::optional<qint32> CommandsService::pidOf(const QUuid& id) const {
    if (auto it = m_processes.find(id); it != m_processes.end())
        return it->pid;
    if (auto it = m_adoptedPIDs.find(id); it != m_adoptedPIDs.end())
        return it->pid;
    return std::nullopt;
}

void CommandsService::stop(const SavedCommand& cmd) {
    m_stopRequested.insert(cmd.id);
    const Watched* w = nullptr;
    if (auto it = m_processes.find(cmd.id); it != m_processes.end())
        w = &*it;
    else if (auto jt = m_adoptedPIDs.find(cmd.id); jt != m_adoptedPIDs.end())
        w = &*jt;
    if (!w) {
        setRunning(cmd.id, false);
        return;
    }
    const qint32 pid = w->pid;
    const int pidfd = w->pidfd >= 0 ? ::fcntl(w->pidfd, F_DUPFD_CLOEXEC, 0) : -1;
    ServiceLauncher* launcher = &m_launcher;
    ProcessTable* table = &m_processTable;
    // One snapshot of the tree, then every descendant before its parent and the root last, through
    // its pidfd so that a reused pid is never hit.
    track(QtConcurrent::run([launcher, table, pid, pidfd] {
        const QList<qint32> tree = table->tree(pid);
        for (qsizetype i = tree.size() - 1; i > 0; --i)
            launcher->signal(tree[i], -1, SIGTERM);
        launcher->signal(pid, pidfd, SIGTERM);
        if (pidfd >= 0)
            ::close(pidfd);
    }));
}

void CommandsService::track(QFuture<void> future) {
    m_work.removeIf([](const QFuture<void>& f) { return f.isFinished(); });
    m_work.append(std::move(future));
}

// ---- running.json and re-adoption ------------------------------------------------------------------

void CommandsService::persistRunning() {
    QJsonObject map;
    if (m_pendingAdoption) {
        for (auto it = m_pendingAdoption->cbegin(); it != m_pendingAdoption->cend(); ++it)
            map.insert(idString(it.key()), it.value());
    }
    for (auto it = m_processes.cbegin(); it != m_processes.cend(); ++it)
        map.insert(idString(it.key()), it->pid);
    for (auto it = m_adoptedPIDs.cbegin(); it != m_adoptedPIDs.cend(); ++it)
        map.insert(idString(it.key()), it->pid);
    AppPaths::writePrivate(QJsonDocument(map).toJson(QJsonDocument::Compact), m_supportDir + "/running.json");
}

void CommandsService::adoptOrphans() {
    const QString path = m_supportDir + "/running.json";
    QFile file(path);
    const QDateTime written = QFileInfo(path).lastModified();
    if (!file.open(QIODevice::ReadOnly)) {
        emit adoptionFinished();
        return;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    if (!doc.isObject()) {
        emit adoptionFinished();
        return;
    }
    struct Entry {
        QString key;
        qint32 pid;
    };
    QList<Entry> entries;
    const QJsonObject obj = doc.object();
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        const double v = it.value().toDouble(-1.5);
        if (!it.value().isDouble() || v != double(qint32(v))) { // not a 32-bit integer: the file is bad
            emit adoptionFinished();
            return;
        }
        entries.append({it.key(), qint32(v)});
    }

    QHash<QUuid, QString> commandLines;
    for (const SavedCommand& c : m_commands)
        commandLines.insert(c.id, c.command);
    m_pendingAdoption.emplace();
    for (const Entry& e : entries) {
        if (const auto id = parseId(e.key); id && commandLines.contains(*id))
            m_pendingAdoption->insert(*id, e.pid);
    }

    const double writtenAt = written.isValid() ? written.toMSecsSinceEpoch() / 1000.0 : 0.0;
    ServiceLauncher* launcher = &m_launcher;
    ProcessTable* table = &m_processTable;
    QPointer<CommandsService> self(this);
    const QHash<QUuid, qint32> pending = *m_pendingAdoption;
    track(QtConcurrent::run([=] {
        QList<AdoptionCandidate> adopted;
        for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
            const QUuid id = it.key();
            const qint32 pid = it.value();
            if (pid <= 0)
                continue;
            // The descriptor first: whatever is checked below is then the process it refers to.
            const int pidfd = launcher->openPidfd(pid);
            auto reject = [&] {
                if (pidfd >= 0)
                    ::close(pidfd);
            };
            const auto st = table->stat(pid);
            const auto started = table->startTime(pid);
            if (!launcher->signal(pid, pidfd, 0) || !st || st->state == 'Z' || !started ||
                *started > writtenAt + kStartTolerance) {
                reject();
                continue;
            }
            const ProcessTable::EnvValue marker = table->environValue(pid, kServiceIdVariable);
            bool same;
            if (marker.readable && marker.value) {
                const auto markedId = parseId(*marker.value);
                same = markedId && *markedId == id;
            } else {
                const QString program = programName(commandLines.value(id));
                same = !program.isEmpty() && table->cmdline(pid).contains(program);
            }
            if (!same) {
                reject();
                continue;
            }
            adopted.append({id, pid, pidfd});
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, adopted] {
                if (self) {
                    self->applyAdoption(adopted);
                    return;
                }
                for (const AdoptionCandidate& a : adopted) {
                    if (a.pidfd >= 0)
                        ::close(a.pidfd);
                }
            },
            Qt::QueuedConnection);
    }));
}

void CommandsService::applyAdoption(const QList<AdoptionCandidate>& adopted) {
    m_pendingAdoption.reset();
    for (const AdoptionCandidate& a : adopted) {
        const bool known = std::any_of(m_commands.cbegin(), m_commands.cend(),
                                       [&](const SavedCommand& c) { return c.id == a.id; });
        // Deleted meanwhile, or started again in this run: the recorded process is not ours to show.
        if (!known || m_processes.contains(a.id) || m_adoptedPIDs.contains(a.id)) {
            if (a.pidfd >= 0)
                ::close(a.pidfd);
            continue;
        }
        const QUuid id = a.id;
        m_adoptedPIDs.insert(id, watch(a.pid, a.pidfd, [this, id] { adoptedEnded(id); }));
        setRunning(id, true);
    }
    persistRunning();
    startAdoptionMonitorIfNeeded();
    emit adoptionFinished();
}

bool CommandsService::waitForAdoption(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (m_pendingAdoption && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return !m_pendingAdoption;
}

void CommandsService::startAdoptionMonitorIfNeeded() {
    const bool unwatchedOwn =
        std::any_of(m_processes.cbegin(), m_processes.cend(), [](const Watched& w) { return w.pidfd < 0; });
    if (!m_adoptionTimer.isActive() && (!m_adoptedPIDs.isEmpty() || unwatchedOwn))
        m_adoptionTimer.start();
}

void CommandsService::adoptedEnded(const QUuid& id) {
    auto it = m_adoptedPIDs.find(id);
    if (it == m_adoptedPIDs.end())
        return;
    release(*it);
    m_adoptedPIDs.erase(it);
    setRunning(id, false);
    if (!m_stopRequested.remove(id))
        setCrashed(id, true);
    persistRunning();
    stopMonitorIfIdle();
}

void CommandsService::stopMonitorIfIdle() {
    const bool unwatchedOwn =
        std::any_of(m_processes.cbegin(), m_processes.cend(), [](const Watched& w) { return w.pidfd < 0; });
    if (m_adoptedPIDs.isEmpty() && !unwatchedOwn)
        m_adoptionTimer.stop();
}

void CommandsService::pollAdopted() {
    QList<QUuid> gone;
    for (auto it = m_adoptedPIDs.cbegin(); it != m_adoptedPIDs.cend(); ++it) {
        bool ended;
        if (it->pidfd >= 0) {
            ended = pidfdEnded(it->pidfd);
        } else {
            const auto st = m_processTable.stat(it->pid);
            ended = ::kill(it->pid, 0) != 0 || !st || st->state == 'Z';
        }
        if (ended)
            gone.append(it.key());
    }
    for (const QUuid& id : gone)
        adoptedEnded(id);
    // Own processes the kernel gave no pidfd for are checked here too.
    QList<std::pair<QUuid, qint32>> own;
    for (auto it = m_processes.cbegin(); it != m_processes.cend(); ++it) {
        if (it->pidfd < 0)
            own.append({it.key(), it->pid});
    }
    for (const auto& [id, pid] : own)
        processEnded(id, pid);
    persistRunning();
    stopMonitorIfIdle();
}

// ---- logs -----------------------------------------------------------------------------------------

QString CommandsService::logPath(const QString& commandName) const {
    QString file = commandName;
    file.replace(u'/', u'-');
    return m_logsDir + u'/' + file + QStringLiteral(".log");
}

void CommandsService::showLog(const SavedCommand& cmd) {
    setViewingLog(cmd);
    refreshLogTail();
    m_logTimer.start();
}

void CommandsService::hideLog() {
    m_logTimer.stop();
    setViewingLog(std::nullopt);
    setLogText(QString());
}

void CommandsService::refreshLogTail() {
    if (!m_viewingLog)
        return;
    // The tail is read by seeking, with its first cut line dropped; undecodable bytes come back
    // replaced, so a log with a stray byte or a cut character still shows as text.
    const std::optional<QString> text = LogTail::read(logPath(m_viewingLog->name), kLogTailBytes);
    if (!text) {
        setLogText(tr("(sem log ainda — inicie o serviço)"));
        return;
    }
    const bool blank = std::all_of(text->cbegin(), text->cend(), [](QChar c) { return c.isSpace(); });
    setLogText(blank ? tr("(log vazio)") : *text);
}

// ---- phone QR -------------------------------------------------------------------------------------

void CommandsService::showQR(const SavedCommand& cmd) {
    const auto pid = pidOf(cmd.id);
    if (!pid) {
        m_qrFor = QUuid();
        setQrInfo(QRInfo{cmd.name, std::nullopt, QImage(), tr("Start the service first (▶)")});
        return;
    }
    setQrInfo(QRInfo{cmd.name, std::nullopt, QImage(), tr("Looking for the service's port…")});
    m_qrFor = cmd.id;
    ProcessTable* table = &m_processTable;
    QPointer<CommandsService> self(this);
    const qint32 root = *pid;
    track(QtConcurrent::run([=] {
        PortLookup result;
        result.ports = table->listeningPorts(table->tree(root));
        if (!result.ports.isEmpty()) {
            result.address = QRCode::lanIP();
            if (result.address) {
                const quint16 port = *std::min_element(result.ports.cbegin(), result.ports.cend());
                result.image =
                    QRCode::image(QStringLiteral("http://%1:%2").arg(*result.address).arg(port), 300);
            }
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, cmd, result] {
                if (self)
                    self->applyPortLookup(cmd, result);
            },
            Qt::QueuedConnection);
    }));
}

void CommandsService::applyPortLookup(const SavedCommand& cmd, const PortLookup& result) {
    // Names are not unique, so a late answer is matched to the request by the command's id.
    if (!m_qrInfo || m_qrFor != cmd.id)
        return;
    if (result.ports.isEmpty()) {
        setQrInfo(QRInfo{cmd.name, std::nullopt, QImage(),
                         tr("Não achei porta escutando — o serviço já terminou de subir?")});
        return;
    }
    if (!result.address) {
        setQrInfo(QRInfo{cmd.name, std::nullopt, QImage(), tr("Sem rede local — conecte no Wi-Fi")});
        return;
    }
    const quint16 port = *std::min_element(result.ports.cbegin(), result.ports.cend());
    const QString url = QStringLiteral("http://") + *result.address + u':' + QString::number(port);
    setQrInfo(QRInfo{cmd.name, url, result.image, std::nullopt});
}

// ---- published state ------------------------------------------------------------------------------

void CommandsService::setCommands(QList<SavedCommand> value) {
    if (value == m_commands)
        return;
    m_commands = std::move(value);
    emit commandsChanged();
}

void CommandsService::setRunning(const QUuid& id, bool running) {
    if (m_runningIDs.contains(id) == running)
        return;
    if (running)
        m_runningIDs.insert(id);
    else
        m_runningIDs.remove(id);
    emit runningIDsChanged();
}

void CommandsService::setCrashed(const QUuid& id, bool crashed) {
    if (m_crashedIDs.contains(id) == crashed)
        return;
    if (crashed)
        m_crashedIDs.insert(id);
    else
        m_crashedIDs.remove(id);
    emit crashedIDsChanged();
}

void CommandsService::setShowingForm(bool value) {
    if (m_showingForm == value)
        return;
    m_showingForm = value;
    emit showingFormChanged();
}

void CommandsService::setDraftName(const QString& value) {
    if (m_draftName == value)
        return;
    m_draftName = value;
    emit draftNameChanged();
}

void CommandsService::setDraftCommand(const QString& value) {
    if (m_draftCommand == value)
        return;
    m_draftCommand = value;
    emit draftCommandChanged();
}

void CommandsService::setDraftFolder(const QString& value) {
    if (m_draftFolder == value)
        return;
    m_draftFolder = value;
    emit draftFolderChanged();
}

void CommandsService::setEditingID(const QUuid& value) {
    if (m_editingID == value)
        return;
    m_editingID = value;
    emit editingIDChanged();
}

void CommandsService::setPickerOpen(bool value) {
    if (m_pickerOpen == value)
        return;
    m_pickerOpen = value;
    emit pickerOpenChanged();
}

void CommandsService::setViewingLog(const std::optional<SavedCommand>& value) {
    if (m_viewingLog == value)
        return;
    m_viewingLog = value;
    emit viewingLogChanged();
}

void CommandsService::setLogText(const QString& value) {
    if (m_logText == value)
        return;
    m_logText = value;
    emit logTextChanged();
}

void CommandsService::setQrInfo(const std::optional<QRInfo>& value) {
    if (!value)
        m_qrFor = QUuid();
    if (m_qrInfo == value)
        return;
    m_qrInfo = value;
    emit qrInfoChanged();
}
