// Two asynchronous calls: the daemon's list of paired reachable devices, then the chosen device's
// share request. Nothing here waits on the bus.
#include "platform/dbus/KdeConnectSender.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

#include <algorithm>

namespace {

const QString kService = QStringLiteral("org.kde.kdeconnect");

// A device id becomes part of an object path; anything else than path characters is refused.
bool usableId(const QString& id) {
    static const QRegularExpression pathElement(QStringLiteral("^[A-Za-z0-9_]+$"));
    return pathElement.match(id).hasMatch();
}

void whenAnswered(const QDBusPendingCall& call, std::function<void(QDBusPendingCallWatcher*)> handler) {
    auto* watcher = new QDBusPendingCallWatcher(call);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [handler = std::move(handler)](QDBusPendingCallWatcher* w) {
                         handler(w);
                         w->deleteLater();
                     });
}

} // namespace

KdeConnectSender::KdeConnectSender(QDBusConnection bus)
    : m_bus(std::move(bus)) {}

void KdeConnectSender::send(const QString& path, std::function<void(bool sent)> done) {
    auto finish = [done](bool sent) {
        if (done)
            done(sent);
    };
    if (!m_bus.isConnected()) {
        finish(false);
        return;
    }
    QDBusMessage list = QDBusMessage::createMethodCall(kService, QStringLiteral("/modules/kdeconnect"),
                                                       QStringLiteral("org.kde.kdeconnect.daemon"),
                                                       QStringLiteral("devices"));
    list << true << true; // only reachable, only paired
    const QString url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    QDBusConnection bus = m_bus;
    whenAnswered(m_bus.asyncCall(list, kReplyTimeoutMs), [bus, url, finish](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<QStringList> reply = *w;
        if (reply.isError()) {
            finish(false); // KDE Connect is not running
            return;
        }
        const QStringList ids = reply.value();
        const auto device = std::find_if(ids.cbegin(), ids.cend(), usableId);
        if (device == ids.cend()) {
            finish(false);
            return;
        }
        QDBusMessage share = QDBusMessage::createMethodCall(
            kService, QStringLiteral("/modules/kdeconnect/devices/%1/share").arg(*device),
            QStringLiteral("org.kde.kdeconnect.device.share"), QStringLiteral("shareUrl"));
        share << url;
        whenAnswered(QDBusConnection(bus).asyncCall(share, kReplyTimeoutMs),
                     [finish](QDBusPendingCallWatcher* sent) { finish(!sent->isError()); });
    });
}
