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
    // Looks for sessions again. The log readers are not part of this build yet: the call is only
    // announced, so that its callers and their order can already be relied on.
    void refresh();

signals:
    void sessionsChanged();
    void refreshStarted();

private:
    QList<AgentSession> m_sessions;
    double m_activityWindow = 3600;
};
