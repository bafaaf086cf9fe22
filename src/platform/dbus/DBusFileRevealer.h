// Files shown selected through the freedesktop file-manager interface on the session bus; where nothing
// answers there, the first file's folder is opened with the desktop's default handler.
#pragma once

#include "platform/FileRevealer.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>

class DBusFileRevealer final : public QObject, public FileRevealer {
    Q_OBJECT
public:
    using OpenFolder = std::function<void(const QString& folder)>;
    // `openFolder` empty: the desktop's default handler (xdg-open) opens the folder.
    explicit DBusFileRevealer(QDBusConnection bus = QDBusConnection::sessionBus(), OpenFolder openFolder = {},
                              QObject* parent = nullptr);

    void reveal(const QStringList& paths) override;

private:
    QDBusConnection m_bus;
    OpenFolder m_openFolder;
};
