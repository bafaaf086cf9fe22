// A LAN address a test sets (or takes away).
#pragma once

#include "platform/LanAddress.h"

#include <QMutex>

class FakeLanAddress final : public LanAddress {
public:
    explicit FakeLanAddress(std::optional<QString> address = QStringLiteral("192.168.1.20"))
        : m_address(std::move(address)) {}

    std::optional<QString> current() const override {
        QMutexLocker lock(&m_mutex);
        return m_address;
    }
    void set(std::optional<QString> address) {
        QMutexLocker lock(&m_mutex);
        m_address = std::move(address);
    }

private:
    mutable QMutex m_mutex; // read from the lookup's worker thread
    std::optional<QString> m_address;
};
