// The news service's shared state and refresh gate.
#include "services/NewsService.h"

#include "platform/Clock.h"

NewsService::NewsService(Clock& clock, QString prefixo, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_prefixo(std::move(prefixo)) {}

void NewsService::setComposing(bool composing) {
    if (composing == m_composing)
        return;
    m_composing = composing;
    emit composingChanged();
    emit changed();
}

void NewsService::refresh(bool force) {
    if (feedCount() == 0 || m_refreshing)
        return;
    const qint64 now = m_clock.monotonicMs();
    if (!force && m_lastRefreshStartMs && now - *m_lastRefreshStartMs < kRefreshIntervalMs)
        return;
    m_lastRefreshStartMs = now;
}
