// Claude's official usage percentages.
#include "services/ClaudeUsageReader.h"

#include "platform/RegularFile.h"
#include "platform/SecretStore.h"
#include "services/AIUsageText.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

#include <sys/stat.h>

namespace {

// A credentials file is a few hundred bytes; anything much larger is not one.
constexpr qint64 kMaxCredentialBytes = 1024 * 1024;
// An answer is a few hundred bytes too.
constexpr qint64 kMaxReplyBytes = 1024 * 1024;

// A folder's modification time in nanoseconds, or -1 when it cannot be read.
qint64 folderTime(const QString& folder) {
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0)
        return -1;
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

} // namespace

QUrl ClaudeUsageReader::defaultBase() {
    return QUrl(QStringLiteral("https://api.anthropic.com"));
}

ClaudeUsageReader::ClaudeUsageReader(ClaudeFolders folders, QUrl base, const SecretStore* secrets)
    : m_folders(std::move(folders))
    , m_base(std::move(base))
    , m_noSecrets(secrets ? nullptr : std::make_shared<NoSecretStore>())
    , m_secrets(secrets ? secrets : m_noSecrets.get()) {}

std::optional<ClaudeUsageReader::Credential> ClaudeUsageReader::credentialFromJson(const QByteArray& json,
                                                                                   const QDateTime& now) {
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    if (!doc.isObject())
        return std::nullopt;
    const QJsonObject top = doc.object();
    const QJsonValue oauthValue = top.value(QLatin1String("claudeAiOauth"));
    if (!oauthValue.isObject())
        return std::nullopt;
    const QJsonObject oauth = oauthValue.toObject();
    const QJsonValue token = oauth.value(QLatin1String("accessToken"));
    const QJsonValue expires = oauth.value(QLatin1String("expiresAt"));
    if (!token.isString() || !expires.isDouble())
        return std::nullopt;
    // Milliseconds since 1970; a token that expires at this very moment has expired.
    if (!(expires.toDouble() > double(now.toMSecsSinceEpoch())))
        return std::nullopt;
    Credential credential;
    credential.accessToken = token.toString();
    credential.expiresAtMs = expires.toDouble();
    QJsonValue plan = top.value(QLatin1String("subscriptionType"));
    if (!plan.isString())
        plan = oauth.value(QLatin1String("subscriptionType"));
    credential.plan = AIUsageText::capitalised(plan.isString() ? plan.toString() : QString());
    return credential;
}

std::optional<AIProviderUsage> ClaudeUsageReader::cardFromReply(const QJsonObject& reply, const QString& plan,
                                                                const QDateTime& now) {
    static const std::pair<const char*, const char*> windows[] = {{"five_hour", "5 horas"},
                                                                  {"seven_day", "Semana"},
                                                                  {"seven_day_opus", "Semana (Opus)"},
                                                                  {"seven_day_oauth_apps", "Semana (apps)"}};
    AIProviderUsage card;
    for (const auto& [key, label] : windows) {
        const QJsonValue window = reply.value(QLatin1String(key));
        if (!window.isObject())
            continue;
        const QJsonObject w = window.toObject();
        const QJsonValue utilization = w.value(QLatin1String("utilization"));
        if (!utilization.isDouble())
            continue;
        AIUsageMetric metric;
        metric.label = QString::fromUtf8(label);
        metric.fraction = utilization.toDouble() / 100.0;
        const QJsonValue resets = w.value(QLatin1String("resets_at"));
        if (resets.isString()) {
            const QString text = resets.toString();
            const QByteArray bytes = text.toUtf8();
            if (auto date = AIUsageText::parseInternetDate(bytes, false))
                metric.detail = AIUsageText::renews(*date, now);
            else if (auto dateWithFraction = AIUsageText::parseInternetDate(bytes, true))
                metric.detail = AIUsageText::renews(*dateWithFraction, now);
            else
                metric.detail = QStringLiteral("renova ") + text;
        }
        card.metrics.append(metric);
    }
    if (card.metrics.isEmpty())
        return std::nullopt;
    card.name = QStringLiteral("Claude");
    card.plan = plan;
    return card;
}

std::optional<QJsonObject> ClaudeUsageReader::fetch(const QString& token,
                                                    const std::atomic_bool& stop) const {
    // The token goes to one HTTPS host only: nothing else is ever asked with it.
    if (m_base.scheme() != QLatin1String("https") || m_base.host().isEmpty())
        return std::nullopt;
    QUrl url = m_base;
    url.setPath(QStringLiteral("/api/oauth/usage"));

    QNetworkAccessManager manager;
    manager.setAutoDeleteReplies(false);
    QNetworkRequest request(url);
    // A redirect would carry the token to wherever it points; it counts as a failed answer instead.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(m_transferMs);
    request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    request.setRawHeader("anthropic-beta", "oauth-2025-04-20");
    std::unique_ptr<QNetworkReply> reply(manager.get(request));

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer stopPoll;
    QObject::connect(&stopPoll, &QTimer::timeout, &loop, [&] {
        if (stop.load())
            loop.quit();
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply.get(), &QNetworkReply::downloadProgress, &loop, [&](qint64 received, qint64) {
        if (received > kMaxReplyBytes)
            reply->abort();
    });
    deadline.start(m_waitMs);
    stopPoll.start(100);
    if (!reply->isFinished())
        loop.exec();
    if (!reply->isFinished()) {
        // Late answers are dropped; aborting now frees the connection at once.
        reply->abort();
        return std::nullopt;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status != 200)
        return std::nullopt;
    const QByteArray body = reply->read(kMaxReplyBytes);
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    if (!doc.isObject())
        return std::nullopt;
    return doc.object();
}

std::optional<ClaudeUsageReader::Credential>
ClaudeUsageReader::credential(const QDateTime& now, const std::atomic_bool& stop) const {
    std::optional<Credential> best;
    bool anyFile = false;
    const QStringList folders = m_folders.existing();
    for (const QString& folder : folders) {
        QFile file(folder + QStringLiteral("/.credentials.json"));
        if (!RegularFile::open(file, file.fileName())) {
            // One we may not read is Claude Code's own, broken: it still keeps the keyring out.
            anyFile = anyFile || file.exists();
            continue;
        }
        anyFile = true;
        std::optional<Credential> found = credentialFromJson(file.read(kMaxCredentialBytes), now);
        if (found && (!best || found->expiresAtMs > best->expiresAtMs))
            best = std::move(found);
    }
    // Without any of Claude Code's folders there is no Claude Code to have put a token in the keyring:
    // asking anyway would wake the session bus (and perhaps start a keyring) on every refresh.
    if (best || anyFile || folders.isEmpty())
        return best;
    QList<qint64> times;
    for (const QString& folder : folders)
        times << folderTime(folder);
    {
        std::lock_guard lock(m_keyringMiss->mutex);
        if (m_keyringMiss->folderTimes == times)
            return std::nullopt;
    }
    std::optional<QByteArray> secret =
        m_secrets->lookup(QString::fromLatin1(kSecretService), kSecretTimeoutMs, stop);
    std::optional<Credential> found;
    if (secret && secret->size() <= kMaxCredentialBytes)
        found = credentialFromJson(*secret, now);
    // Only that nothing usable came is remembered, never the token.
    std::lock_guard lock(m_keyringMiss->mutex);
    m_keyringMiss->folderTimes = found || stop.load() ? std::nullopt : std::optional(times);
    return found;
}

std::optional<AIProviderUsage> ClaudeUsageReader::read(const QDateTime& now,
                                                       const std::atomic_bool& stop) const {
    const std::optional<Credential> found = credential(now, stop);
    if (!found)
        return std::nullopt;
    const std::optional<QJsonObject> reply = fetch(found->accessToken, stop);
    if (!reply)
        return std::nullopt;
    return cardFromReply(*reply, found->plan, now);
}
