// The desktop's keyring (the freedesktop Secret Service) as far as reading one secret goes.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <optional>

class SecretStore {
public:
    SecretStore() = default;
    virtual ~SecretStore() = default;
    Q_DISABLE_COPY_MOVE(SecretStore)

    // The secret of an item whose "service" attribute is `service`, in any collection; nothing when
    // there is none, the keyring is locked or not running, it has not answered within `timeoutMs`, or
    // `stop` turned true meanwhile. Never asks the user to unlock anything. Blocks the calling thread:
    // call it from a worker only. Safe to call from several threads.
    virtual std::optional<QByteArray> lookup(const QString& service, int timeoutMs,
                                             const std::atomic_bool& stop) const = 0;
};

// A desktop without a keyring.
class NoSecretStore final : public SecretStore {
public:
    std::optional<QByteArray> lookup(const QString&, int, const std::atomic_bool&) const override {
        return std::nullopt;
    }
};
