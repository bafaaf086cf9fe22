// Saved shell commands run as background services: the stored list and its form, the processes with
// their crash state and re-adoption after a restart, the log tail and the phone QR lookup.
#pragma once

#include <QFuture>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <optional>

class ProcessTable;
class QSocketNotifier;
class ServiceLauncher;

struct SavedCommand {
    QUuid id;
    QString name;
    QString command;
    std::optional<QString> workingDir;

    bool operator==(const SavedCommand&) const = default;
};

class CommandsService : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<SavedCommand> commands READ commands NOTIFY commandsChanged)
    Q_PROPERTY(QSet<QUuid> runningIDs READ runningIDs NOTIFY runningIDsChanged)
    Q_PROPERTY(QSet<QUuid> crashedIDs READ crashedIDs NOTIFY crashedIDsChanged)
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
    struct QRInfo {
        QString name;
        std::optional<QString> url;
        QImage image; // null when there is none
        std::optional<QString> message;

        bool operator==(const QRInfo& o) const {
            return name == o.name && url == o.url && image.cacheKey() == o.image.cacheKey() &&
                   message == o.message;
        }
    };

    // What a file chooser of the form is asked for; the answer is a path, or nothing when cancelled.
    struct PickRequest {
        bool foldersOnly = false;
        QString prompt;
        QString message;
    };
    using FilePicker = std::function<std::optional<QString>(const PickRequest&)>;

    // `supportDir` holds "commands.json" and "running.json"; `logsDir` the command logs.
    CommandsService(ServiceLauncher& launcher, ProcessTable& processTable, QString supportDir,
                    QString logsDir, QObject* parent = nullptr);
    ~CommandsService() override;

    const QList<SavedCommand>& commands() const { return m_commands; }
    const QSet<QUuid>& runningIDs() const { return m_runningIDs; }
    const QSet<QUuid>& crashedIDs() const { return m_crashedIDs; }
    bool showingForm() const { return m_showingForm; }
    const QString& draftName() const { return m_draftName; }
    const QString& draftCommand() const { return m_draftCommand; }
    const QString& draftFolder() const { return m_draftFolder; }
    // A null id means the form adds a new command.
    QUuid editingID() const { return m_editingID; }
    bool pickerOpen() const { return m_pickerOpen; }
    const std::optional<SavedCommand>& viewingLog() const { return m_viewingLog; }
    const QString& logText() const { return m_logText; }
    const std::optional<QRInfo>& qrInfo() const { return m_qrInfo; }

    void setShowingForm(bool value);
    void setDraftName(const QString& value);
    void setDraftCommand(const QString& value);
    void setDraftFolder(const QString& value);
    void setEditingID(const QUuid& value);
    // The QR view closes itself by setting nothing here.
    void setQrInfo(const std::optional<QRInfo>& value);

    // The store and its form.
    void add(const QString& name, const QString& command, const std::optional<QString>& workingDir);
    void saveDraft();
    void beginEdit(const SavedCommand& cmd);
    void remove(const SavedCommand& cmd);
    void setFilePicker(FilePicker picker) { m_filePicker = std::move(picker); }
    void pickFolderForDraft();
    void pickPathIntoDraft();

    // Processes.
    void start(const SavedCommand& cmd);
    void stop(const SavedCommand& cmd);

    // Logs.
    QString logsDir() const { return m_logsDir; }
    QString logPath(const QString& commandName) const;
    void showLog(const SavedCommand& cmd);
    void hideLog();

    // Phone QR.
    void showQR(const SavedCommand& cmd);
    void hideQR() { setQrInfo(std::nullopt); }

    // Blocks until the start-up adoption pass has been applied (tests and benchmarks only).
    bool waitForAdoption(int timeoutMs = 5000);

    // The whitespace trim of the form: spaces, tabs and other space separators, never line breaks.
    static QString trimmed(const QString& text);
    // Parses "commands.json"; nothing when any part of it does not decode.
    static std::optional<QList<SavedCommand>> decodeCommands(const QByteArray& data);
    static QByteArray encodeCommands(const QList<SavedCommand>& commands);

signals:
    void commandsChanged();
    void runningIDsChanged();
    void crashedIDsChanged();
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

private:
    struct Watched {
        qint32 pid = -1;
        int pidfd = -1;
        QSocketNotifier* notifier = nullptr;
    };
    struct AdoptionCandidate {
        QUuid id;
        qint32 pid = -1;
        int pidfd = -1;
    };
    struct PortLookup {
        QList<quint16> ports;
        std::optional<QString> address;
        QImage image;
    };

    void loadCommands();
    void save();
    void persistRunning();
    void adoptOrphans();
    void applyAdoption(const QList<AdoptionCandidate>& adopted);
    void startAdoptionMonitorIfNeeded();
    void pollAdopted();
    void stopMonitorIfIdle();
    void processEnded(const QUuid& id, qint32 pid);
    void adoptedEnded(const QUuid& id);
    void refreshLogTail();
    void applyPortLookup(const SavedCommand& cmd, const PortLookup& result);
    std::optional<qint32> pidOf(const QUuid& id) const;
    Watched watch(qint32 pid, int pidfd, std::function<void()> onEnd);
    void release(Watched& w);
    void track(QFuture<void> future);

    void setCommands(QList<SavedCommand> value);
    void setRunning(const QUuid& id, bool running);
    void setCrashed(const QUuid& id, bool crashed);
    void setPickerOpen(bool value);
    void setViewingLog(const std::optional<SavedCommand>& value);
    void setLogText(const QString& value);

    ServiceLauncher& m_launcher;
    ProcessTable& m_processTable;
    const QString m_supportDir;
    const QString m_logsDir;
    FilePicker m_filePicker;

    QList<SavedCommand> m_commands;
    QSet<QUuid> m_runningIDs;
    QSet<QUuid> m_crashedIDs;
    QSet<QUuid> m_stopRequested;
    bool m_showingForm = false;
    QString m_draftName;
    QString m_draftCommand;
    QString m_draftFolder;
    QUuid m_editingID;
    bool m_pickerOpen = false;
    std::optional<SavedCommand> m_viewingLog;
    QString m_logText;
    QTimer m_logTimer;
    std::optional<QRInfo> m_qrInfo;
    QUuid m_qrFor; // the command whose lookup the QR view waits for

    QHash<QUuid, Watched> m_processes;
    QHash<QUuid, Watched> m_adoptedPIDs;
    QTimer m_adoptionTimer;
    // Entries of "running.json" still being checked; kept in the file until the check is done.
    std::optional<QHash<QUuid, qint32>> m_pendingAdoption;
    QList<QFuture<void>> m_work;
};
