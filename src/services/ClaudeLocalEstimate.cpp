// Claude token estimate from local project logs, with a per-file cache.
#include "services/ClaudeLocalEstimate.h"

#include "services/AIUsageText.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>
#include <limits>

namespace {

constexpr qint64 kWeekSeconds = 604800;
constexpr qint64 kFiveHoursSeconds = 18000;
constexpr qint64 kChunk = 4 * 1024 * 1024;
constexpr qsizetype kTailCheck = 4096;

qint64 saturatingAdd(qint64 a, qint64 b) {
    qint64 sum;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    return sum;
}

qint64 counter(const QJsonObject& usage, const char* key) {
    return usage.value(QLatin1String(key)).toInteger(0);
}

// Calls `each` for every complete line of `data` (those followed by a line feed); returns the offset
// just after the last line feed.
template <typename F> qsizetype forEachLine(const QByteArray& data, F&& each) {
    const char* p = data.constData();
    const qsizetype n = data.size();
    qsizetype start = 0;
    while (start < n) {
        const void* hit = std::memchr(p + start, '\n', size_t(n - start));
        if (!hit)
            break;
        const qsizetype nl = static_cast<const char*>(hit) - p;
        if (nl > start)
            each(QByteArrayView(p + start, nl - start));
        start = nl + 1;
    }
    return start;
}

} // namespace

std::optional<ClaudeLocalEstimate::Usage> ClaudeLocalEstimate::usageOfLine(QByteArrayView line) {
    if (!line.contains(QByteArrayView("\"usage\"")))
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(line.toByteArray());
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject object = doc.object();
    const QJsonValue timestamp = object.value(QLatin1String("timestamp"));
    if (!timestamp.isString())
        return std::nullopt;
    const std::optional<QDateTime> moment = AIUsageText::parseInternetDate(timestamp.toString().toUtf8());
    if (!moment)
        return std::nullopt;
    const QJsonValue message = object.value(QLatin1String("message"));
    if (!message.isObject())
        return std::nullopt;
    const QJsonValue usageValue = message.toObject().value(QLatin1String("usage"));
    if (!usageValue.isObject())
        return std::nullopt;
    const QJsonObject usage = usageValue.toObject();
    Usage u;
    u.msecs = moment->toMSecsSinceEpoch();
    u.tokens = saturatingAdd(saturatingAdd(counter(usage, "input_tokens"), counter(usage, "output_tokens")),
                             counter(usage, "cache_creation_input_tokens"));
    return u;
}

bool ClaudeLocalEstimate::update(const QString& path, qint64 size, const QDateTime& modified,
                                 FileState& state) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // Growth is an append; the same size with a new time is a rewrite.
    bool appended = state.modified.isValid() && state.readUpTo <= size &&
                    (size > state.size || (size == state.size && modified == state.modified));
    if (appended && !state.lastBytes.isEmpty()) {
        // The bytes before the old end must be the same, else the file was rewritten, not grown.
        const qint64 at = state.readUpTo - state.lastBytes.size();
        appended = file.seek(at) && file.read(state.lastBytes.size()) == state.lastBytes;
    }
    if (!appended)
        state = FileState();
    if (!file.seek(state.readUpTo))
        return false;
    bool tailChanged = false;
    for (;;) {
        QByteArray chunk = file.read(kChunk);
        if (chunk.isEmpty())
            break;
        m_lastBytesRead += chunk.size();
        state.readUpTo += chunk.size();
        state.lastBytes = (state.lastBytes + chunk.right(kTailCheck)).right(kTailCheck);
        tailChanged = true;
        qsizetype from = 0;
        if (state.skippingLongLine) {
            const qsizetype nl = chunk.indexOf('\n');
            if (nl < 0)
                continue; // still inside the over-long line
            state.skippingLongLine = false;
            from = nl + 1;
        }
        // The kept start of the last line, then this chunk: at most a line's limit and a chunk.
        QByteArray pending;
        if (state.tail.isEmpty() && from == 0) {
            pending = std::move(chunk);
        } else {
            pending = std::move(state.tail);
            pending.append(QByteArrayView(chunk).sliced(from));
        }
        chunk = QByteArray();
        const qsizetype consumed = forEachLine(pending, [&](QByteArrayView line) {
            if (line.size() > kMaxLine)
                return;
            if (auto u = usageOfLine(line))
                state.usages.push_back(*u);
        });
        if (pending.size() - consumed > kMaxLine) {
            state.tail.clear();
            state.skippingLongLine = true;
        } else {
            state.tail = pending.sliced(consumed);
        }
    }
    if (file.error() != QFileDevice::NoError)
        return false;
    // A last line without a line feed counts as it stands; it is parsed again only once it has grown.
    if (tailChanged)
        state.tailUsage = state.tail.isEmpty() ? std::nullopt : usageOfLine(state.tail);
    state.size = size;
    state.modified = modified;
    return true;
}

std::optional<AIProviderUsage> ClaudeLocalEstimate::read(const QDateTime& now) {
    m_lastBytesRead = 0;
    const QString root = m_home + QStringLiteral("/.claude/projects");
    if (!QFileInfo(root).isDir())
        return std::nullopt;
    const QDateTime weekCutoff = now.addSecs(-kWeekSeconds);
    const qint64 weekMs = weekCutoff.toMSecsSinceEpoch();
    const qint64 fiveHoursMs = now.addSecs(-kFiveHoursSeconds).toMSecsSinceEpoch();
    qint64 week = 0;
    qint64 fiveHours = 0;
    auto add = [&](const Usage& u) {
        if (u.msecs <= weekMs)
            return;
        week = saturatingAdd(week, u.tokens);
        if (u.msecs > fiveHoursMs)
            fiveHours = saturatingAdd(fiveHours, u.tokens);
    };

    QHash<QString, FileState> seen;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (!it.fileName().endsWith(QLatin1String(".jsonl")))
            continue;
        const QFileInfo info = it.fileInfo();
        const QDateTime modified = info.lastModified();
        if (!modified.isValid() || modified <= weekCutoff)
            continue;
        const QString path = it.filePath();
        FileState state = m_files.take(path);
        const bool unchanged = state.modified.isValid() && state.size == info.size() &&
                               state.modified == modified && state.readUpTo == state.size;
        if (!unchanged && !update(path, info.size(), modified, state))
            continue;
        for (const Usage& u : state.usages)
            add(u);
        if (state.tailUsage)
            add(*state.tailUsage);
        seen.insert(path, std::move(state));
    }
    // Logs that are gone or too old leave the cache, so it never outgrows the week's logs.
    m_files = std::move(seen);

    if (week < 1)
        return AIProviderUsage{
            QStringLiteral("Claude"), QString(), {}, QStringLiteral("Sem atividade local na última semana")};
    AIProviderUsage card{
        QStringLiteral("Claude"),
        QString(),
        {},
        QStringLiteral("Estimativa local — abra o Claude Code pra renovar o token e ver % oficial")};
    card.metrics.append({QStringLiteral("5 horas"), std::nullopt,
                         QStringLiteral("≈ ") + AIUsageText::compact(fiveHours) + QStringLiteral(" tokens")});
    card.metrics.append({QStringLiteral("Semana"), std::nullopt,
                         QStringLiteral("≈ ") + AIUsageText::compact(week) + QStringLiteral(" tokens")});
    return card;
}
