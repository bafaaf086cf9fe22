// Saved shell commands run as background services: the published face of the stored list and its form,
// the processes with their crash state and re-adoption after a restart, the log view and the phone QR
// lookup. Each of those jobs is a unit of its own; this class ties them together for the views.
#pragma once

#include "model/SavedCommand.h"
#include "platform/ServiceLauncher.h"
#include "services/CommandDraft.h"
#include "services/LateLoad.h"
#include "services/ServiceQRLookup.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class CommandLogs;
class CommandsStore;
class LanAddress;
class ProcessTable;
class ServiceSupervisor;
class TickerFactory;

class CommandsService : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<SavedCommand> commands READ commands NOTIFY commandsChanged)
    Q_PROPERTY(QSet<QUuid> runningIDs READ runningIDs NOTIFY runningIDsChanged)
    Q_PROPERTY(QSet<QUuid> crashedIDs READ crashedIDs NOTIFY crashedIDsChanged)
    Q_PROPERTY(QSet<QUuid> stoppingIDs READ stoppingIDs NOTIFY stoppingIDsChanged)
    Q_PROPERTY(bool showingForm READ showingForm WRITE setShowingForm NOTIFY showingFormChanged)
    Q_PROPERTY(QString draftName READ draftName WRITE setDraftName NOTIFY draftNameChanged)
    Q_PROPERTY(QString draftCommand READ draftCommand WRITE setDraftCommand NOTIFY draftCommandChanged)
    Q_PROPERTY(QString draftFolder READ draftFolder WRITE setDraftFolder NOTIFY draftFolderChanged)
    Q_PROPERTY(QUuid editingID READ editingID WRITE setEditingID NOTIFY editingIDChanged)
    Q_PROPERTY(bool pickerOpen READ pickerOpen NOTIFY pickerOpenChanged)
    Q_PROPERTY(std::optional<SavedCommand> viewingLog READ viewingLog NOTIFY viewingLogChanged)
    Q_PROPERTY(QString logText READ logText NOTIFY logTextChanged)
    Q_PROPERTY(std::optional<CommandsService::QRInfo> qrInfo READ qrInfo WRITE setQrInfo NOTIFY qrInfoChanged)

public:
    // The phone-QR view's state: a progress or failure `message`, or a `url` with its QR `image`.
    using QRInfo = ServiceQRLookup::Info;
    // What a file chooser of the form is asked for; the answer is a path, or nothing when cancelled.
    using PickRequest = CommandDraft::PickRequest;
    using FilePicker = CommandDraft::FilePicker;

    struct Seams {
        ServiceLauncher& launcher;
        ProcessTable& processTable;
        // The log view's 1 s refresh and the 2 s check for ends no pidfd reports.
        TickerFactory& tickers;
        // Where the QR view finds the machine's LAN address; none: it never finds one.
        LanAddress* lanAddress = nullptr;
        // Runs on the worker before the start-up adoption pass checks anything (tests hold it there).
        std::function<void()> adoptionGate = {};
        // The log keeper program that keeps each service's log under its cap; empty: services write
        // their logs themselves, without a cap.
        QString logKeeper = {};
        // The shell services start under; empty: Shell::shellProgram().
        QString shell = {};
    };

    // `supportDir` holds "commands.json" and "running.json"; `logsDir` the command logs. The saved list is
    // read at once or when loadStore() is called.
    CommandsService(Seams seams, const QString& supportDir, QString logsDir, QObject* parent = nullptr,
                    StoreLoad load = StoreLoad::atOnce);
    ~CommandsService() override;

    // Reads the saved list on a worker thread, merges the commands added meanwhile after it and then
    // looks for processes of an earlier run to take back; does nothing once read or while being read.
    // Until then nothing is saved, so a list that has not been read is never replaced by a shorter one.
    void loadStore();
    bool isStoreLoaded() const { return m_loaded; }

    const QList<SavedCommand>& commands() const { return m_commands; }
    const QSet<QUuid>& runningIDs() const;
    const QSet<QUuid>& crashedIDs() const;
    // How a crashed command ended (exit status or signal), when known; announced with `crashedIDs`.
    std::optional<ServiceLauncher::Ended> crashEnd(const QUuid& id) const;
    // Running commands whose stop is under way: they stay in `runningIDs` until every process is gone.
    const QSet<QUuid>& stoppingIDs() const;
    bool showingForm() const { return m_draft.showingForm(); }
    const QString& draftName() const { return m_draft.name(); }
    const QString& draftCommand() const { return m_draft.command(); }
    const QString& draftFolder() const { return m_draft.folder(); }
    // A null id means the form adds a new command.
    QUuid editingID() const { return m_draft.editingID(); }
    bool pickerOpen() const { return m_draft.pickerOpen(); }
    const std::optional<SavedCommand>& viewingLog() const;
    const QString& logText() const;
    const std::optional<QRInfo>& qrInfo() const { return m_qr.info(); }

    void setShowingForm(bool value) { m_draft.setShowingForm(value); }
    void setDraftName(const QString& value) { m_draft.setName(value); }
    void setDraftCommand(const QString& value) { m_draft.setCommand(value); }
    void setDraftFolder(const QString& value) { m_draft.setFolder(value); }
    void setEditingID(const QUuid& value) { m_draft.setEditingID(value); }
    // The QR view closes itself by setting nothing here.
    void setQrInfo(const std::optional<QRInfo>& value) { m_qr.setInfo(value); }

    // The store and its form.
    void add(const QString& name, const QString& command, const std::optional<QString>& workingDir);
    void saveDraft();
    void beginEdit(const SavedCommand& cmd);
    void remove(const SavedCommand& cmd);
    void setFilePicker(FilePicker picker) { m_draft.setFilePicker(std::move(picker)); }
    void pickFolderForDraft() { m_draft.pickFolder(); }
    void pickPathIntoDraft() { m_draft.pickPath(); }

    // Processes. A command that runs, or whose process from an earlier run is still being checked for
    // adoption, is not started again.
    void start(const SavedCommand& cmd);
    void stop(const SavedCommand& cmd);

    // Logs.
    QString logsDir() const;
    QString logPath(const QString& commandName) const;
    void showLog(const SavedCommand& cmd);
    void hideLog();

    // Phone QR.
    void showQR(const SavedCommand& cmd);
    void hideQR() { setQrInfo(std::nullopt); }

    // Blocks until the start-up adoption pass has been applied (tests and benchmarks only).
    bool waitForAdoption(int timeoutMs = 5000);

    // The whitespace trim of the form: spaces, tabs and other space separators, never line breaks.
    static QString trimmed(const QString& text) { return CommandDraft::trimmed(text); }

signals:
    void commandsChanged();
    void runningIDsChanged();
    void crashedIDsChanged();
    void stoppingIDsChanged();
    void showingFormChanged();
    void draftNameChanged();
    void draftCommandChanged();
    void draftFolderChanged();
    void editingIDChanged();
    void pickerOpenChanged();
    void viewingLogChanged();
    void logTextChanged();
    void qrInfoChanged();
    void adoptionFinished();
    // The saved list has been read (or found missing or unreadable) and merged.
    void storeLoaded();

private:
    void setCommands(QList<SavedCommand> value);
    void save();
    void applyStore(const QList<SavedCommand>& stored, bool adopt);

    // Declared before the units that refer to it.
    QList<SavedCommand> m_commands;
    std::unique_ptr<CommandsStore> m_store;
    CommandDraft m_draft;
    std::unique_ptr<CommandLogs> m_logs;
    ServiceQRLookup m_qr;
    std::unique_ptr<ServiceSupervisor> m_supervisor;
    bool m_loaded = false;
    bool m_saveWaitsForLoad = false; // something changed before the saved list was read
    LateLoad<QList<SavedCommand>> m_load;
};
