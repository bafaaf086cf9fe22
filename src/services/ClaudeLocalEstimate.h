// The Claude card estimated from Claude Code's project logs: tokens of the last five hours and of the
// last week. Keeps what it learnt of each log between calls (its size, time and usage lines, never their
// text), so that a later call reads only what was appended since. Not thread-safe: one call at a time.
#pragma once

#include "model/AIProviderUsage.h"
#include "services/ClaudeFolders.h"
#include "services/RecentLogs.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

#include <limits>
#include <optional>
#include <vector>

class ClaudeLocalEstimate {
public:
    explicit ClaudeLocalEstimate(ClaudeFolders folders)
        : m_folders(std::move(folders)) {}

    // Threads the walk over the folders may spread its stats over (null: the caller's alone); the pool
    // outlives every later read.
    void setHelpers(WorkPool* helpers) { m_helpers = helpers; }

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

    // Logs the cache holds something of, and the usage lines it keeps for them (no text of any line).
    qsizetype cachedLogs() const { return m_files.size(); }
    qsizetype cachedUsages() const;

private:
    // A usage line as the cache keeps it: no text, the reply's ids as a 64-bit digest (0: none).
    struct Counted {
        qint64 msecs = 0;
        qint64 tokens = 0;
        quint64 reply = 0;
        bool operator==(const Counted&) const = default;
    };
    struct FileState {
        qint64 size = -1; // the bytes read, up to the end of the file when it was read
        qint64 modifiedNs = 0;
        // Where the line still without a line feed starts (`size` when there is none): it is read again
        // from here once the file grows, rather than kept.
        qint64 lineStart = 0;
        quint64 check = 0; // digest of the bytes just before `lineStart`, to tell an append from a rewrite
        bool skipping = false;   // the line from `lineStart` is over-long: passed over up to its line feed
        bool lastIsTail = false; // the last usage is that of the unfinished line, as it stood
        quint32 seenIn = 0;      // the walk that last found the log
        std::vector<Counted> usages;
    };
    // Brings `state` up to date with the file; false when the file cannot be read.
    bool update(const QString& path, const LogFile& log, qint64 weekMs, FileState& state);

    ClaudeFolders m_folders;
    WorkPool* m_helpers = nullptr;
    QHash<ClaudeFolders::Identity, FileState> m_files;
    // Usage lines older than this were not kept: a clock set back before it needs every log read afresh.
    qint64 m_droppedBeforeMs = std::numeric_limits<qint64>::min();
    qint64 m_lastBytesRead = 0;
    quint32 m_walk = 0; // counts the walks over the folders
};
