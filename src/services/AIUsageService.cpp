// The AI usage cards.
#include "services/AIUsageService.h"

AIUsageService::AIUsageService(QList<AIProviderUsage> providers, bool isLoading, QDateTime refreshedAt,
                               double cacheWindow, QObject* parent)
    : QObject(parent)
    , m_providers(std::move(providers))
    , m_isLoading(isLoading)
    , lastRefresh(std::move(refreshedAt))
    , m_cacheWindow(cacheWindow) {}

void AIUsageService::setProviders(QList<AIProviderUsage> providers) {
    if (providers == m_providers)
        return;
    m_providers = std::move(providers);
    emit providersChanged();
}

void AIUsageService::refresh(bool force) {
    emit refreshStarted(force);
}
