// Sends a file to a phone through KDE Connect's daemon on the session bus: the first device that is
// both paired and reachable gets it through its share plugin.
#pragma once

#include "platform/FileSender.h"

#include <QDBusConnection>

class KdeConnectSender final : public FileSender {
public:
    // Longest wait for each of the daemon's two answers.
    static constexpr int kReplyTimeoutMs = 5000;

    explicit KdeConnectSender(QDBusConnection bus = QDBusConnection::sessionBus());

    void send(const QString& path, std::function<void(bool sent)> done = {}) override;

private:
    QDBusConnection m_bus;
};
