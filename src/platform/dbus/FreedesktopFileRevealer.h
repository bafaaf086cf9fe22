// Reveals a file through the file manager's org.freedesktop.FileManager1 service; where no file
// manager answers, opens the file's folder with xdg-open instead.
#pragma once

#include "platform/FileRevealer.h"

#include <QDBusConnection>
#include <QStringList>

#include <functional>

class FreedesktopFileRevealer final : public FileRevealer {
public:
    // Starts a program without waiting for it; true when it could be started.
    using Launcher = std::function<bool(const QString& program, const QStringList& arguments)>;

    // How long the file manager may take to answer before the folder is opened instead.
    static constexpr int kReplyTimeoutMs = 5000;

    // `launcher` defaults to QProcess::startDetached.
    explicit FreedesktopFileRevealer(QDBusConnection bus = QDBusConnection::sessionBus(),
                                     Launcher launcher = {});

    void reveal(const QString& path) override;

private:
    QDBusConnection m_bus;
    Launcher m_launcher;
};
