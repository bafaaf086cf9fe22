// Claude Code's folders, found from the environment given at start.
#include "services/ClaudeFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sys/stat.h>

ClaudeFolders::ClaudeFolders(const QString& home, const QString& configHome,
                             const QString& configDirVariable) {
    for (const QString& part : configDirVariable.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString folder = part.trimmed();
        // A relative folder would depend on where the program happened to start.
        if (!folder.isEmpty() && QDir::isAbsolutePath(folder))
            m_candidates.append(QDir::cleanPath(folder));
    }
    if (!m_candidates.isEmpty())
        return;
    const QString config = configHome.isEmpty() || !QDir::isAbsolutePath(configHome)
                               ? home + QStringLiteral("/.config")
                               : configHome;
    m_candidates = {QDir::cleanPath(config + QStringLiteral("/claude")),
                    QDir::cleanPath(home + QStringLiteral("/.claude"))};
}

std::optional<ClaudeFolders::Identity> ClaudeFolders::identity(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return Identity{quint64(st.st_dev), quint64(st.st_ino)};
}

QStringList ClaudeFolders::existing() const {
    QStringList out;
    QSet<Identity> seen;
    for (const QString& folder : m_candidates) {
        if (!QFileInfo(folder).isDir())
            continue;
        const std::optional<Identity> id = identity(folder);
        if (!id || seen.contains(*id))
            continue;
        seen.insert(*id);
        out.append(folder);
    }
    return out;
}

QStringList ClaudeFolders::projectRoots() const {
    QStringList out;
    QSet<Identity> seen;
    for (const QString& folder : existing()) {
        const QString projects = folder + QStringLiteral("/projects");
        if (!QFileInfo(projects).isDir())
            continue;
        // Two configuration folders may share one projects folder through a link.
        const std::optional<Identity> id = identity(projects);
        if (!id || seen.contains(*id))
            continue;
        seen.insert(*id);
        out.append(projects);
    }
    return out;
}
