// The Claude card estimated from Claude Code's project logs: tokens of the last five hours and of the
// last week. Keeps what it learnt of each log between calls, so that a later call reads only what was
// appended since. Not thread-safe: one call at a time.
#pragma once

#include "model/AIProviderUsage.h"
#include "services/ClaudeFolders.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

#include <optional>
#include <vector>

class ClaudeLocalEstimate {
public:
    explicit ClaudeLocalEstimate(ClaudeFolders folders)
        : m_folders(std::move(folders)) {}

    // Nothing when none of Claude Code's folders has a "projects" folder. Blocks. A log reached under two
    // names (a link) counts once, and so does a reply written as several lines.
    std::optional<AIProviderUsage> read(const QDateTime& now);

    // The tokens a log line counts and the moment it was written, when it is a usage line.
    struct Usage {
        qint64 msecs = 0;
        qint64 tokens = 0;
        // The reply's message id and request id, when the line has both: a streamed reply repeats them,
        // with the same usage, on each of its lines.
        QByteArray reply;
        bool operator==(const Usage&) const = default;
    };
    static std::optional<Usage> usageOfLine(QByteArrayView line);
    // The same through a full JSON parse of the line: what the quick reading above must always agree with,
    // and what it falls back on.
    static std::optional<Usage> usageOfLineByDocument(QByteArrayView line);

    // Bytes read from log files by the last call.
    qint64 lastBytesRead() const { return m_lastBytesRead; }

    // A line longer than this is passed over (it holds no usage record); what a file costs in memory is
    // bounded by it, whatever the file holds.
    static constexpr qsizetype kMaxLine = 32 * 1024 * 1024;

private:
    struct FileState {
        qint64 size = 0;
        QDateTime modified;
        qint64 readUpTo = 0;  // the bytes before this offset have been read
        QByteArray lastBytes; // the bytes just before `readUpTo`, to tell an append from a rewrite
        std::vector<Usage> usages;
        // The last line while it has no line feed yet: kept, so that the next call reads only what is
        // appended to it. An over-long one is dropped and the rest of it skipped as it arrives.
        QByteArray tail;
        std::optional<Usage> tailUsage;
        bool skippingLongLine = false;
    };
    // Brings `state` up to date with the file; false when the file cannot be read.
    bool update(const QString& path, qint64 size, const QDateTime& modified, FileState& state);

    ClaudeFolders m_folders;
    QHash<QString, FileState> m_files;
    qint64 m_lastBytesRead = 0;
};
