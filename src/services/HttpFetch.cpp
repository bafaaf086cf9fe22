// Replies carry their status even when Qt flags 4xx/5xx as errors; only a reply without one failed in
// transport. The helper's line protocol is described in tools/fetch/main.cpp.
#include "services/HttpFetch.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QProcess>
#include <QTimer>

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
    : QObject(parent) {}

HttpFetch::HttpFetch(const QString& helper, QObject* parent)
    : QObject(parent) {
    if (!helper.isEmpty() && QFileInfo(helper).isExecutable() && QFileInfo(helper).isFile())
        m_helper = helper;
}

HttpFetch::~HttpFetch() {
    // A helper still at work is of no use to anyone now: stopped here, so that it outlives no one.
    for (QProcess* process : findChildren<QProcess*>(Qt::FindDirectChildrenOnly)) {
        process->disconnect();
        process->kill();
        process->waitForFinished(2000);
    }
}

void HttpFetch::get(const QUrl& url, const Options& options, std::function<void(HttpResult)> done) {
    if (outOfProcess())
        throughHelper(url, nullptr, options, std::move(done));
    else
        inProcess(url, nullptr, options, std::move(done));
}

void HttpFetch::post(const QUrl& url, const QByteArray& body, const Options& options,
                     std::function<void(HttpResult)> done) {
    if (outOfProcess())
        throughHelper(url, &body, options, std::move(done));
    else
        inProcess(url, &body, options, std::move(done));
}

QByteArray HttpFetch::failureName(HttpResult::Failure failure) {
    using F = HttpResult::Failure;
    switch (failure) {
    case F::none:
        return "none";
    case F::unreachable:
        return "unreachable";
    case F::timedOut:
        return "timedOut";
    case F::secureConnection:
        return "secureConnection";
    case F::tooLarge:
        return "tooLarge";
    case F::other:
        break;
    }
    return "other";
}

std::optional<HttpResult::Failure> HttpFetch::failureFromName(const QByteArray& name) {
    using F = HttpResult::Failure;
    for (F f : {F::none, F::unreachable, F::timedOut, F::secureConnection, F::tooLarge, F::other})
        if (failureName(f) == name)
            return f;
    return std::nullopt;
}

void HttpFetch::inProcess(const QUrl& url, const QByteArray* body_, const Options& options,
                          std::function<void(HttpResult)> done) {
    if (!m_manager)
        m_manager = new QNetworkAccessManager(this);
    QNetworkRequest request(url);
    if (!options.userAgent.isEmpty())
        request.setHeader(QNetworkRequest::UserAgentHeader, options.userAgent);
    if (!options.contentType.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, options.contentType);
    request.setTransferTimeout(options.idleTimeoutMs);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, true);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    if (options.allowRedirect)
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::UserVerifiedRedirectPolicy);
    QNetworkReply* reply = body_ ? m_manager->post(request, *body_) : m_manager->get(request);
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
        // A transport error after the head (the idle time-out, a dropped connection) leaves the body
        // short: that is no answer, whatever the status said. Qt numbers those errors below 200.
        const bool cutShort = reply->error() != QNetworkReply::NoError && reply->error() < 200;
        if (status.isValid() && !cutShort) {
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

namespace {

// The longest line the helper may send before its body, and how long past the request's own idle
// time-out a silent helper is given before it is taken for hung.
constexpr qsizetype kMaxHelperLine = 16 * 1024;
constexpr int kHelperGraceMs = 10000;

// One request's conversation with its helper: the helper's lines, then its body.
struct HelperRun {
    QByteArray pending; // received, not yet taken
    HttpResult result;
    bool haveUrl = false;
    std::optional<qsizetype> bodyLeft; // set by the "body" line
    bool delivered = false;
    std::function<void(HttpResult)> done;
};

HttpResult helperFailure(const QString& text) {
    HttpResult r;
    r.failure = HttpResult::Failure::other;
    r.transportError = text;
    return r;
}

} // namespace

void HttpFetch::throughHelper(const QUrl& url, const QByteArray* body, const Options& options,
                              std::function<void(HttpResult)> done) {
    auto* process = new QProcess(this);
    process->setProgram(m_helper);
    // Its warnings go where this program's go; nothing of them is kept here.
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    auto run = std::make_shared<HelperRun>();
    run->done = std::move(done);
    auto* watchdog = new QTimer(process);
    watchdog->setSingleShot(true);
    watchdog->setInterval(std::max(0, options.idleTimeoutMs) + kHelperGraceMs);

    const QPointer<HttpFetch> self(this);
    const qsizetype cap = options.maxBytes;
    auto deliver = [self, run, process, watchdog](HttpResult result) {
        if (run->delivered)
            return;
        run->delivered = true;
        watchdog->stop();
        // Nothing more is read from it; it has nothing more to say that could count.
        process->closeReadChannel(QProcess::StandardOutput);
        if (process->state() != QProcess::NotRunning)
            process->kill();
        if (!self)
            return;
        QMetaObject::invokeMethod(
            self.data(), [run, result = std::move(result)]() mutable { run->done(std::move(result)); },
            Qt::QueuedConnection);
    };
    auto garbage = [deliver] {
        deliver(helperFailure(QStringLiteral("the fetch helper's answer could not be read")));
    };

    // Takes one line of the helper's head; false when it is not one the protocol knows.
    auto takeLine = [run, process, cap, allow = options.allowRedirect](const QByteArray& line) {
        const qsizetype space = line.indexOf(' ');
        const QByteArray key = space < 0 ? line : line.left(space);
        const QByteArray value = space < 0 ? QByteArray() : line.mid(space + 1);
        if (key == "alive")
            return true;
        if (key == "redirect") {
            const QUrl to(QString::fromUtf8(value), QUrl::StrictMode);
            if (!allow || !to.isValid())
                return false;
            process->write(allow(to) ? "yes\n" : "no\n");
            return true;
        }
        if (key == "status") {
            bool ok = false;
            const int status = value.toInt(&ok);
            if (!ok || status < 100 || status > 999 || run->result.status)
                return false;
            run->result.status = status;
            return true;
        }
        if (key == "failure") {
            const qsizetype gap = value.indexOf(' ');
            const auto failure = HttpFetch::failureFromName(gap < 0 ? value : value.left(gap));
            if (!failure || *failure == HttpResult::Failure::none)
                return false;
            run->result.failure = *failure;
            run->result.transportError = gap < 0 ? QString() : QString::fromUtf8(value.mid(gap + 1));
            if (run->result.transportError.isEmpty())
                run->result.transportError = QStringLiteral("no answer");
            return true;
        }
        if (key == "url" || key == "refused") {
            const QUrl u(QString::fromUtf8(value), QUrl::StrictMode);
            if (!value.isEmpty() && !u.isValid())
                return false;
            (key == "url" ? run->result.finalUrl : run->result.refusedRedirect) = u;
            run->haveUrl = run->haveUrl || key == "url";
            return true;
        }
        if (key == "body") {
            bool ok = false;
            const qlonglong size = value.toLongLong(&ok);
            // An answer has a status or a failure, never both; a body is never larger than the cap.
            const bool answered = run->result.status.has_value();
            const bool failed = run->result.failure != HttpResult::Failure::none;
            if (!ok || size < 0 || size > cap || answered == failed || !run->haveUrl || (failed && size > 0))
                return false;
            run->bodyLeft = qsizetype(size);
            run->result.body.reserve(qsizetype(size));
            return true;
        }
        return false;
    };

    auto readOutput = [run, process, watchdog, deliver, garbage, takeLine] {
        if (run->delivered)
            return;
        watchdog->start();
        run->pending += process->readAllStandardOutput();
        while (!run->delivered) {
            if (run->bodyLeft) {
                const qsizetype n = std::min(*run->bodyLeft, run->pending.size());
                run->result.body += run->pending.left(n);
                run->pending.remove(0, n);
                *run->bodyLeft -= n;
                if (*run->bodyLeft == 0)
                    deliver(std::move(run->result));
                return;
            }
            const qsizetype end = run->pending.indexOf('\n');
            if (end < 0) {
                if (run->pending.size() > kMaxHelperLine)
                    garbage();
                return;
            }
            const QByteArray line = run->pending.left(end);
            run->pending.remove(0, end + 1);
            if (line.size() > kMaxHelperLine || !takeLine(line)) {
                garbage();
                return;
            }
        }
    };
    connect(process, &QProcess::readyReadStandardOutput, process, readOutput);
    connect(
        process, &QProcess::finished, process,
        [run, process, deliver, readOutput](int code, QProcess::ExitStatus status) {
            readOutput();
            process->deleteLater();
            deliver(helperFailure(
                status == QProcess::CrashExit
                    ? QStringLiteral("the fetch helper ended without an answer: it crashed")
                    : QStringLiteral("the fetch helper ended without an answer (exit code %1)").arg(code)));
        });
    connect(process, &QProcess::errorOccurred, process, [process, deliver](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        process->deleteLater();
        deliver(helperFailure(
            QStringLiteral("the fetch helper could not be started: %1").arg(process->errorString())));
    });
    connect(watchdog, &QTimer::timeout, process,
            [deliver] { deliver(helperFailure(QStringLiteral("the fetch helper stopped answering"))); });

    QByteArray request = "quillbay-fetch 1\n";
    request += "method " + QByteArray(body ? "POST" : "GET") + '\n';
    request += "url " + url.toEncoded(QUrl::FullyEncoded) + '\n';
    request += "idle " + QByteArray::number(options.idleTimeoutMs) + '\n';
    request += "max " + QByteArray::number(options.maxBytes) + '\n';
    if (options.allowRedirect)
        request += "redirects ask\n";
    // Header values come from this program, never from a server; a line break would end the line early.
    auto header = [&request](const QByteArray& name, const QByteArray& value) {
        if (!value.isEmpty() && !value.contains('\n') && !value.contains('\r'))
            request += "header " + name + ": " + value + '\n';
    };
    header("User-Agent", options.userAgent);
    header("Content-Type", options.contentType);
    request += "body " + QByteArray::number(body ? body->size() : 0) + '\n';
    if (body)
        request += *body;
    process->start(QIODevice::ReadWrite);
    process->write(request);
    watchdog->start();
}
