// Agent session discovery from the tools' logs.
#include "services/AgentSessionScanner.h"

#include "platform/RegularFile.h"
#include "services/AIUsageText.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace AgentSessionScanner {

namespace {

// Age in milliseconds, when the file's modification time can be read.
std::optional<qint64> ageMs(const QFileInfo& info, const QDateTime& now) {
    const QDateTime modified = info.lastModified();
    if (!modified.isValid())
        return std::nullopt;
    return modified.msecsTo(now);
}

int minutesOf(qint64 ageMs) {
    // Integer division truncates toward zero, as the minutes of a file from the future must.
    return int(ageMs / 60000);
}

} // namespace

QString claudeProject(const QString& folderName) {
    const QString marker = QStringLiteral("-projetos-");
    const qsizetype at = folderName.indexOf(marker);
    if (at >= 0)
        return folderName.mid(at + marker.size());
    const QStringList pieces = folderName.split(QLatin1Char('-'), Qt::SkipEmptyParts);
    return pieces.isEmpty() ? folderName : pieces.last();
}

std::optional<QString> lastEntryType(const QString& path) {
    QFile file;
    if (!RegularFile::open(file, path))
        return std::nullopt;
    const qint64 length = file.size();
    const qint64 start = length < kTailBytes ? 0 : length - kTailBytes;
    file.seek(start);
    const QByteArray tail = file.read(kTailBytes);
    if (tail.isEmpty())
        return std::nullopt;
    // The first line of a cut tail, and any line with a byte that is not UTF-8, fail to parse alone.
    const QList<QByteArray> lines = tail.split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        if (it->isEmpty())
            continue;
        const QJsonDocument doc = QJsonDocument::fromJson(*it);
        if (!doc.isObject())
            continue;
        const QJsonValue type = doc.object().value(QLatin1String("type"));
        if (!type.isString())
            continue;
        const QString t = type.toString();
        if (t == QLatin1String("assistant") || t == QLatin1String("user"))
            return t;
    }
    return std::nullopt;
}

std::optional<QString> codexProject(const QString& path) {
    QFile file;
    if (!RegularFile::open(file, path))
        return std::nullopt;
    const QByteArray head = file.read(kHeadBytes);
    if (head.isEmpty())
        return std::nullopt;
    static const QRegularExpression cwd(QStringLiteral("\"cwd\":\"([^\"]+)\""));
    for (const QByteArray& line : head.split('\n')) {
        const std::optional<QString> text = AIUsageText::strictUtf8(line);
        if (!text)
            continue;
        const QRegularExpressionMatch match = cwd.match(*text);
        if (!match.hasMatch())
            continue;
        QString dir = match.captured(1);
        while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
            dir.chop(1);
        const qsizetype slash = dir.lastIndexOf(QLatin1Char('/'));
        return slash < 0 || dir.size() == 1 ? dir : dir.mid(slash + 1);
    }
    return std::nullopt;
}

QList<AgentSession> claudeSessions(const ClaudeFolders& claude, const QDateTime& now) {
    QList<AgentSession> sessions;
    QSet<ClaudeFolders::Identity> seen;
    for (const QString& rootPath : claude.projectRoots()) {
        const QDir root(rootPath);
        const QStringList folders =
            root.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& name : folders) {
            const QDir folder(root.filePath(name));
            const QFileInfoList files =
                folder.entryInfoList({QStringLiteral("*.jsonl")}, QDir::Files | QDir::Hidden, QDir::Name);
            for (const QFileInfo& info : files) {
                // QDir::Files lets links to FIFOs and devices through: skipped like the FIFOs themselves.
                if (!info.isFile())
                    continue;
                const std::optional<qint64> age = ageMs(info, now);
                if (!age || *age >= kActivityWindowMs)
                    continue;
                const QString path = folder.filePath(info.fileName());
                const std::optional<ClaudeFolders::Identity> id = ClaudeFolders::identity(path);
                if (!id || seen.contains(*id))
                    continue;
                seen.insert(*id);
                QString state = QStringLiteral("working");
                if (*age >= kWorkingMs) {
                    state = lastEntryType(path) == QLatin1String("assistant")
                                ? QStringLiteral("waiting on you")
                                : QStringLiteral("paused");
                }
                sessions.append(
                    {path, QStringLiteral("Claude"), claudeProject(name), state, minutesOf(*age)});
            }
        }
    }
    return sessions;
}

QList<AgentSession> codexSessions(const QString& home, const QDateTime& now) {
    QList<AgentSession> sessions;
    const QString root = home + QStringLiteral("/.codex/sessions");
    if (!QFileInfo(root).isDir())
        return sessions;
    QDirIterator it(root, {QStringLiteral("*.jsonl")}, QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (!it.fileInfo().isFile())
            continue;
        const std::optional<qint64> age = ageMs(it.fileInfo(), now);
        if (!age || *age >= kActivityWindowMs)
            continue;
        const QString path = it.filePath();
        const QString project = codexProject(path).value_or(QStringLiteral("sessão"));
        const QString state = *age < kWorkingMs ? QStringLiteral("working") : QStringLiteral("paused");
        sessions.append({path, QStringLiteral("Codex"), project, state, minutesOf(*age)});
    }
    return sessions;
}

QList<AgentSession> scan(const ClaudeFolders& claude, const QString& home, const QDateTime& now, int limit) {
    QList<AgentSession> all = claudeSessions(claude, now);
    all += codexSessions(home, now);
    std::stable_sort(all.begin(), all.end(), [](const AgentSession& a, const AgentSession& b) {
        return a.minutesAgo < b.minutesAgo;
    });
    if (all.size() > limit)
        all.resize(limit);
    return all;
}

} // namespace AgentSessionScanner
