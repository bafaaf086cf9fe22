// Media players over the session bus.
#include "platform/dbus/DBusMediaPlayers.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>

namespace {

const QString kPrefix = QStringLiteral("org.mpris.MediaPlayer2.");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
// A proxy that repeats whichever player is active: listing it would show every track twice.
const QString kProxy = QStringLiteral("org.mpris.MediaPlayer2.playerctld");

// Nested maps and lists arrive still marshalled; everything else arrives as itself.
QVariant unwrap(const QVariant& v) {
    if (v.canConvert<QDBusVariant>() && v.userType() == qMetaTypeId<QDBusVariant>())
        return v.value<QDBusVariant>().variant();
    return v;
}

QVariantMap toMap(const QVariant& v) {
    const QVariant u = unwrap(v);
    if (u.userType() == qMetaTypeId<QDBusArgument>())
        return qdbus_cast<QVariantMap>(u.value<QDBusArgument>());
    return u.toMap();
}

QStringList toStringList(const QVariant& v) {
    const QVariant u = unwrap(v);
    if (u.userType() == qMetaTypeId<QDBusArgument>())
        return qdbus_cast<QStringList>(u.value<QDBusArgument>());
    if (u.userType() == QMetaType::QString)
        return {u.toString()};
    return u.toStringList();
}

std::optional<QVariantMap> getAll(const QDBusConnection& bus, const QString& name, const QString& interface,
                                  int timeoutMs) {
    QDBusMessage call = QDBusMessage::createMethodCall(name, kPath, kProperties, QStringLiteral("GetAll"));
    call << interface;
    const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return toMap(reply.arguments().constFirst());
}

} // namespace

DBusMediaPlayers::DBusMediaPlayers(QDBusConnection bus, int listMs, int stateMs, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_listMs(listMs)
    , m_stateMs(stateMs) {
    if (!m_bus.isConnected())
        return;
    m_bus.connect(QString(), kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                  SLOT(onPropertiesChanged(QString, QVariantMap, QStringList, QDBusMessage)));
    m_bus.connect(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                  QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameOwnerChanged"), this,
                  SLOT(onNameOwnerChanged(QString, QString, QString)));
}

DBusMediaPlayers::~DBusMediaPlayers() = default;

QList<MediaPlayerInfo> DBusMediaPlayers::players() {
    QList<MediaPlayerInfo> out;
    if (!m_bus.isConnected())
        return out;
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListNames"));
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, m_listMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return out;
    QStringList names = toStringList(reply.arguments().constFirst());
    names.sort();
    for (const QString& name : std::as_const(names)) {
        if (!name.startsWith(kPrefix) || name == kProxy || name.startsWith(kProxy + QLatin1Char('.')))
            continue;
        MediaPlayerInfo info{name, {}, {}};
        if (const auto props = getAll(m_bus, name, kRoot, m_listMs)) {
            info.identity = unwrap(props->value(QStringLiteral("Identity"))).toString();
            info.desktopEntry = unwrap(props->value(QStringLiteral("DesktopEntry"))).toString();
        }
        out << info;
    }
    return out;
}

MediaPlayerState DBusMediaPlayers::stateFromProperties(const QVariantMap& properties) {
    MediaPlayerState s;
    s.playbackStatus = unwrap(properties.value(QStringLiteral("PlaybackStatus"))).toString();
    const QVariantMap meta = toMap(properties.value(QStringLiteral("Metadata")));
    s.title = unwrap(meta.value(QStringLiteral("xesam:title"))).toString();
    s.artists = toStringList(meta.value(QStringLiteral("xesam:artist")));
    s.album = unwrap(meta.value(QStringLiteral("xesam:album"))).toString();
    const QString url = unwrap(meta.value(QStringLiteral("xesam:url"))).toString();
    if (!url.isEmpty()) {
        const QUrl parsed(url, QUrl::StrictMode);
        if (parsed.isValid())
            s.url = parsed;
    }
    const QVariant position = unwrap(properties.value(QStringLiteral("Position")));
    bool ok = false;
    const qlonglong micros = position.toLongLong(&ok);
    if (position.isValid() && ok && micros >= 0)
        s.positionMicros = micros;
    return s;
}

std::optional<MediaPlayerState> DBusMediaPlayers::state(const QString& busName) {
    if (!m_bus.isConnected())
        return std::nullopt;
    const auto props = getAll(m_bus, busName, kPlayer, m_stateMs);
    if (!props)
        return std::nullopt;
    return stateFromProperties(*props);
}

bool DBusMediaPlayers::send(const QString& busName, Command command) {
    if (!m_bus.isConnected())
        return false;
    QString interface = kPlayer;
    QString method;
    switch (command) {
    case Command::playPause:
        method = QStringLiteral("PlayPause");
        break;
    case Command::previous:
        method = QStringLiteral("Previous");
        break;
    case Command::next:
        method = QStringLiteral("Next");
        break;
    case Command::raise:
        interface = kRoot;
        method = QStringLiteral("Raise");
        break;
    }
    const QDBusMessage call = QDBusMessage::createMethodCall(busName, kPath, interface, method);
    return m_bus.call(call, QDBus::Block, m_stateMs).type() == QDBusMessage::ReplyMessage;
}

void DBusMediaPlayers::setChangeHandler(std::function<void()> handler) {
    m_handler = std::move(handler);
}

void DBusMediaPlayers::onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                           const QStringList& invalidated, const QDBusMessage& message) {
    // Only what is shown matters: the playing state and the track's title, artists, album and address.
    // Players re-send unchanged metadata (mpv about once a second while it plays) and announce their
    // volume, rate and loop mode; none of that needs a read of every player.
    if (interface != kPlayer || !m_handler)
        return;
    const QString sender = message.service();
    const auto statusAt = changed.constFind(QStringLiteral("PlaybackStatus"));
    const auto metadataAt = changed.constFind(QStringLiteral("Metadata"));
    bool matters = invalidated.contains(QStringLiteral("PlaybackStatus")) ||
                   invalidated.contains(QStringLiteral("Metadata")) || sender.isEmpty();
    Announced& last = m_announced[sender];
    if (statusAt != changed.constEnd()) {
        const QString status = unwrap(*statusAt).toString();
        matters = matters || last.status != status;
        last.status = status;
    }
    if (metadataAt != changed.constEnd()) {
        MediaPlayerState track = stateFromProperties({{QStringLiteral("Metadata"), *metadataAt}});
        track.playbackStatus.clear();
        matters = matters || last.track != track;
        last.track = track;
    }
    if (matters)
        m_handler();
}

void DBusMediaPlayers::onNameOwnerChanged(const QString& name, const QString& oldOwner, const QString&) {
    if (!name.startsWith(kPrefix))
        return;
    // A player that goes, or comes under a new connection, starts from nothing announced.
    m_announced.remove(oldOwner);
    if (m_handler)
        m_handler();
}
