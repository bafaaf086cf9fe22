// A keyring a test fills by hand; it remembers every question, from whichever thread it came.
#pragma once

#include "platform/SecretStore.h"

#include <QHash>
#include <QMutex>
#include <QStringList>

class FakeSecretStore final : public SecretStore {
public:
    std::optional<QByteArray> lookup(const QString& service, int timeoutMs,
                                     const std::atomic_bool& stop) const override {
        QMutexLocker lock(&m_mutex);
        asked.append(service);
        lastTimeoutMs = timeoutMs;
        if (stop.load() || !items.contains(service))
            return std::nullopt;
        return items.value(service);
    }
    QStringList questions() const {
        QMutexLocker lock(&m_mutex);
        return asked;
    }

    QHash<QString, QByteArray> items;
    mutable QStringList asked;
    mutable int lastTimeoutMs = 0;

private:
    mutable QMutex m_mutex;
};
