// GET requests on one QNetworkAccessManager, classified by HTTP status rather than by Qt's error codes,
// with an idle time-out and a cap on the body that holds while it streams.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;

struct HttpResult {
    // Why there was no HTTP answer, in the terms a message to the user needs.
    enum class Failure {
        none,
        unreachable,      // no route, no name, refused, dropped
        timedOut,         // nothing arrived for the idle time-out
        secureConnection, // the TLS handshake failed, the certificate was refused among others
        tooLarge,         // the body passed the cap
        other,
    };

    std::optional<int> status; // present whenever the server answered over HTTP, whatever the status
    QByteArray body;
    QUrl finalUrl;                   // after redirects
    QString transportError;          // set only when there was no HTTP answer (refused, timed out, too large)
    Failure failure = Failure::none; // set with transportError
    QUrl refusedRedirect;            // a redirect that `allowRedirect` refused, with failure `other`
    bool ok() const { return status && *status >= 200 && *status <= 299; }
};

class HttpFetch : public QObject {
    Q_OBJECT
public:
    struct Options {
        QByteArray userAgent;
        int idleTimeoutMs = 15000;
        qsizetype maxBytes = 10 * 1024 * 1024;
        // When set, a redirect is followed only to an address it accepts; otherwise the request ends
        // there, before anything is asked of that address, as a transport failure.
        std::function<bool(const QUrl&)> allowRedirect;
    };

    explicit HttpFetch(QObject* parent = nullptr);
    ~HttpFetch() override;

    // Starts the request; `done` runs later on this object's thread, unless this object is gone.
    void get(const QUrl& url, const Options& options, std::function<void(HttpResult)> done);

private:
    QNetworkAccessManager* m_manager;
};
