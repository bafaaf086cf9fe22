// The agent sessions list, rescanned off the main thread.
#include "services/AgentsService.h"

#include "platform/Clock.h"
#include "services/AgentSessionScanner.h"
#include "services/Published.h"

#include <QCoreApplication>
#include <QPointer>

#include <algorithm>

AgentsService::AgentsService(const Clock& clock, QString home, ClaudeFolders claude, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_home(std::move(home))
    , m_claude(std::move(claude)) {}

void AgentsService::setSessions(QList<AgentSession> sessions) {
    assignPublished(this, m_sessions, std::move(sessions), &AgentsService::sessionsChanged);
}

bool AgentsService::anyWaiting() const {
    return std::any_of(m_sessions.cbegin(), m_sessions.cend(),
                       [](const AgentSession& s) { return s.isWaiting(); });
}

void AgentsService::refresh() {
    emit refreshStarted();
    // Scans are coalesced: quick hovers in and out of the island would otherwise pile them up.
    if (m_scanning) {
        m_again = true;
        return;
    }
    startScan();
}

void AgentsService::startScan() {
    m_scanning = true;
    m_again = false;
    const QDateTime now = m_clock.now();
    QPointer<AgentsService> self(this);
    m_pool.start([self, now, home = m_home, claude = m_claude] {
        QList<AgentSession> found = AgentSessionScanner::scan(claude, home, now);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, found = std::move(found)]() mutable {
                if (self && !self->m_pool.isCancelled())
                    self->apply(std::move(found));
            },
            Qt::QueuedConnection);
    });
}

void AgentsService::apply(QList<AgentSession> sessions) {
    m_scanning = false;
    setSessions(std::move(sessions));
    emit scanFinished();
    if (m_again)
        startScan();
}
