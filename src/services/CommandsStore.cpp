#include "services/CommandsStore.h"

#include "services/AppPaths.h"

CommandsStore::CommandsStore(const QString& supportDir)
    : m_path(supportDir + QStringLiteral("/commands.json")) {}

QList<SavedCommand> CommandsStore::load() const {
    return AppPaths::loadStore(m_path, SavedCommandCodec::decodeList).value_or(QList<SavedCommand>());
}

bool CommandsStore::save(const QList<SavedCommand>& commands) const {
    return AppPaths::writePrivate(SavedCommandCodec::encodeList(commands), m_path);
}
