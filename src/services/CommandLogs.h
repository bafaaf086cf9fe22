// The log files of saved commands (one per command name, in the logs folder) and the log view's text:
// the last 32 KiB of the viewed command's log, read again every second while the view is open.
#pragma once

#include "model/SavedCommand.h"
#include "platform/UniqueFd.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class Ticker;
class TickerFactory;

class CommandLogs : public QObject {
    Q_OBJECT

public:
    CommandLogs(TickerFactory& tickers, QString logsDir, QObject* parent = nullptr);
    ~CommandLogs() override;

    QString logsDir() const { return m_logsDir; }
    QString logPath(const QString& commandName) const;
    // The command's log emptied and opened for a new run (append-only, 0600), with the logs folder
    // made again owner-only when it was deleted; empty when it cannot be opened.
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
    std::unique_ptr<Ticker> m_refresh;
    std::optional<SavedCommand> m_viewingLog;
    QString m_logText;
};
