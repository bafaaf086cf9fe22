// The Secret Service read through libsecret on the session bus.
#pragma once

#include "platform/SecretStore.h"

class LibsecretStore final : public SecretStore {
public:
    std::optional<QByteArray> lookup(const QString& service, int timeoutMs,
                                     const std::atomic_bool& stop) const override;
};
