// One provider card of the AI usage list: its name, plan, usage lines and an optional note.
#pragma once

#include "model/AIUsageMetric.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

struct AIProviderUsage {
    QString name;
    // As the tool records it, capitalised; empty when unknown.
    QString plan;
    // In the reader's order; two lines may share a label.
    QList<AIUsageMetric> metrics;
    // Why there are no lines, or that they are an estimate.
    std::optional<QString> note;
    bool operator==(const AIProviderUsage&) const = default;

    // Some line's share is above 0.85: the island lights its sparkles.
    bool isHot() const;

    QJsonObject toJson() const;
    // Nothing when `name` is missing or any part has the wrong type.
    static std::optional<AIProviderUsage> fromJson(const QJsonObject& object);
};
