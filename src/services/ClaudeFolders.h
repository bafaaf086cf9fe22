// Where Claude Code keeps its project logs and its credentials file on this machine: the folder its
// current versions use, the one older versions used, or the folders its configuration variable names.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

class ClaudeFolders {
public:
    // `configHome` is $XDG_CONFIG_HOME (empty: `home`/.config); `configDirVariable` is the value of
    // CLAUDE_CONFIG_DIR, one folder or several separated by commas, which replaces both defaults when it
    // names an absolute folder. A home folder alone stands for the default places below it.
    ClaudeFolders(const QString& home, const QString& configHome = QString(),
                  const QString& configDirVariable = QString());

    // In the order they are read: the variable's folders, else `configHome`/claude then `home`/.claude.
    const QStringList& candidates() const { return m_candidates; }
    // The candidates that are folders now, each real folder once, under the first name that reaches it.
    QStringList existing() const;
    // The "projects" folder of each existing folder, where it has one.
    QStringList projectRoots() const;

    // What tells two names of one file apart from two files: its device and inode (a link followed).
    using Identity = std::pair<quint64, quint64>;
    static std::optional<Identity> identity(const QString& path);

private:
    QStringList m_candidates;
};
