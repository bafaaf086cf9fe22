// The log files of saved commands (one per command name, in the logs folder) and the log view's text:
// the last 32 KiB of the viewed command's log, read again every second while the view is open.
#pragma once

#include "model/SavedCommand.h"
#include "platform/UniqueFd.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class ServiceLauncher;
class Ticker;
class TickerFactory;

class CommandLogs : public QObject {
    Q_OBJECT

public:
    // With a `launcher` and a `keeper` program, each run's output goes through a keeper that holds the log
    // under its cap; otherwise the service writes the file itself.
    CommandLogs(TickerFactory& tickers, QString logsDir, ServiceLauncher* launcher = nullptr,
                QString keeper = {}, QObject* parent = nullptr);
    ~CommandLogs() override;

    QString logsDir() const { return m_logsDir; }
    QString logPath(const QString& commandName) const;
    // The command's log emptied and opened for a new run (append-only, 0600), with the logs folder
    // made again owner-only when it was deleted: the write end of its keeper's pipe, or the file itself
    // when no keeper runs; empty when it cannot be opened.
    UniqueFd openFresh(const QString& commandName) const;

    const std::optional<SavedCommand>& viewingLog() const { return m_viewingLog; }
    const QString& logText() const { return m_logText; }
    void show(const SavedCommand& cmd);
    void hide();

signals:
    void viewingLogChanged();
    void logTextChanged();

private:
    void refresh();

    const QString m_logsDir;
    ServiceLauncher* m_launcher = nullptr;
    const QString m_keeper;
    std::unique_ptr<Ticker> m_refresh;
    std::optional<SavedCommand> m_viewingLog;
    QString m_logText;
};
