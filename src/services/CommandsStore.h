// "commands.json" in the support folder: the saved commands, in the user's order.
#pragma once

#include "model/SavedCommand.h"

#include <QList>
#include <QString>

class CommandsStore {
public:
    explicit CommandsStore(const QString& supportDir);

    QString path() const { return m_path; }
    // The saved list; empty when there is none or it cannot be decoded, in which case the file is set
    // aside first so that the next save cannot destroy it.
    QList<SavedCommand> load() const;
    // Replaces the file atomically (0600); false when it could not be written.
    bool save(const QList<SavedCommand>& commands) const;

private:
    QString m_path;
};
