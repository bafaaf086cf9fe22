// Codex rate limits from its session logs.
#include "services/CodexUsageReader.h"

#include "platform/RegularFile.h"
#include "services/AIUsageText.h"
#include "services/BackwardLineReader.h"
#include "services/RecentLogs.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 kRecentSeconds = 259200; // three days
constexpr qint64 kAppendCheck = 64;
// Only lines with this text can hold a record.
constexpr QByteArrayView kMarker("\"rate_limits\"");

QString windowLabel(const QJsonValue& minutesValue) {
    // An integer, else 0: a fractional or absurd number is not a window length.
    const qint64 minutes = minutesValue.toInteger(0);
    if (minutes >= 10080)
        return QStringLiteral("Semana");
    if (minutes >= 240)
        return QStringLiteral("5 horas");
    return QString::number(minutes) + QStringLiteral("min");
}

// Whether the marker stands anywhere as a name whose value is an object. Only then can the line hold a
// record: most token counts say `"rate_limits": null`, and those need no parse.
bool mayHoldLimits(QByteArrayView line) {
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = AIUsageText::indexOfBytes(line.sliced(from), kMarker);
        if (at < 0)
            return false;
        qsizetype i = from + at + kMarker.size();
        while (i < line.size() && isSpace(line[i]))
            ++i;
        if (i < line.size() && line[i] == ':') {
            ++i;
            while (i < line.size() && isSpace(line[i]))
                ++i;
            if (i < line.size() && line[i] == '{')
                return true;
        }
        // The marker's closing quotation mark may open the next one.
        from += at + kMarker.size() - 1;
    }
}

} // namespace

std::optional<CodexUsageReader::Record> CodexUsageReader::recordFromLine(const QByteArray& line) {
    if (!mayHoldLimits(line))
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
    Record record;
    for (const char* key : {"primary", "secondary"}) {
        const QJsonValue window = limits.value(QLatin1String(key));
        if (!window.isObject())
            continue;
        const QJsonObject w = window.toObject();
        const QJsonValue used = w.value(QLatin1String("used_percent"));
        if (!used.isDouble())
            continue;
        Window kept;
        kept.label = windowLabel(w.value(QLatin1String("window_minutes")));
        const QJsonValue resets = w.value(QLatin1String("resets_at"));
        // Seconds since 1970; a value beyond what a date can hold gives no detail rather than a wrong one.
        if (resets.isDouble() && std::fabs(resets.toDouble()) < 1e13)
            kept.resetsMs = qint64(std::llround(resets.toDouble() * 1000.0));
        kept.fraction = used.toDouble() / 100.0;
        record.windows.append(kept);
    }
    if (record.windows.isEmpty())
        return std::nullopt;
    const QJsonValue plan = limits.value(QLatin1String("plan_type"));
    record.plan = AIUsageText::capitalised(plan.isString() ? plan.toString() : QString());
    return record;
}

AIProviderUsage CodexUsageReader::cardFromRecord(const Record& record, const QDateTime& now) {
    AIProviderUsage card;
    for (const Window& w : record.windows) {
        AIUsageMetric metric;
        metric.label = w.label;
        if (w.resetsMs)
            metric.detail = AIUsageText::renews(QDateTime::fromMSecsSinceEpoch(*w.resetsMs, Qt::UTC), now);
        metric.fraction = w.fraction;
        card.metrics.append(metric);
    }
    card.name = QStringLiteral("Codex");
    card.plan = record.plan;
    return card;
}

std::optional<AIProviderUsage> CodexUsageReader::cardFromLine(const QByteArray& line, const QDateTime& now) {
    const std::optional<Record> record = recordFromLine(line);
    if (!record)
        return std::nullopt;
    return cardFromRecord(*record, now);
}

std::optional<AIProviderUsage> CodexUsageReader::cardFromFile(const QString& path, const QDateTime& now,
                                                              qint64 blockSize) {
    BackwardLineReader reader(path, blockSize);
    reader.setRequired(kMarker);
    QByteArray line;
    while (reader.previous(&line)) {
        if (auto card = cardFromLine(line, now))
            return card;
    }
    return std::nullopt;
}

bool CodexUsageReader::update(const QString& path, qint64 size, const QDateTime& modified, FileState& state) {
    QFile file;
    if (!RegularFile::open(file, path))
        return false;
    // A log that grew with the bytes before its old end unchanged was appended to: what was searched then
    // needs no second look.
    qint64 knownEnd = -1;
    if (state.modified.isValid() && size > state.size) {
        const qint64 at = state.size - state.lastBytes.size();
        if (state.lastBytes.isEmpty() ||
            (file.seek(at) && file.read(state.lastBytes.size()) == state.lastBytes))
            knownEnd = state.size;
        m_lastBytesRead += state.lastBytes.size();
    }
    BackwardLineReader reader(path, BackwardLineReader::kDefaultBlock, BackwardLineReader::kDefaultMaxLine,
                              size);
    reader.setRequired(kMarker);
    if (knownEnd >= 0)
        reader.setFloor(knownEnd);
    std::optional<Record> found;
    QByteArray line;
    qint64 lineStart = 0;
    while (reader.previous(&line, &lineStart)) {
        if ((found = recordFromLine(line)))
            break;
        // The line that reaches back over the old end is the last one the growth can have changed.
        if (knownEnd >= 0 && lineStart < knownEnd)
            break;
    }
    m_lastBytesRead += reader.bytesRead();
    if (!reader.isOpen() || reader.hasError())
        return false;
    if (found || knownEnd < 0)
        state.record = std::move(found);
    const qint64 keep = std::min<qint64>(size, kAppendCheck);
    if (!file.seek(size - keep))
        return false;
    state.lastBytes = file.read(keep);
    m_lastBytesRead += state.lastBytes.size();
    if (state.lastBytes.size() != keep)
        return false;
    state.size = size;
    state.modified = modified;
    return true;
}

std::optional<AIProviderUsage> CodexUsageReader::read(const QDateTime& now) {
    m_lastBytesRead = 0;
    const QString root = m_home + QStringLiteral("/.codex/sessions");
    if (!QFileInfo(root).isDir()) {
        m_files.clear();
        return std::nullopt;
    }
    const QDateTime cutoff = now.addSecs(-kRecentSeconds);
    QList<RecentLog> logs = recentLogs(root, cutoff);
    std::stable_sort(logs.begin(), logs.end(),
                     [](const RecentLog& a, const RecentLog& b) { return a.modified > b.modified; });
    QHash<QString, FileState> kept;
    std::optional<AIProviderUsage> card;
    for (const RecentLog& log : logs) {
        FileState state = m_files.take(log.path);
        if (!card) {
            const bool unchanged = state.modified == log.modified && state.size == log.size;
            if (!unchanged && !update(log.path, log.size, log.modified, state))
                continue;
            if (state.record)
                card = cardFromRecord(*state.record, now);
        }
        // Logs past the newest record are not looked at, but what is known of them stays for later.
        if (state.modified.isValid())
            kept.insert(log.path, std::move(state));
    }
    // Logs that are gone or too old leave the memory, so it never outgrows the recent logs.
    m_files = std::move(kept);
    if (card)
        return card;
    return AIProviderUsage{
        QStringLiteral("Codex"), QString(), {}, QStringLiteral("Sem sessão recente do Codex CLI")};
}
