// One usage line of a provider card: a limit window or a counter, with its used share and a short text.
#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

struct AIUsageMetric {
    QString label;
    // Used share of the window (1.0 = the whole limit), not clamped; none for plain counts.
    std::optional<double> fraction;
    QString detail;
    bool operator==(const AIUsageMetric&) const = default;

    QJsonObject toJson() const;
    // Nothing when `label` is missing or a member has the wrong type.
    static std::optional<AIUsageMetric> fromJson(const QJsonObject& object);
};
