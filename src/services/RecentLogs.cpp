// Walking a tool's log folder.
#include "services/RecentLogs.h"

#include <QDirIterator>
#include <QFileInfo>

QList<RecentLog> recentLogs(const QString& root, const QDateTime& cutoff) {
    QList<RecentLog> logs;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (!it.fileName().endsWith(QLatin1String(".jsonl")))
            continue;
        const QFileInfo info = it.fileInfo();
        // QDir::Files lets links to FIFOs and devices through; only what a link leads to counts.
        if (!info.isFile())
            continue;
        const QDateTime modified = info.lastModified();
        if (modified.isValid() && modified > cutoff)
            logs.append({it.filePath(), modified, info.size()});
    }
    return logs;
}
