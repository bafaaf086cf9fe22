// The coding-agent sessions of the last hour.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

struct AgentSession {
    QString id;
    QString tool;
    QString project;
    QString state;
    int minutesAgo = 0;
    bool operator==(const AgentSession&) const = default;
};

class AgentsService : public QObject {
    Q_OBJECT
public:
    AgentsService(QList<AgentSession> sessions, double activityWindow, QObject* parent = nullptr);

    const QList<AgentSession>& sessions() const { return m_sessions; }
    void setSessions(QList<AgentSession> sessions);
    double activityWindow() const { return m_activityWindow; }
    // Some session waits for the user.
    bool anyWaiting() const;

signals:
    void sessionsChanged();

private:
    QList<AgentSession> m_sessions;
    double m_activityWindow = 3600;
};
