// JSON form of a provider card, and the threshold the island watches.
#include "model/AIProviderUsage.h"

#include <QJsonArray>

bool AIProviderUsage::isHot() const {
    for (const AIUsageMetric& metric : metrics) {
        if (metric.fraction && *metric.fraction > 0.85)
            return true;
    }
    return false;
}

QJsonObject AIProviderUsage::toJson() const {
    QJsonArray lines;
    for (const AIUsageMetric& metric : metrics)
        lines.append(metric.toJson());
    QJsonObject object{
        {QStringLiteral("name"), name}, {QStringLiteral("plan"), plan}, {QStringLiteral("metrics"), lines}};
    if (note)
        object.insert(QStringLiteral("note"), *note);
    return object;
}

std::optional<AIProviderUsage> AIProviderUsage::fromJson(const QJsonObject& object) {
    const QJsonValue name = object.value(QLatin1String("name"));
    const QJsonValue plan = object.value(QLatin1String("plan"));
    const QJsonValue metrics = object.value(QLatin1String("metrics"));
    const QJsonValue note = object.value(QLatin1String("note"));
    if (!name.isString() || !(plan.isUndefined() || plan.isString()) ||
        !(metrics.isUndefined() || metrics.isArray()) ||
        !(note.isUndefined() || note.isNull() || note.isString()))
        return std::nullopt;
    AIProviderUsage usage;
    usage.name = name.toString();
    usage.plan = plan.toString();
    for (const QJsonValue& line : metrics.toArray()) {
        if (!line.isObject())
            return std::nullopt;
        std::optional<AIUsageMetric> metric = AIUsageMetric::fromJson(line.toObject());
        if (!metric)
            return std::nullopt;
        usage.metrics.append(*metric);
    }
    if (note.isString())
        usage.note = note.toString();
    return usage;
}
