// Asks the file manager over D-Bus without waiting; the fallback runs when the answer is an error.
#include "platform/dbus/FreedesktopFileRevealer.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

FreedesktopFileRevealer::FreedesktopFileRevealer(QDBusConnection bus, Launcher launcher)
    : m_bus(std::move(bus))
    , m_launcher(std::move(launcher)) {
    if (!m_launcher)
        m_launcher = [](const QString& program, const QStringList& arguments) {
            return QProcess::startDetached(program, arguments);
        };
}

void FreedesktopFileRevealer::reveal(const QString& path) {
    const QString folder = QFileInfo(path).path();
    Launcher launcher = m_launcher;
    auto openFolder = [launcher, folder] { launcher(QStringLiteral("xdg-open"), {folder}); };
    if (!m_bus.isConnected()) {
        openFolder();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, kReplyTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [openFolder](QDBusPendingCallWatcher* w) {
                         if (w->isError())
                             openFolder();
                         w->deleteLater();
                     });
}
