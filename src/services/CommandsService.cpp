#include "services/CommandsService.h"

#include "platform/Ticker.h"
#include "services/CommandLogs.h"
#include "services/CommandsStore.h"
#include "services/Published.h"
#include "services/ServiceSupervisor.h"

#include <algorithm>

CommandsService::CommandsService(Seams seams, const QString& supportDir, QString logsDir, QObject* parent,
                                 StoreLoad load)
    : QObject(parent)
    , m_store(std::make_unique<CommandsStore>(supportDir))
    , m_qr(seams.processTable, seams.lanAddress) {
    m_logs =
        std::make_unique<CommandLogs>(seams.tickers, std::move(logsDir), &seams.launcher, seams.logKeeper);
    m_supervisor = std::make_unique<ServiceSupervisor>(
        ServiceSupervisor::Seams{seams.launcher, seams.processTable, seams.tickers,
                                 std::move(seams.adoptionGate), std::move(seams.shell)},
        supportDir);
    m_supervisor->setKnownCheck([this](const QUuid& id) {
        return std::any_of(m_commands.cbegin(), m_commands.cend(),
                           [&](const SavedCommand& c) { return c.id == id; });
    });

    connect(&m_draft, &CommandDraft::showingFormChanged, this, &CommandsService::showingFormChanged);
    connect(&m_draft, &CommandDraft::nameChanged, this, &CommandsService::draftNameChanged);
    connect(&m_draft, &CommandDraft::commandChanged, this, &CommandsService::draftCommandChanged);
    connect(&m_draft, &CommandDraft::folderChanged, this, &CommandsService::draftFolderChanged);
    connect(&m_draft, &CommandDraft::editingIDChanged, this, &CommandsService::editingIDChanged);
    connect(&m_draft, &CommandDraft::pickerOpenChanged, this, &CommandsService::pickerOpenChanged);
    connect(m_logs.get(), &CommandLogs::viewingLogChanged, this, &CommandsService::viewingLogChanged);
    connect(m_logs.get(), &CommandLogs::logTextChanged, this, &CommandsService::logTextChanged);
    connect(&m_qr, &ServiceQRLookup::infoChanged, this, &CommandsService::qrInfoChanged);
    connect(m_supervisor.get(), &ServiceSupervisor::runningIDsChanged, this,
            &CommandsService::runningIDsChanged);
    connect(m_supervisor.get(), &ServiceSupervisor::crashedIDsChanged, this,
            &CommandsService::crashedIDsChanged);
    connect(m_supervisor.get(), &ServiceSupervisor::stoppingIDsChanged, this,
            &CommandsService::stoppingIDsChanged);
    connect(m_supervisor.get(), &ServiceSupervisor::adoptionFinished, this,
            &CommandsService::adoptionFinished);

    if (load == StoreLoad::atOnce)
        applyStore(m_store->load(), true);
}

CommandsService::~CommandsService() {
    // A command added before the list was read is saved together with it, never over it.
    if (!m_loaded && m_load.started())
        if (auto stored = m_load.take(true))
            applyStore(*stored, false);
}

void CommandsService::loadStore() {
    if (m_loaded)
        return;
    m_load.start([store = *m_store] { return store.load(); }, this,
                 [this] {
                     if (auto stored = m_load.take())
                         applyStore(*stored, true);
                 });
}

void CommandsService::applyStore(const QList<SavedCommand>& stored, bool adopt) {
    m_loaded = true;
    QList<SavedCommand> list = stored;
    for (const SavedCommand& added : std::as_const(m_commands))
        if (std::none_of(list.cbegin(), list.cend(), [&](const SavedCommand& c) { return c.id == added.id; }))
            list.append(added);
    setCommands(std::move(list));
    if (adopt)
        m_supervisor->adoptOrphans(m_commands);
    emit storeLoaded();
    if (m_saveWaitsForLoad) {
        m_saveWaitsForLoad = false;
        save();
    }
}

const QSet<QUuid>& CommandsService::runningIDs() const {
    return m_supervisor->runningIDs();
}

const QSet<QUuid>& CommandsService::crashedIDs() const {
    return m_supervisor->crashedIDs();
}

std::optional<ServiceLauncher::Ended> CommandsService::crashEnd(const QUuid& id) const {
    return m_supervisor->crashEnd(id);
}

const QSet<QUuid>& CommandsService::stoppingIDs() const {
    return m_supervisor->stoppingIDs();
}

const std::optional<SavedCommand>& CommandsService::viewingLog() const {
    return m_logs->viewingLog();
}

const QString& CommandsService::logText() const {
    return m_logs->logText();
}

QString CommandsService::logsDir() const {
    return m_logs->logsDir();
}

QString CommandsService::logPath(const QString& commandName) const {
    return m_logs->logPath(commandName);
}

// ---- store ----------------------------------------------------------------------------------------

void CommandsService::setCommands(QList<SavedCommand> value) {
    assignPublished(this, m_commands, std::move(value), &CommandsService::commandsChanged);
}

void CommandsService::save() {
    if (!m_loaded) {
        m_saveWaitsForLoad = true;
        return;
    }
    m_store->save(m_commands);
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
    const QString n = trimmed(m_draft.name()), c = trimmed(m_draft.command()), d = trimmed(m_draft.folder());
    if (n.isEmpty() || c.isEmpty())
        return;
    const QUuid editing = m_draft.editingID();
    const auto it = std::find_if(m_commands.cbegin(), m_commands.cend(),
                                 [&](const SavedCommand& s) { return s.id == editing; });
    if (!editing.isNull() && it != m_commands.cend()) {
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
    m_draft.clear();
}

void CommandsService::beginEdit(const SavedCommand& cmd) {
    m_draft.setEditingID(cmd.id);
    m_draft.setName(cmd.name);
    m_draft.setCommand(cmd.command);
    m_draft.setFolder(cmd.workingDir.value_or(QString()));
    m_draft.setShowingForm(true);
}

void CommandsService::remove(const SavedCommand& cmd) {
    if (runningIDs().contains(cmd.id))
        stop(cmd);
    QList<SavedCommand> list = m_commands;
    list.removeIf([&](const SavedCommand& s) { return s.id == cmd.id; });
    setCommands(list);
    save();
    // With its row gone nothing could clear the mark any more, and the island would stay red.
    m_supervisor->clearCrash(cmd.id);
}

// ---- processes ------------------------------------------------------------------------------------

void CommandsService::start(const SavedCommand& cmd) {
    // A second launch would replace the record of the first process, which then could never be
    // stopped from here; callers already choose stop for a running command.
    if (m_supervisor->refusesStart(cmd.id))
        return;
    // Before the saved list is read the record of an earlier run's processes has not been looked at
    // either: a start now could write over it. Only a command added in that moment could be asked for.
    if (!m_loaded)
        return;
    // The log is emptied even when the launch then fails, so it always shows the current attempt.
    m_supervisor->start(cmd, m_logs->openFresh(cmd.name));
}

void CommandsService::stop(const SavedCommand& cmd) {
    m_supervisor->stop(cmd.id);
}

bool CommandsService::waitForAdoption(int timeoutMs) {
    return m_supervisor->waitForAdoption(timeoutMs);
}

// ---- logs and QR ----------------------------------------------------------------------------------

void CommandsService::showLog(const SavedCommand& cmd) {
    m_logs->show(cmd);
}

void CommandsService::hideLog() {
    m_logs->hide();
}

void CommandsService::showQR(const SavedCommand& cmd) {
    m_qr.show(cmd, m_supervisor->pidOf(cmd.id));
}
