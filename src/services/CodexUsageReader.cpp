// Codex rate limits from its session logs.
#include "services/CodexUsageReader.h"

#include "services/AIUsageText.h"
#include "services/BackwardLineReader.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 kRecentSeconds = 259200; // three days

QString windowLabel(const QJsonValue& minutesValue) {
    // An integer, else 0: a fractional or absurd number is not a window length.
    const qint64 minutes = minutesValue.toInteger(0);
    if (minutes >= 10080)
        return QStringLiteral("Semana");
    if (minutes >= 240)
        return QStringLiteral("5 horas");
    return QString::number(minutes) + QStringLiteral("min");
}

} // namespace

std::optional<AIProviderUsage> CodexUsageReader::cardFromLine(const QByteArray& line, const QDateTime& now) {
    if (!line.contains("\"rate_limits\""))
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(line);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonValue payload = doc.object().value(QLatin1String("payload"));
    if (!payload.isObject())
        return std::nullopt;
    const QJsonValue limitsValue = payload.toObject().value(QLatin1String("rate_limits"));
    if (!limitsValue.isObject())
        return std::nullopt;
    const QJsonObject limits = limitsValue.toObject();
    AIProviderUsage card;
    for (const char* key : {"primary", "secondary"}) {
        const QJsonValue window = limits.value(QLatin1String(key));
        if (!window.isObject())
            continue;
        const QJsonObject w = window.toObject();
        const QJsonValue used = w.value(QLatin1String("used_percent"));
        if (!used.isDouble())
            continue;
        AIUsageMetric metric;
        metric.label = windowLabel(w.value(QLatin1String("window_minutes")));
        const QJsonValue resets = w.value(QLatin1String("resets_at"));
        // Seconds since 1970; a value beyond what a date can hold gives no detail rather than a wrong one.
        if (resets.isDouble() && std::fabs(resets.toDouble()) < 1e13)
            metric.detail = AIUsageText::renews(
                QDateTime::fromMSecsSinceEpoch(qint64(std::llround(resets.toDouble() * 1000.0)), Qt::UTC),
                now);
        metric.fraction = used.toDouble() / 100.0;
        card.metrics.append(metric);
    }
    if (card.metrics.isEmpty())
        return std::nullopt;
    card.name = QStringLiteral("Codex");
    const QJsonValue plan = limits.value(QLatin1String("plan_type"));
    card.plan = AIUsageText::capitalised(plan.isString() ? plan.toString() : QString());
    return card;
}

std::optional<AIProviderUsage> CodexUsageReader::cardFromFile(const QString& path, const QDateTime& now,
                                                              qint64 blockSize) {
    BackwardLineReader reader(path, blockSize);
    QByteArray line;
    while (reader.previous(&line)) {
        if (auto card = cardFromLine(line, now))
            return card;
    }
    return std::nullopt;
}

std::optional<AIProviderUsage> CodexUsageReader::read(const QDateTime& now) const {
    const QString root = m_home + QStringLiteral("/.codex/sessions");
    if (!QFileInfo(root).isDir())
        return std::nullopt;
    const QDateTime cutoff = now.addSecs(-kRecentSeconds);
    struct Log {
        QString path;
        QDateTime modified;
    };
    QList<Log> logs;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (!it.fileName().endsWith(QLatin1String(".jsonl")))
            continue;
        const QDateTime modified = it.fileInfo().lastModified();
        if (modified.isValid() && modified > cutoff)
            logs.append({it.filePath(), modified});
    }
    std::stable_sort(logs.begin(), logs.end(),
                     [](const Log& a, const Log& b) { return a.modified > b.modified; });
    for (const Log& log : logs) {
        if (auto card = cardFromFile(log.path, now))
            return card;
    }
    return AIProviderUsage{
        QStringLiteral("Codex"), QString(), {}, QStringLiteral("Sem sessão recente do Codex CLI")};
}
