// Loading, adding and saving shelf entries.
#include "services/ShelfService.h"

#include "platform/Clock.h"
#include "services/AppPaths.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <optional>

namespace {

// Dates are stored as seconds since 2001-01-01 UTC, as the shelf's file has always held them.
const QDateTime kReferenceDate(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

bool exists(const QString& path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

std::optional<QList<ShelfItem>> decode(const QByteArray& bytes) {
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    if (!doc.isArray())
        return std::nullopt;
    QList<ShelfItem> loaded;
    for (const QJsonValue& v : doc.array()) {
        const QJsonObject o = v.toObject();
        const QJsonValue id = o.value("id"), path = o.value("path"), added = o.value("addedAt");
        if (!id.isString() || !path.isString() || !added.isDouble())
            return std::nullopt; // one broken entry makes the whole store unreadable
        const QUuid uuid = QUuid::fromString(id.toString());
        if (uuid.isNull())
            return std::nullopt;
        loaded.append({uuid, path.toString(), kReferenceDate.addMSecs(qint64(added.toDouble() * 1000.0))});
    }
    return loaded;
}

} // namespace

ShelfService::ShelfService(Clock& clock, QString storePath, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_storePath(std::move(storePath)) {
    load();
}

void ShelfService::load() {
    const std::optional<QList<ShelfItem>> loaded = AppPaths::loadStore(m_storePath, decode);
    if (!loaded)
        return;
    for (const ShelfItem& item : std::as_const(*loaded)) {
        if (exists(item.path))
            m_items.append(item);
    }
}

void ShelfService::add(const QList<QUrl>& urls) {
    bool added = false;
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (!exists(path))
            continue;
        const bool known =
            std::any_of(m_items.cbegin(), m_items.cend(), [&](const ShelfItem& i) { return i.path == path; });
        if (known)
            continue;
        m_items.prepend({QUuid::createUuid(), path, m_clock.now()});
        added = true;
    }
    if (added)
        emit itemsChanged();
    save();
}

void ShelfService::save() {
    QJsonArray array;
    for (const ShelfItem& item : std::as_const(m_items)) {
        QJsonObject o;
        o.insert("id", item.id.toString(QUuid::WithoutBraces).toUpper());
        o.insert("path", item.path);
        o.insert("addedAt", double(kReferenceDate.msecsTo(item.addedAt)) / 1000.0);
        array.append(o);
    }
    AppPaths::writePrivate(QJsonDocument(array).toJson(QJsonDocument::Compact), m_storePath);
}
