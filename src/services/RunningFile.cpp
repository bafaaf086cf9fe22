#include "services/RunningFile.h"

#include "model/SavedCommand.h"
#include "services/AppPaths.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

RunningFile::RunningFile(const QString& supportDir)
    : m_path(supportDir + QStringLiteral("/running.json")) {}

std::optional<RunningFile::Contents> RunningFile::read() const {
    QFile file(m_path);
    Contents out;
    out.written = QFileInfo(m_path).lastModified();
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject obj = doc.object();
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        const double v = it.value().toDouble(-1.5);
        if (!it.value().isDouble() || v != double(qint32(v))) // not a 32-bit integer: the file is bad
            return std::nullopt;
        if (const auto id = SavedCommandCodec::parseId(it.key()))
            out.pids.insert(*id, qint32(v));
    }
    return out;
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
