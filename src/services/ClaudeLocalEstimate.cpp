// Claude token estimate from local project logs, with a per-file cache.
#include "services/ClaudeLocalEstimate.h"

#include "platform/RegularFile.h"
#include "services/AIUsageText.h"
#include "services/RecentLogs.h"
#include "services/UsageLineScanner.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr qint64 kWeekSeconds = 604800;
constexpr qint64 kFiveHoursSeconds = 18000;
// Small enough to stay in the processor's cache between the read and the scan of its lines.
constexpr qint64 kChunk = 128 * 1024;
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

QString nonEmptyString(const QJsonValue& value) {
    return value.isString() ? value.toString() : QString();
}

} // namespace

std::optional<ClaudeLocalEstimate::Usage> ClaudeLocalEstimate::usageOfLineByDocument(QByteArrayView line) {
    if (!AIUsageText::containsBytes(line, "\"usage\""))
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
    const QString messageId = nonEmptyString(message.toObject().value(QLatin1String("id")));
    const QString requestId = nonEmptyString(object.value(QLatin1String("requestId")));
    if (!messageId.isEmpty() && !requestId.isEmpty())
        u.reply = messageId.toUtf8() + '\n' + requestId.toUtf8();
    return u;
}

std::optional<ClaudeLocalEstimate::Usage> ClaudeLocalEstimate::usageOfLine(QByteArrayView line) {
    // A reply's usage comes after its content, near the end of its line.
    if (!AIUsageText::containsBytesFromEnd(line, "\"usage\""))
        return std::nullopt;
    UsageLineFields fields;
    if (UsageLineScanner::scan(line, &fields) != UsageLineScanner::Verdict::fields)
        return usageOfLineByDocument(line);
    if (!fields.timestamp || !fields.messageIsObject || !fields.usageIsObject)
        return std::nullopt;
    const std::optional<qint64> msecs = AIUsageText::internetDateMsecs(*fields.timestamp);
    if (!msecs)
        return std::nullopt;
    Usage u;
    u.msecs = *msecs;
    u.tokens =
        saturatingAdd(saturatingAdd(fields.inputTokens, fields.outputTokens), fields.cacheCreationTokens);
    if (fields.messageId && !fields.messageId->isEmpty() && fields.requestId &&
        !fields.requestId->isEmpty()) {
        // One allocation: this runs for every usage line of every log.
        u.reply.reserve(fields.messageId->size() + 1 + fields.requestId->size());
        u.reply.append(*fields.messageId).append('\n').append(*fields.requestId);
    }
    return u;
}

bool ClaudeLocalEstimate::update(const QString& path, qint64 size, const QDateTime& modified,
                                 FileState& state) {
    QFile file;
    if (!RegularFile::open(file, path))
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
    auto take = [&](QByteArrayView line) {
        if (!line.isEmpty() && line.size() <= kMaxLine) {
            if (auto u = usageOfLine(line))
                state.usages.push_back(std::move(*u));
        }
    };
    QByteArray chunk(kChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(chunk.data(), kChunk);
        if (got <= 0)
            break;
        const QByteArrayView data(chunk.constData(), qsizetype(got));
        m_lastBytesRead += got;
        state.readUpTo += got;
        state.lastBytes.append(data.last(std::min<qsizetype>(data.size(), kTailCheck)));
        state.lastBytes = state.lastBytes.right(kTailCheck);
        tailChanged = true;
        // Each byte is looked at once: complete lines are parsed where they lie in the chunk, and only the
        // start of a line that runs on past it is kept.
        qsizetype from = 0;
        while (from < data.size()) {
            const void* hit = std::memchr(data.data() + from, '\n', size_t(data.size() - from));
            if (!hit) {
                if (!state.skippingLongLine) {
                    const QByteArrayView rest = data.sliced(from);
                    // Dropped before it is held: what the file costs in memory stays below the limit.
                    if (state.tail.size() + rest.size() > kMaxLine) {
                        state.tail = QByteArray();
                        state.skippingLongLine = true;
                    } else {
                        // Grown by doubling, but never past the limit.
                        const qsizetype needed = state.tail.size() + rest.size();
                        if (state.tail.capacity() < needed)
                            state.tail.reserve(
                                std::min<qsizetype>(kMaxLine, std::max(needed, 2 * state.tail.size())));
                        state.tail.append(rest);
                    }
                }
                break;
            }
            const qsizetype nl = static_cast<const char*>(hit) - data.data();
            const QByteArrayView piece = data.sliced(from, nl - from);
            if (state.skippingLongLine) {
                state.skippingLongLine = false;
            } else if (!state.tail.isEmpty()) {
                if (state.tail.size() + piece.size() <= kMaxLine) {
                    state.tail.append(piece);
                    take(state.tail);
                }
                state.tail = QByteArray();
            } else {
                take(piece);
            }
            from = nl + 1;
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
    const QStringList roots = m_folders.projectRoots();
    if (roots.isEmpty()) {
        m_files.clear();
        return std::nullopt;
    }
    const QDateTime weekCutoff = now.addSecs(-kWeekSeconds);
    const qint64 weekMs = weekCutoff.toMSecsSinceEpoch();
    const qint64 fiveHoursMs = now.addSecs(-kFiveHoursSeconds).toMSecsSinceEpoch();
    qint64 week = 0;
    qint64 fiveHours = 0;
    QSet<QByteArray> replies;
    // The reply last looked up, already in `replies`: a streamed reply's lines follow each other, so most
    // repeats are found without hashing.
    QByteArray lastReply;
    auto add = [&](const Usage& u) {
        if (u.msecs <= weekMs)
            return;
        // Each line of a streamed reply carries the whole reply's usage: it counts once.
        if (!u.reply.isEmpty()) {
            if (lastReply == u.reply)
                return;
            lastReply = u.reply; // shared, not copied
            if (replies.contains(u.reply))
                return;
            replies.insert(u.reply);
        }
        week = saturatingAdd(week, u.tokens);
        if (u.msecs > fiveHoursMs)
            fiveHours = saturatingAdd(fiveHours, u.tokens);
    };

    QHash<QString, FileState> seen;
    QSet<ClaudeFolders::Identity> files;
    for (const QString& root : roots) {
        for (const RecentLog& log : recentLogs(root, weekCutoff)) {
            const QString& path = log.path;
            const std::optional<ClaudeFolders::Identity> id = ClaudeFolders::identity(path);
            if (!id || files.contains(*id))
                continue;
            files.insert(*id);
            FileState state = m_files.take(path);
            const bool unchanged = state.modified.isValid() && state.size == log.size &&
                                   state.modified == log.modified && state.readUpTo == state.size;
            if (!unchanged && !update(path, log.size, log.modified, state))
                continue;
            for (const Usage& u : state.usages)
                add(u);
            if (state.tailUsage)
                add(*state.tailUsage);
            seen.insert(path, std::move(state));
        }
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
