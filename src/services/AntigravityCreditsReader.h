// The Antigravity card: the model credits still available, read from its local state database.
#pragma once

#include "model/AIProviderUsage.h"

#include <QByteArray>
#include <QString>

#include <optional>

class AntigravityCreditsReader {
public:
    // `configHome` is the folder holding "Antigravity" ($XDG_CONFIG_HOME, usually ~/.config).
    explicit AntigravityCreditsReader(QString configHome)
        : m_configHome(std::move(configHome)) {}

    QString databasePath() const;

    // Nothing when the database does not exist. The database is opened read-only as an immutable file:
    // it is never locked or changed, even while Antigravity writes to it. Blocks.
    std::optional<AIProviderUsage> read() const;

    // The stored value of the credits row (its text, trimmed), or nothing when it cannot be read.
    static std::optional<QByteArray> storedValue(const QString& databasePath);
    // The card for a stored value, or for none.
    static AIProviderUsage cardFromValue(const std::optional<QByteArray>& value);

private:
    QString m_configHome;
};
