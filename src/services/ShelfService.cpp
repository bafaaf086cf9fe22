// Loading, adding, removing and saving shelf entries, and handing them to the desktop.
#include "services/ShelfService.h"

#include "platform/AbsentSeams.h"
#include "platform/Clock.h"
#include "platform/FileRevealer.h"
#include "platform/FileSender.h"
#include "services/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>

#include <algorithm>
#include <optional>

namespace {

bool exists(const QString& path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

} // namespace

ShelfService::ShelfService(Clock& clock, QString storePath, QObject* parent)
    : ShelfService(clock, std::move(storePath), std::make_unique<AbsentSeams>(), parent) {}

ShelfService::ShelfService(Clock& clock, QString storePath, std::unique_ptr<AbsentSeams> absent,
                           QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_storePath(std::move(storePath))
    , m_absent(std::move(absent))
    , m_seams{m_absent->fileRevealer, m_absent->fileSender, m_absent->pasteboard} {
    load();
}

ShelfService::ShelfService(Clock& clock, QString storePath, Seams seams, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_storePath(std::move(storePath))
    , m_seams(seams) {
    load();
}

ShelfService::~ShelfService() = default;

void ShelfService::load() {
    const std::optional<QList<ShelfItem>> loaded = AppPaths::loadStore(m_storePath, ShelfItems::decode);
    if (!loaded)
        return;
    for (const ShelfItem& item : std::as_const(*loaded)) {
        if (exists(item.path))
            m_items.append(item);
    }
}

QString ShelfService::cleanPath(const QUrl& url) {
    if (!url.isLocalFile())
        return {};
    const QString local = url.toLocalFile();
    return local.isEmpty() ? QString() : QDir::cleanPath(local);
}

void ShelfService::add(const QList<QUrl>& urls) {
    bool added = false;
    for (const QUrl& url : urls) {
        const QString path = cleanPath(url);
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

void ShelfService::remove(const QUuid& id) {
    if (m_items.removeIf([&](const ShelfItem& i) { return i.id == id; }) > 0)
        emit itemsChanged();
    save();
}

void ShelfService::clear() {
    const bool had = !m_items.isEmpty();
    m_items.clear();
    if (had)
        emit itemsChanged();
    save();
}

void ShelfService::save() {
    AppPaths::writePrivate(ShelfItems::encode(m_items), m_storePath);
}

void ShelfService::reveal(const ShelfItem& item) {
    m_seams.revealer.reveal({item.path});
}

void ShelfService::send(const ShelfItem& item) {
    m_seams.sender.send(item.path);
}

void ShelfService::copy(const ShelfItem& item) {
    m_seams.pasteboard.writeFiles({item.path});
}

QMimeData* ShelfService::fileMimeData(const QString& path) {
    auto* data = new QMimeData;
    const QUrl url = QUrl::fromLocalFile(path);
    data->setUrls({url});
    data->setData(QStringLiteral("x-special/gnome-copied-files"),
                  "copy\n" + url.toString(QUrl::FullyEncoded).toUtf8());
    return data;
}

void ShelfService::setDraggingOut(bool on) {
    if (on == m_draggingOut)
        return;
    m_draggingOut = on;
    emit draggingOutChanged();
}
