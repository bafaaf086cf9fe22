// JSON form of an agent session.
#include "model/AgentSession.h"

#include <cmath>
#include <limits>

QJsonObject AgentSession::toJson() const {
    return QJsonObject{{QStringLiteral("id"), id},
                       {QStringLiteral("tool"), tool},
                       {QStringLiteral("project"), project},
                       {QStringLiteral("state"), state},
                       {QStringLiteral("minutesAgo"), minutesAgo}};
}

std::optional<AgentSession> AgentSession::fromJson(const QJsonObject& object) {
    const QJsonValue minutes = object.value(QLatin1String("minutesAgo"));
    AgentSession session;
    QString* texts[] = {&session.id, &session.tool, &session.project, &session.state};
    const char* keys[] = {"id", "tool", "project", "state"};
    for (int i = 0; i < 4; ++i) {
        const QJsonValue value = object.value(QLatin1String(keys[i]));
        if (!value.isString())
            return std::nullopt;
        *texts[i] = value.toString();
    }
    // A whole number that fits an int; 1.5 or 1e300 is not an age in minutes.
    const double m = minutes.toDouble(std::numeric_limits<double>::quiet_NaN());
    if (!minutes.isDouble() || m != std::trunc(m) || m < std::numeric_limits<int>::min() ||
        m > std::numeric_limits<int>::max())
        return std::nullopt;
    session.minutesAgo = int(m);
    return session;
}
