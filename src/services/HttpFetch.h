// GET and POST requests, classified by HTTP status rather than by Qt's error codes, with an idle time-out
// and a cap on the body that holds while it streams. Either on one QNetworkAccessManager in this process,
// or through the quillbay-fetch helper, one child process a request, so that the TLS libraries and the
// proxy resolver stay out of this process.
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
        QByteArray contentType; // of a POST's body
        int idleTimeoutMs = 15000;
        qsizetype maxBytes = 10 * 1024 * 1024;
        // When set, a redirect is followed only to an address it accepts; otherwise the request ends
        // there, before anything is asked of that address, as a transport failure.
        std::function<bool(const QUrl&)> allowRedirect;
    };

    // In this process.
    explicit HttpFetch(QObject* parent = nullptr);
    // Through `helper` (the quillbay-fetch program) when it is an executable file; in this process
    // otherwise.
    HttpFetch(const QString& helper, QObject* parent);
    ~HttpFetch() override;

    bool outOfProcess() const { return !m_helper.isEmpty(); }

    // Starts the request; `done` runs later on this object's thread, unless this object is gone.
    void get(const QUrl& url, const Options& options, std::function<void(HttpResult)> done);
    void post(const QUrl& url, const QByteArray& body, const Options& options,
              std::function<void(HttpResult)> done);

    // The words that name each failure between the program and its helper.
    static QByteArray failureName(HttpResult::Failure failure);
    static std::optional<HttpResult::Failure> failureFromName(const QByteArray& name);

private:
    void inProcess(const QUrl& url, const QByteArray* body, const Options& options,
                   std::function<void(HttpResult)> done);
    void throughHelper(const QUrl& url, const QByteArray* body, const Options& options,
                       std::function<void(HttpResult)> done);

    QString m_helper;
    QNetworkAccessManager* m_manager = nullptr; // made on the first request in this process
};
