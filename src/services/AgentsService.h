// The coding-agent sessions of the last hour, most recent first, and whether one waits for the user.
#pragma once

#include "model/AgentSession.h"
#include "services/ClaudeFolders.h"
#include "services/WorkPool.h"

#include <QList>
#include <QObject>
#include <QString>

class Clock;

class AgentsService : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<AgentSession> sessions READ sessions NOTIFY sessionsChanged)
public:
    // `home` is the folder holding ".codex"; `claude` are Claude Code's folders.
    AgentsService(const Clock& clock, QString home, ClaudeFolders claude, QObject* parent = nullptr);

    const QList<AgentSession>& sessions() const { return m_sessions; }
    void setSessions(QList<AgentSession> sessions);
    double activityWindow() const { return m_activityWindow; }
    // Some session waits for the user.
    bool anyWaiting() const;
    // Rescans on a worker thread and returns at once. A call while a scan runs makes one more scan follow
    // it, so the last call's view of the logs is always the one published.
    void refresh();
    // A scan is running.
    bool isScanning() const { return m_scanning; }
    // Quitting: a scan under way is not waited for by anyone and its result is dropped.
    void cancelScan() { m_pool.cancel(); }
    // Blocks until a scan under way has ended, its result posted (tests only).
    bool waitForScan(int msecs = -1) { return m_pool.waitForDone(msecs); }

signals:
    void sessionsChanged();
    // Every call of refresh.
    void refreshStarted();
    // A scan's result has been applied (whether or not it changed the list).
    void scanFinished();

private:
    void startScan();
    void apply(QList<AgentSession> sessions);

    const Clock& m_clock;
    QString m_home;
    ClaudeFolders m_claude;
    QList<AgentSession> m_sessions;
    double m_activityWindow = 3600;
    bool m_scanning = false;
    bool m_again = false;
    WorkPool m_pool{1}; // last: its end waits for a scan before the rest goes
};
