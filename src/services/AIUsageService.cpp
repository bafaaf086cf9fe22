// The AI usage cards and their refresh rule.
#include "services/AIUsageService.h"

#include "platform/Clock.h"
#include "platform/LogCategories.h"
#include "services/AntigravityCreditsReader.h"
#include "services/ClaudeLocalEstimate.h"
#include "services/ClaudeUsageReader.h"
#include "services/CodexUsageReader.h"
#include "services/Published.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

AIUsageReaders AIUsageReaders::standard(const QString& home, const ClaudeFolders& claude,
                                        const QString& configHome, const SecretStore* secrets) {
    AIUsageReaders readers;
    // The Codex reader and the estimate keep what they learnt between refreshes; the service runs one read
    // at a time.
    auto codex = std::make_shared<CodexUsageReader>(home);
    readers.codex = [codex](const QDateTime& now, const std::atomic_bool&) { return codex->read(now); };
    readers.claudeOfficial =
        [official = ClaudeUsageReader(claude, ClaudeUsageReader::defaultBase(), secrets)](
            const QDateTime& now, const std::atomic_bool& stop) { return official.read(now, stop); };
    auto estimate = std::make_shared<ClaudeLocalEstimate>(claude);
    readers.claudeLocal = [estimate](const QDateTime& now, const std::atomic_bool&) {
        return estimate->read(now);
    };
    // Its walk over tens of thousands of logs is mostly stats, which a few threads share.
    readers.lendHelpers = [estimate](WorkPool& helpers) { estimate->setHelpers(&helpers); };
    readers.antigravity = [antigravity = AntigravityCreditsReader(configHome)](
                              const QDateTime&, const std::atomic_bool&) { return antigravity.read(); };
    return readers;
}

AIUsageService::AIUsageService(const Clock& clock, AIUsageReaders readers, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_readers(std::make_shared<const AIUsageReaders>(std::move(readers))) {
    if (m_readers->lendHelpers)
        m_readers->lendHelpers(m_pool);
}

AIUsageService::~AIUsageService() {
    // A request in flight gives up at once; the pool's end then waits for the worker to return.
    cancelRefresh();
}

void AIUsageService::cancelRefresh() {
    m_stop->store(true);
    m_pool.cancel();
    m_waiting.clear();
}

void AIUsageService::setProviders(QList<AIProviderUsage> providers) {
    assignPublished(this, m_providers, std::move(providers), &AIUsageService::providersChanged);
}

void AIUsageService::refresh(bool force) {
    emit refreshStarted(force);
    if (m_pool.isCancelled())
        return;
    const qint64 nowMs = m_clock.monotonicMs();
    // Exactly the window after the last start still skips.
    if (!force && m_lastRefreshMs && double(nowMs - *m_lastRefreshMs) <= m_cacheWindow * 1000.0)
        return;
    m_lastRefreshMs = nowMs;
    ++m_running;
    assignPublished(this, m_isLoading, true, &AIUsageService::isLoadingChanged);

    const QDateTime now = m_clock.now();
    if (m_reading)
        m_waiting.push_back(now);
    else
        startRead(now);
}

void AIUsageService::startRead(const QDateTime& now) {
    m_reading = true;
    QPointer<AIUsageService> self(this);
    m_pool.start([self, now, readers = m_readers, stop = m_stop] {
        QList<AIProviderUsage> list;
        auto run = [&](const AIUsageReaders::Reader& reader) -> std::optional<AIProviderUsage> {
            if (!reader || stop->load())
                return std::nullopt;
            return reader(now, *stop);
        };
        if (auto codex = run(readers->codex))
            list.append(*codex);
        std::optional<AIProviderUsage> claude = run(readers->claudeOfficial);
        qCDebug(lcAI, "Claude's usage service gave %s",
                claude ? "an answer" : "nothing; its local logs are read");
        if (!claude)
            claude = run(readers->claudeLocal);
        if (claude)
            list.append(*claude);
        if (auto antigravity = run(readers->antigravity))
            list.append(*antigravity);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, list = std::move(list)]() mutable {
                // Once cancelled, what a stopped read found is not the whole answer.
                if (self && !self->m_pool.isCancelled())
                    self->publish(std::move(list));
            },
            Qt::QueuedConnection);
    });
}

void AIUsageService::publish(QList<AIProviderUsage> providers) {
    m_reading = false;
    if (!m_waiting.empty()) {
        const QDateTime next = m_waiting.front();
        m_waiting.pop_front();
        startRead(next);
    }
    setProviders(std::move(providers));
    if (--m_running == 0)
        assignPublished(this, m_isLoading, false, &AIUsageService::isLoadingChanged);
}
