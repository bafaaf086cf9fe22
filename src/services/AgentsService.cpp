// The agent sessions list.
#include "services/AgentsService.h"

AgentsService::AgentsService(QList<AgentSession> sessions, double activityWindow, QObject* parent)
    : QObject(parent)
    , m_sessions(std::move(sessions))
    , m_activityWindow(activityWindow) {}

void AgentsService::setSessions(QList<AgentSession> sessions) {
    m_sessions = std::move(sessions);
    emit sessionsChanged();
}

bool AgentsService::anyWaiting() const {
    return std::any_of(m_sessions.cbegin(), m_sessions.cend(),
                       [](const AgentSession& s) { return s.state == QLatin1String("waiting on you"); });
}

void AgentsService::refresh() {
    emit refreshStarted();
}
