// How much of the AI coding tools' usage limits is used up: one card per tool present on this machine,
// read on a worker thread at most once per window.
#pragma once

#include "model/AIProviderUsage.h"
#include "services/ClaudeFolders.h"
#include "services/WorkPool.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class Clock;

// The readers, each blocking its (worker) thread and giving nothing when its tool is absent. They run one
// after another, never two at once.
class SecretStore;

struct AIUsageReaders {
    using Reader =
        std::function<std::optional<AIProviderUsage>(const QDateTime& now, const std::atomic_bool& stop)>;
    Reader codex;
    Reader claudeOfficial;
    Reader claudeLocal;
    Reader antigravity;
    // Given the service's pool before the first read, for readers that spread their work over threads.
    std::function<void(WorkPool& helpers)> lendHelpers;

    // The real readers over `home` (holding ".codex"), Claude Code's `claude` folders and `configHome`
    // (holding "Antigravity"); `secrets` (may be null, must outlive the readers) is the keyring Claude's
    // token is looked up in when there is no credentials file.
    static AIUsageReaders standard(const QString& home, const ClaudeFolders& claude,
                                   const QString& configHome, const SecretStore* secrets = nullptr);
};

class AIUsageService : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<AIProviderUsage> providers READ providers NOTIFY providersChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
public:
    AIUsageService(const Clock& clock, AIUsageReaders readers, QObject* parent = nullptr);
    ~AIUsageService() override;

    // Codex, Claude, Antigravity, an absent one leaving no gap.
    const QList<AIProviderUsage>& providers() const { return m_providers; }
    void setProviders(QList<AIProviderUsage> providers);
    bool isLoading() const { return m_isLoading; }
    double cacheWindow() const { return m_cacheWindow; }

    // Reads the cards again on the worker thread and returns at once. Unless forced, a call no more than
    // the window after the start of the last refresh does nothing.
    void refresh(bool force);
    // Quitting: a read under way is told to stop, none begins after, and no result is published.
    void cancelRefresh();
    // Blocks until a read under way has ended, its result posted (tests only).
    bool waitForRead(int msecs = -1) { return m_pool.waitForDone(msecs); }

signals:
    void providersChanged();
    void isLoadingChanged();
    // Every call of refresh, skipped or not.
    void refreshStarted(bool force);

private:
    void startRead(const QDateTime& now);
    void publish(QList<AIProviderUsage> providers);

    const Clock& m_clock;
    std::shared_ptr<const AIUsageReaders> m_readers;
    QList<AIProviderUsage> m_providers;
    bool m_isLoading = false;
    std::optional<qint64> m_lastRefreshMs; // monotonic; none until the first refresh
    double m_cacheWindow = 240;
    int m_running = 0;
    // Reads run one at a time, in the order asked, so the readers' caches are never shared: the moments of
    // those waiting for the one under way.
    bool m_reading = false;
    std::deque<QDateTime> m_waiting;
    std::shared_ptr<std::atomic_bool> m_stop = std::make_shared<std::atomic_bool>(false);
    WorkPool m_pool{4}; // last: its end waits for a read; a read's thread and up to three helpers
};
