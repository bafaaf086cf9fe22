#include "services/RunningFile.h"

#include "model/SavedCommand.h"
#include "services/AppPaths.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kStart = QStringLiteral(".start");
const QString kGroup = QStringLiteral(".group");
const QString kGroupStart = QStringLiteral(".groupStart");

} // namespace

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
        QHash<QUuid, QHash<QString, qint32>> extras;
        for (auto it = obj.begin(); it != obj.end(); ++it) {
            const double v = it.value().toDouble(-1.5);
            if (!it.value().isDouble() || v != double(qint32(v))) // not a 32-bit integer: the file is bad
                return std::nullopt;
            const QString key = it.key();
            if (const auto id = SavedCommandCodec::parseId(key)) {
                out.pids.insert(*id, qint32(v));
                continue;
            }
            const qsizetype dot = key.indexOf(u'.');
            if (const auto id = SavedCommandCodec::parseId(key.left(dot)); id && dot > 0)
                extras[*id].insert(key.mid(dot), qint32(v));
        }
        for (auto it = out.pids.cbegin(); it != out.pids.cend(); ++it) {
            Entry e;
            e.pid = it.value();
            const QHash<QString, qint32> more = extras.value(it.key());
            if (more.contains(kStart))
                e.start = more.value(kStart);
            // A group is only believed together with the moment its leader started.
            if (more.contains(kGroup) && more.contains(kGroupStart)) {
                e.group = more.value(kGroup);
                e.groupStart = more.value(kGroupStart);
            }
            out.entries.insert(it.key(), e);
        }
        return out;
    }();
    // A bad file is kept for a look rather than overwritten by the next record of what runs.
    AppPaths::settleStore(m_path, stored, contents.has_value());
    return contents;
}

bool RunningFile::writeEntries(const QHash<QUuid, Entry>& entries) {
    if (m_written == entries)
        return true;
    QJsonObject map;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const QString id = SavedCommandCodec::idString(it.key());
        map.insert(id, it->pid);
        if (it->start)
            map.insert(id + kStart, *it->start);
        if (it->group > 0 && it->group != it->pid && it->groupStart) {
            map.insert(id + kGroup, it->group);
            map.insert(id + kGroupStart, *it->groupStart);
        }
    }
    if (!AppPaths::writePrivate(QJsonDocument(map).toJson(QJsonDocument::Compact), m_path))
        return false; // tried again at the next change
    m_written = entries;
    ++m_writes;
    return true;
}

bool RunningFile::write(const QHash<QUuid, qint32>& pids) {
    QHash<QUuid, Entry> entries;
    for (auto it = pids.cbegin(); it != pids.cend(); ++it)
        entries.insert(it.key(), Entry{it.value(), std::nullopt, 0, std::nullopt});
    return writeEntries(entries);
}
