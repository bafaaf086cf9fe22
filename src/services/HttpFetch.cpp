// Replies carry their status even when Qt flags 4xx/5xx as errors; only a reply without one failed in
// transport.
#include "services/HttpFetch.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <memory>

namespace {

// Where a redirect that was not followed would have led, kept on the reply until it finishes.
constexpr char kRefusedRedirect[] = "quillbayRefusedRedirect";

HttpResult::Failure failureOf(QNetworkReply::NetworkError error) {
    using F = HttpResult::Failure;
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
        return F::unreachable;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::OperationCanceledError: // what the transfer time-out ends a reply with
        return F::timedOut;
    case QNetworkReply::SslHandshakeFailedError:
        return F::secureConnection;
    default:
        return F::other;
    }
}

} // namespace

HttpFetch::HttpFetch(QObject* parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this)) {}

HttpFetch::~HttpFetch() = default;

void HttpFetch::get(const QUrl& url, const Options& options, std::function<void(HttpResult)> done) {
    QNetworkRequest request(url);
    if (!options.userAgent.isEmpty())
        request.setHeader(QNetworkRequest::UserAgentHeader, options.userAgent);
    request.setTransferTimeout(options.idleTimeoutMs);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, true);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    if (options.allowRedirect)
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::UserVerifiedRedirectPolicy);
    QNetworkReply* reply = m_manager->get(request);
    if (options.allowRedirect)
        connect(reply, &QNetworkReply::redirected, reply,
                [reply, allow = options.allowRedirect](const QUrl& to) {
                    const QUrl next = reply->url().resolved(to);
                    if (allow(next)) {
                        emit reply->redirectAllowed();
                        return;
                    }
                    reply->setProperty(kRefusedRedirect, next);
                    reply->abort();
                });

    auto body = std::make_shared<QByteArray>();
    auto tooLarge = std::make_shared<bool>(false);
    const qsizetype cap = options.maxBytes;
    connect(reply, &QNetworkReply::readyRead, reply, [reply, body, tooLarge, cap] {
        if (*tooLarge)
            return;
        // Read what arrived now, so the cap also bounds decompressed data.
        if (body->size() + reply->bytesAvailable() > cap) {
            *tooLarge = true;
            body->clear();
            reply->abort();
            return;
        }
        body->append(reply->readAll());
    });
    connect(reply, &QNetworkReply::finished, this, [reply, body, tooLarge, cap, done = std::move(done)] {
        reply->deleteLater();
        HttpResult result;
        result.finalUrl = reply->url();
        if (const QUrl refused = reply->property(kRefusedRedirect).toUrl(); !refused.isEmpty()) {
            result.transportError = QStringLiteral("redirected to %1, which was refused")
                                        .arg(refused.toString(QUrl::FullyEncoded).left(200));
            result.failure = HttpResult::Failure::other;
            result.refusedRedirect = refused;
            done(std::move(result));
            return;
        }
        if (*tooLarge) {
            result.transportError = QStringLiteral("body larger than %1 bytes").arg(cap);
            result.failure = HttpResult::Failure::tooLarge;
            done(std::move(result));
            return;
        }
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid()) {
            result.status = status.toInt();
            if (body->size() + reply->bytesAvailable() > cap) {
                result.status.reset();
                result.transportError = QStringLiteral("body larger than %1 bytes").arg(cap);
                result.failure = HttpResult::Failure::tooLarge;
            } else {
                body->append(reply->readAll());
                result.body = std::move(*body);
            }
        } else {
            result.transportError = reply->errorString();
            if (result.transportError.isEmpty())
                result.transportError = QStringLiteral("no answer");
            result.failure = failureOf(reply->error());
        }
        done(std::move(result));
    });
}
