// Claude token estimate from local project logs, with a per-file cache.
#include "services/ClaudeLocalEstimate.h"

#include "platform/RegularFile.h"
#include "services/AIUsageText.h"
#include "services/RecentLogs.h"
#include "services/UsageLineScanner.h"

#include <QFile>
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

namespace {

// A 64-bit digest of some bytes; 0 stays free to mean "none".
quint64 digest(QByteArrayView bytes) {
    const quint64 d = quint64(qHashBits(bytes.data(), size_t(bytes.size()), 0x5157'494c'4c42'4159ULL));
    return d ? d : 1;
}

// The digest of the `kTailCheck` bytes (or fewer, at the start of the file) just before `end`.
std::optional<quint64> digestBefore(QFile& file, qint64 end) {
    const qint64 n = std::min<qint64>(end, kTailCheck);
    if (n == 0)
        return 0;
    if (!file.seek(end - n))
        return std::nullopt;
    const QByteArray bytes = file.read(n);
    if (bytes.size() != n)
        return std::nullopt;
    return digest(bytes);
}

} // namespace

qsizetype ClaudeLocalEstimate::cachedUsages() const {
    qsizetype n = 0;
    for (const FileState& state : m_files)
        n += qsizetype(state.usages.size());
    return n;
}

bool ClaudeLocalEstimate::update(const QString& path, const LogFile& log, qint64 weekMs, FileState& state) {
    QFile file;
    if (!RegularFile::open(file, path))
        return false;
    // Growth is an append; the same size with a new time is a rewrite.
    bool appended = state.size >= 0 && state.lineStart <= log.size &&
                    (log.size > state.size || (log.size == state.size && log.modifiedNs == state.modifiedNs));
    if (appended && state.lineStart > 0) {
        // The bytes before the line in progress must be the same, else the file was rewritten, not grown.
        const std::optional<quint64> check = digestBefore(file, state.lineStart);
        appended = check && *check == state.check;
    }
    if (!appended)
        state = FileState{0, 0, 0, 0, false, false, state.seenIn, {}};
    if (state.lastIsTail) {
        // The unfinished line is read again from its start, and counted as it now stands.
        state.usages.pop_back();
        state.lastIsTail = false;
    }
    bool skipping = state.skipping;
    // An over-long line is passed over from where the last read ended; any other line in progress is read
    // again from its start.
    const qint64 start = skipping ? state.size : state.lineStart;
    if (!file.seek(start))
        return false;
    qint64 lineStart = skipping ? state.lineStart : start;
    auto take = [&](QByteArrayView line) {
        if (line.isEmpty() || line.size() > kMaxLine)
            return false;
        const std::optional<Usage> u = usageOfLine(line);
        // A line from before the week never counts again (a clock set back empties the whole cache).
        if (!u || u->msecs <= weekMs)
            return false;
        const Counted c{u->msecs, u->tokens, u->reply.isEmpty() ? 0 : digest(u->reply)};
        // The same reply again with the same usage and time (a streamed reply's next line) adds nothing.
        if (c.reply != 0 && !state.usages.empty() && state.usages.back() == c)
            return false;
        state.usages.push_back(c);
        return true;
    };
    // The start of a line that runs on past a chunk: held only while this call reads it.
    QByteArray pending;
    QByteArray chunk(kChunk, Qt::Uninitialized);
    qint64 at = start;
    for (;;) {
        const qint64 got = file.read(chunk.data(), kChunk);
        if (got <= 0)
            break;
        const QByteArrayView data(chunk.constData(), qsizetype(got));
        m_lastBytesRead += got;
        // Each byte is looked at once: complete lines are parsed where they lie in the chunk, and only the
        // start of a line that runs on past it is copied.
        qsizetype from = 0;
        while (from < data.size()) {
            const void* hit = std::memchr(data.data() + from, '\n', size_t(data.size() - from));
            if (!hit) {
                if (!skipping) {
                    const QByteArrayView rest = data.sliced(from);
                    // Dropped before it is held: what a read costs in memory stays below the limit.
                    if (pending.size() + rest.size() > kMaxLine) {
                        pending = QByteArray();
                        skipping = true;
                    } else {
                        // Grown by doubling, but never past the limit.
                        const qsizetype needed = pending.size() + rest.size();
                        if (pending.capacity() < needed)
                            pending.reserve(
                                std::min<qsizetype>(kMaxLine, std::max(needed, 2 * pending.size())));
                        pending.append(rest);
                    }
                }
                break;
            }
            const qsizetype nl = static_cast<const char*>(hit) - data.data();
            const QByteArrayView piece = data.sliced(from, nl - from);
            if (skipping) {
                skipping = false;
            } else if (!pending.isEmpty()) {
                if (pending.size() + piece.size() <= kMaxLine) {
                    pending.append(piece);
                    take(pending);
                }
                pending = QByteArray();
            } else {
                take(piece);
            }
            from = nl + 1;
            lineStart = at + from;
        }
        at += got;
    }
    if (file.error() != QFileDevice::NoError)
        return false;
    // A last line without a line feed counts as it stands; its text is not kept.
    if (!skipping && !pending.isEmpty())
        state.lastIsTail = take(pending);
    pending = QByteArray();
    const std::optional<quint64> check = digestBefore(file, lineStart);
    if (!check)
        return false;
    state.usages.shrink_to_fit();
    state.size = at;
    state.modifiedNs = log.modifiedNs;
    state.lineStart = lineStart;
    state.check = *check;
    state.skipping = skipping;
    return true;
}

std::optional<AIProviderUsage> ClaudeLocalEstimate::read(const QDateTime& now) {
    m_lastBytesRead = 0;
    const QStringList roots = m_folders.projectRoots();
    if (roots.isEmpty()) {
        m_files.clear();
        return std::nullopt;
    }
    const qint64 weekMs = now.addSecs(-kWeekSeconds).toMSecsSinceEpoch();
    const qint64 fiveHoursMs = now.addSecs(-kFiveHoursSeconds).toMSecsSinceEpoch();
    if (weekMs < m_droppedBeforeMs)
        m_files.clear();
    m_droppedBeforeMs = weekMs;
    qint64 week = 0;
    qint64 fiveHours = 0;
    QSet<quint64> replies;
    quint64 lastReply = 0; // a streamed reply's lines follow each other: most repeats need no look-up
    auto add = [&](const Counted& u) {
        // Each line of a streamed reply carries the whole reply's usage: it counts once.
        if (u.reply != 0) {
            if (u.reply == lastReply)
                return;
            lastReply = u.reply;
            if (replies.contains(u.reply))
                return;
            replies.insert(u.reply);
        }
        week = saturatingAdd(week, u.tokens);
        if (u.msecs > fiveHoursMs)
            fiveHours = saturatingAdd(fiveHours, u.tokens);
    };

    // A log reached under two names is one file: it is known by its device and inode. The cache is
    // brought up to date where it lies, so that an unchanged log costs a look-up and nothing more.
    m_walk = m_walk == std::numeric_limits<quint32>::max() ? 1 : m_walk + 1;
    for (const QString& root : roots) {
        walkRecentLogs(root, weekMs, m_helpers, [&](const LogFile& log) {
            const ClaudeFolders::Identity id{log.device, log.inode};
            auto it = m_files.find(id);
            if (it == m_files.end())
                it = m_files.insert(id, FileState());
            FileState& state = it.value();
            if (state.seenIn == m_walk)
                return;
            const bool unchanged = state.size == log.size && state.modifiedNs == log.modifiedNs;
            if (!unchanged && !update(log.path(), log, weekMs, state)) {
                m_files.erase(it);
                return;
            }
            state.seenIn = m_walk;
            // Lines that have left the week are let go of: the cache never outgrows the week's usage.
            if (state.lastIsTail && state.usages.back().msecs <= weekMs)
                state.lastIsTail = false;
            const auto old = std::remove_if(state.usages.begin(), state.usages.end(),
                                            [&](const Counted& u) { return u.msecs <= weekMs; });
            if (old != state.usages.end()) {
                state.usages.erase(old, state.usages.end());
                state.usages.shrink_to_fit();
            }
            for (const Counted& u : state.usages)
                add(u);
        });
    }
    // Logs that are gone or too old leave the cache, so it never outgrows the week's logs.
    for (auto it = m_files.begin(); it != m_files.end();) {
        if (it.value().seenIn != m_walk)
            it = m_files.erase(it);
        else
            ++it;
    }

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
