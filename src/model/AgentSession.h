// A coding-agent session active in the last hour, found from its tool's log file.
#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

struct AgentSession {
    // Full path of the session's log file.
    QString id;
    // "Claude" or "Codex".
    QString tool;
    QString project;
    // "working", "waiting on you" or "paused".
    QString state;
    // Whole minutes since the log last changed, truncated toward zero (negative for a file from the future).
    int minutesAgo = 0;
    bool operator==(const AgentSession&) const = default;

    bool isWaiting() const { return state == QLatin1String("waiting on you"); }

    QJsonObject toJson() const;
    // Nothing when a member is missing or has the wrong type.
    static std::optional<AgentSession> fromJson(const QJsonObject& object);
};
