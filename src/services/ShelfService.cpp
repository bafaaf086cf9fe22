// Loading, adding and saving shelf entries.
#include "services/ShelfService.h"

#include "platform/Clock.h"
#include "services/AppPaths.h"

#include <QFile>
#include <QFileInfo>

#include <optional>

namespace {

bool exists(const QString& path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

} // namespace

ShelfService::ShelfService(Clock& clock, QString storePath, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_storePath(std::move(storePath)) {
    load();
}

void ShelfService::load() {
    const std::optional<QList<ShelfItem>> loaded = AppPaths::loadStore(m_storePath, ShelfItems::decode);
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
    AppPaths::writePrivate(ShelfItems::encode(m_items), m_storePath);
}
