// JSON form of a usage line.
#include "model/AIUsageMetric.h"

#include <cmath>

QJsonObject AIUsageMetric::toJson() const {
    QJsonObject object{{QStringLiteral("label"), label}, {QStringLiteral("detail"), detail}};
    // JSON has no NaN or infinity; such a share is left out rather than written as something else.
    if (fraction && std::isfinite(*fraction))
        object.insert(QStringLiteral("fraction"), *fraction);
    return object;
}

std::optional<AIUsageMetric> AIUsageMetric::fromJson(const QJsonObject& object) {
    const QJsonValue label = object.value(QLatin1String("label"));
    const QJsonValue fraction = object.value(QLatin1String("fraction"));
    const QJsonValue detail = object.value(QLatin1String("detail"));
    if (!label.isString() || !(fraction.isUndefined() || fraction.isNull() || fraction.isDouble()) ||
        !(detail.isUndefined() || detail.isString()))
        return std::nullopt;
    AIUsageMetric metric;
    metric.label = label.toString();
    if (fraction.isDouble())
        metric.fraction = fraction.toDouble();
    metric.detail = detail.toString();
    return metric;
}
