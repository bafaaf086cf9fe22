// The session logs of another tool that changed lately: every ".jsonl" file at any depth below a folder.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

struct RecentLog {
    QString path;
    QDateTime modified;
    qint64 size = 0;
};

// The ".jsonl" files below `root`, in the walk's order, last modified after `cutoff`; a file whose time
// cannot be read is left out. Empty when `root` cannot be walked.
QList<RecentLog> recentLogs(const QString& root, const QDateTime& cutoff);
