// The session logs of another tool that changed lately: every ".jsonl" file at any depth below a folder.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

class WorkPool;

struct RecentLog {
    QString path;
    QDateTime modified;
    qint64 size = 0;
};

// One log as the walk below finds it: what one stat of it says, and its name, for the rare caller that
// opens it. A link to a file stands for the file it leads to.
struct LogFile {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedMs = 0;              // since 1970, truncated as QFileInfo does
    qint64 modifiedNs = 0;              // since 1970, for telling two writes within one millisecond apart
    const QByteArray* folder = nullptr; // its folder, in the file system's encoding
    const char* name = nullptr;

    QString path() const;
};

// Calls `visit` for each regular ".jsonl" file below `root` (hidden ones included; links to files followed,
// links to folders not) last modified after `cutoffMs`, in the walk's order. One stat per entry and no
// text conversion: a walk over tens of thousands of unchanged logs costs little more than the kernel's
// part. Nothing when `root` cannot be walked. With `helpers`, the folders of one depth are read on a few
// of its threads besides the caller's; `visit` is still called on the caller's thread, in the same order.
void walkRecentLogs(const QString& root, qint64 cutoffMs, WorkPool* helpers,
                    const std::function<void(const LogFile&)>& visit);
inline void walkRecentLogs(const QString& root, qint64 cutoffMs,
                           const std::function<void(const LogFile&)>& visit) {
    walkRecentLogs(root, cutoffMs, nullptr, visit);
}

// The same as a list, with the paths made.
QList<RecentLog> recentLogs(const QString& root, const QDateTime& cutoff);
