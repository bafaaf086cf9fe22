// How much of the AI coding tools' usage limits is used up: one card per tool present on this machine,
// read on a worker thread at most once per window.
#pragma once

#include "model/AIProviderUsage.h"
#include "services/ClaudeFolders.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
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

signals:
    void providersChanged();
    void isLoadingChanged();
    // Every call of refresh, skipped or not.
    void refreshStarted(bool force);

private:
    void publish(QList<AIProviderUsage> providers);

    const Clock& m_clock;
    std::shared_ptr<const AIUsageReaders> m_readers;
    QList<AIProviderUsage> m_providers;
    bool m_isLoading = false;
    std::optional<qint64> m_lastRefreshMs; // monotonic; none until the first refresh
    double m_cacheWindow = 240;
    int m_running = 0;
    std::shared_ptr<std::atomic_bool> m_stop = std::make_shared<std::atomic_bool>(false);
    QThreadPool m_pool; // one thread: refreshes run in order, and the readers' caches are never shared
};
