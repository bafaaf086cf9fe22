// Usage limits of the AI coding tools, as provider cards with usage lines.
#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

struct AIUsageMetric {
    QString label;
    // Used share of the window (1.0 = the whole limit), not clamped; none for plain counts.
    std::optional<double> fraction;
    QString detail;
    bool operator==(const AIUsageMetric&) const = default;
};

struct AIProviderUsage {
    QString name;
    QString plan;
    QList<AIUsageMetric> metrics;
    std::optional<QString> note;
    bool operator==(const AIProviderUsage&) const = default;
};

class AIUsageService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
public:
    AIUsageService(QList<AIProviderUsage> providers, bool isLoading, QDateTime lastRefresh,
                   double cacheWindow, QObject* parent = nullptr);

    const QList<AIProviderUsage>& providers() const { return m_providers; }
    void setProviders(QList<AIProviderUsage> providers);
    bool isLoading() const { return m_isLoading; }
    double cacheWindow() const { return m_cacheWindow; }
    // Reads the providers' usage again. The readers are not part of this build yet: the call is only
    // announced, so that its callers and their order can already be relied on.
    void refresh(bool force);

signals:
    void providersChanged();
    void isLoadingChanged();
    void refreshStarted(bool force);

private:
    QList<AIProviderUsage> m_providers;
    bool m_isLoading = false;
    QDateTime lastRefresh;
    double m_cacheWindow = 240;
};
