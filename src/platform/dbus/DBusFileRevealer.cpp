#include "platform/dbus/DBusFileRevealer.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

DBusFileRevealer::DBusFileRevealer(QDBusConnection bus, OpenFolder openFolder, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_openFolder(std::move(openFolder)) {
    if (!m_openFolder)
        m_openFolder = [](const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
}

void DBusFileRevealer::reveal(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    const QString folder = QFileInfo(paths.constFirst()).absolutePath();
    if (!m_bus.isConnected()) {
        m_openFolder(folder);
        return;
    }
    QStringList uris;
    for (const QString& path : paths)
        uris.append(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    // Asynchronous: a file manager that is slow to start must not hold up the island.
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, 10000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, folder](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (w->isError())
            m_openFolder(folder);
    });
}
