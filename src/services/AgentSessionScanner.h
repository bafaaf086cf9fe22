// Finds the coding-agent sessions active in the last hour in the logs that Claude Code and the Codex
// command-line tool keep under the home folder. Reads other tools' files only, a bounded amount of each.
#pragma once

#include "model/AgentSession.h"
#include "services/ClaudeFolders.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace AgentSessionScanner {

constexpr qint64 kActivityWindowMs = 3600 * 1000;
constexpr qint64 kWorkingMs = 90 * 1000;
constexpr qint64 kTailBytes = 16384;
constexpr qint64 kHeadBytes = 8192;

// Claude sessions (one folder per project in the projects folder of each of Claude Code's `claude`
// folders, a log reached twice through a link listed once), then Codex sessions (any depth under
// `home`/.codex/sessions), most recent first, at most `limit`; among equal minutes Claude comes first.
QList<AgentSession> scan(const ClaudeFolders& claude, const QString& home, const QDateTime& now,
                         int limit = 8);

QList<AgentSession> claudeSessions(const ClaudeFolders& claude, const QDateTime& now);
QList<AgentSession> codexSessions(const QString& home, const QDateTime& now);

// "assistant" or "user": the type of the last such entry within the log's last 16384 bytes. A line that
// is not valid UTF-8 is passed over like any other line that does not parse.
std::optional<QString> lastEntryType(const QString& path);
// The last folder name of the working directory named in the log's first 8192 bytes, searched line by
// line so that one undecodable line hides only itself.
std::optional<QString> codexProject(const QString& path);
// The project of a Claude project folder name ("-home-zuz-projetos-my-app" → "my-app").
QString claudeProject(const QString& folderName);

} // namespace AgentSessionScanner
