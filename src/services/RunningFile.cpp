#include "services/RunningFile.h"

#include "model/SavedCommand.h"
#include "services/AppPaths.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

RunningFile::RunningFile(const QString& supportDir)
    : m_path(supportDir + QStringLiteral("/running.json")) {}

std::optional<RunningFile::Contents> RunningFile::read() const {
    using Status = AppPaths::StoreRead::Status;
    const AppPaths::StoreRead stored = AppPaths::readStore(m_path);
    const auto contents = [&]() -> std::optional<Contents> {
        if (stored.status != Status::Read)
            return std::nullopt;
        const QJsonDocument doc = QJsonDocument::fromJson(stored.data);
        if (!doc.isObject())
            return std::nullopt;
        Contents out;
        out.written = QFileInfo(stored.file).lastModified();
        const QJsonObject obj = doc.object();
        for (auto it = obj.begin(); it != obj.end(); ++it) {
            const double v = it.value().toDouble(-1.5);
            if (!it.value().isDouble() || v != double(qint32(v))) // not a 32-bit integer: the file is bad
                return std::nullopt;
            if (const auto id = SavedCommandCodec::parseId(it.key()))
                out.pids.insert(*id, qint32(v));
        }
        return out;
    }();
    // A bad file is kept for a look rather than overwritten by the next record of what runs.
    AppPaths::settleStore(m_path, stored, contents.has_value());
    return contents;
}

bool RunningFile::write(const QHash<QUuid, qint32>& pids) {
    if (m_written == pids)
        return true;
    QJsonObject map;
    for (auto it = pids.cbegin(); it != pids.cend(); ++it)
        map.insert(SavedCommandCodec::idString(it.key()), it.value());
    if (!AppPaths::writePrivate(QJsonDocument(map).toJson(QJsonDocument::Compact), m_path))
        return false; // tried again at the next change
    m_written = pids;
    ++m_writes;
    return true;
}
