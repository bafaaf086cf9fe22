// quillbay-fetch: makes one HTTP or HTTPS request for the program and reports it back, so that the TLS
// libraries and the proxy resolver that a request loads end with this process instead of staying in the
// program for good. The request runs on HttpFetch's in-process form, so the statuses, failures and texts
// are the program's own.
//
// The program writes on standard input, one line each, in this order:
//   quillbay-fetch 1
//   method GET|POST
//   url ADDRESS               percent-encoded
//   idle MS                   the idle time-out
//   max BYTES                 the cap on the body, held while it streams
//   redirects ask             optional: each redirect is asked of the program before it is followed
//   header NAME: VALUE        any number of them; User-Agent and Content-Type
//   body N                    then N bytes of the request's body (0 for a GET)
// and then one line, "yes" or "no", for each "redirect" line it is sent.
//
// The helper writes on standard output, one line each but for the body:
//   alive                     at once and every second while it works, so that one that hangs is seen
//   redirect ADDRESS          where a redirect leads; the request waits for the answer
//   status CODE               the HTTP status, when the server answered (whatever the status)
//   failure KIND TEXT         when it did not: unreachable, timedOut, secureConnection, tooLarge or other
//   url ADDRESS               the address after redirects
//   refused ADDRESS           optional: the redirect the program refused
//   body N                    last: then the N bytes of the body, and nothing more
// SSL_CERT_FILE, when set, names a bundle of authorities trusted beside the system's.
// It exits 0 once it has answered, 2 on a request it cannot read, 1 when the program went away.
#include "services/HttpFetch.h"

#include <QCoreApplication>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>

#include <cerrno>
#include <limits>
#include <optional>

#include <unistd.h>

namespace {

constexpr qsizetype kMaxLine = 16 * 1024;
constexpr qsizetype kMaxRequestBody = 16 * 1024 * 1024;

// Standard input, read as it is needed: the request, then the answers to redirects.
class Input {
public:
    std::optional<QByteArray> line() {
        for (;;) {
            const qsizetype end = m_buffer.indexOf('\n');
            if (end >= 0) {
                QByteArray l = m_buffer.left(end);
                m_buffer.remove(0, end + 1);
                return l;
            }
            if (m_buffer.size() > kMaxLine || !fill())
                return std::nullopt;
        }
    }
    std::optional<QByteArray> bytes(qsizetype n) {
        while (m_buffer.size() < n)
            if (!fill())
                return std::nullopt;
        QByteArray b = m_buffer.left(n);
        m_buffer.remove(0, n);
        return b;
    }

private:
    bool fill() {
        char chunk[16384];
        for (;;) {
            const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
            if (n > 0) {
                m_buffer.append(chunk, n);
                return true;
            }
            if (n < 0 && errno == EINTR)
                continue;
            return false;
        }
    }
    QByteArray m_buffer;
};

// Everything or nothing: a program that stopped reading has gone, and so does this helper.
void out(const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ::_exit(1);
        p += n;
        left -= n;
    }
}

QByteArray oneLine(const QString& text) {
    QByteArray b = text.toUtf8().left(4096);
    b.replace('\n', ' ');
    b.replace('\r', ' ');
    return b;
}

struct Request {
    bool post = false;
    QUrl url;
    HttpFetch::Options options;
    bool askRedirects = false;
    QByteArray body;
};

std::optional<qlonglong> number(const QByteArray& text, qlonglong low, qlonglong high) {
    bool ok = false;
    const qlonglong n = text.toLongLong(&ok);
    if (!ok || n < low || n > high)
        return std::nullopt;
    return n;
}

std::optional<Request> readRequest(Input& in) {
    Request r;
    if (in.line() != QByteArray("quillbay-fetch 1"))
        return std::nullopt;
    for (;;) {
        const auto line = in.line();
        if (!line)
            return std::nullopt;
        const qsizetype space = line->indexOf(' ');
        const QByteArray key = line->left(space);
        const QByteArray value = space < 0 ? QByteArray() : line->mid(space + 1);
        if (key == "method" && (value == "GET" || value == "POST")) {
            r.post = value == "POST";
        } else if (key == "url") {
            r.url = QUrl::fromEncoded(value, QUrl::StrictMode);
            if (!r.url.isValid() ||
                (r.url.scheme() != QLatin1String("https") && r.url.scheme() != QLatin1String("http")))
                return std::nullopt;
        } else if (key == "idle") {
            const auto ms = number(value, 0, 24 * 3600 * 1000);
            if (!ms)
                return std::nullopt;
            r.options.idleTimeoutMs = int(*ms);
        } else if (key == "max") {
            const auto cap = number(value, 0, std::numeric_limits<qsizetype>::max() / 2);
            if (!cap)
                return std::nullopt;
            r.options.maxBytes = qsizetype(*cap);
        } else if (key == "redirects" && value == "ask") {
            r.askRedirects = true;
        } else if (key == "header") {
            const qsizetype colon = value.indexOf(": ");
            const QByteArray name = value.left(colon).toLower();
            const QByteArray content = value.mid(colon + 2);
            if (colon < 0)
                return std::nullopt;
            if (name == "user-agent")
                r.options.userAgent = content;
            else if (name == "content-type")
                r.options.contentType = content;
            else
                return std::nullopt;
        } else if (key == "body") {
            const auto size = number(value, 0, kMaxRequestBody);
            if (!size || r.url.isEmpty())
                return std::nullopt;
            const auto body = in.bytes(qsizetype(*size));
            if (!body)
                return std::nullopt;
            r.body = *body;
            return r;
        } else {
            return std::nullopt;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    Input in;
    std::optional<Request> request = readRequest(in);
    if (!request) {
        static const char message[] = "quillbay-fetch: the request could not be read\n";
        (void)!::write(STDERR_FILENO, message, sizeof message - 1);
        return 2;
    }
    QCoreApplication app(argc, argv);
    out("alive\n");
    // Qt's OpenSSL backend looks for authorities only in its own list of system folders; the standard
    // variable names one more bundle, trusted beside them, never instead of the checks.
    if (const QString bundle = qEnvironmentVariable("SSL_CERT_FILE"); !bundle.isEmpty()) {
        const QList<QSslCertificate> authorities = QSslCertificate::fromPath(bundle);
        if (!authorities.isEmpty()) {
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.addCaCertificates(authorities);
            QSslConfiguration::setDefaultConfiguration(tls);
        }
    }
    QTimer alive;
    QObject::connect(&alive, &QTimer::timeout, [] { out("alive\n"); });
    alive.start(1000);

    if (request->askRedirects)
        request->options.allowRedirect = [&in](const QUrl& to) {
            out("redirect " + to.toEncoded(QUrl::FullyEncoded) + '\n');
            const auto answer = in.line();
            if (!answer)
                ::_exit(1);
            return *answer == "yes";
        };
    HttpFetch fetch;
    auto answer = [](const HttpResult& r) {
        QByteArray head;
        if (r.status)
            head += "status " + QByteArray::number(*r.status) + '\n';
        else
            head += "failure " +
                    HttpFetch::failureName(r.failure == HttpResult::Failure::none ? HttpResult::Failure::other
                                                                                  : r.failure) +
                    ' ' + oneLine(r.transportError) + '\n';
        head += "url " + r.finalUrl.toEncoded(QUrl::FullyEncoded) + '\n';
        if (!r.refusedRedirect.isEmpty())
            head += "refused " + r.refusedRedirect.toEncoded(QUrl::FullyEncoded) + '\n';
        head += "body " + QByteArray::number(r.status ? r.body.size() : 0) + '\n';
        out(head);
        if (r.status)
            out(r.body);
        QCoreApplication::exit(0);
    };
    if (request->post)
        fetch.post(request->url, request->body, request->options, answer);
    else
        fetch.get(request->url, request->options, answer);
    return app.exec();
}
