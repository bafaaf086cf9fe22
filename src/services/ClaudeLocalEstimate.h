// The Claude card estimated from Claude Code's project logs: tokens of the last five hours and of the
// last week. Keeps what it learnt of each log between calls, so that a later call reads only what was
// appended since. Not thread-safe: one call at a time.
#pragma once

#include "model/AIProviderUsage.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

#include <optional>
#include <vector>

class ClaudeLocalEstimate {
public:
    // `home` is the folder holding ".claude".
    explicit ClaudeLocalEstimate(QString home)
        : m_home(std::move(home)) {}

    // Nothing when there is no "~/.claude/projects" folder. Blocks.
    std::optional<AIProviderUsage> read(const QDateTime& now);

    // The tokens a log line counts and the moment it was written, when it is a usage line.
    struct Usage {
        qint64 msecs = 0;
        qint64 tokens = 0;
    };
    static std::optional<Usage> usageOfLine(QByteArrayView line);

    // Bytes read from log files by the last call.
    qint64 lastBytesRead() const { return m_lastBytesRead; }

private:
    struct FileState {
        qint64 size = 0;
        QDateTime modified;
        qint64 parsedUpTo = 0; // the lines before this offset are in `usages`
        QByteArray lastBytes;  // the bytes just before `parsedUpTo`, to tell an append from a rewrite
        std::vector<Usage> usages;
    };
    // Brings `state` up to date with the file; false when the file cannot be read.
    bool update(const QString& path, qint64 size, const QDateTime& modified, FileState& state,
                std::vector<Usage>& unterminated);

    QString m_home;
    QHash<QString, FileState> m_files;
    qint64 m_lastBytesRead = 0;
};
