// The fetch helper against loopback HTTPS servers: every outcome comes back as the request made in this
// process gives it, and a helper that is missing, killed, silent or talking nonsense is a clean failure.
#include "fakes/TestSupport.h"
#include "fakes/ThrowawayCA.h"
#include "services/HttpFetch.h"

#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_MOC_RUN
#include <httplib.h>
#endif

#include <condition_variable>
#include <csignal>
#include <memory>
#include <mutex>
#include <thread>

using Failure = HttpResult::Failure;
Q_DECLARE_METATYPE(HttpResult::Failure)

namespace {

// An HTTPS server with the answers these tests need: plain statuses, redirects, a body without end, an
// answer that stalls after its head, a connection cut short, and a POST that is echoed.
class Server {
public:
    Server(const QString& cert, const QString& key)
        : m_server(cert.toLocal8Bit().constData(), key.toLocal8Bit().constData()) {
        m_server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) { answer(req, res); });
        m_server.Post("/echo", [this](const httplib::Request& req, httplib::Response& res) {
            count(req.path);
            res.set_content(req.get_header_value("Content-Type") + '|' + req.get_header_value("User-Agent") +
                                '|' + req.body,
                            "text/plain");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port > 0)
            m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~Server() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }
    bool ok() const { return m_port > 0; }
    QUrl url(const QString& path) const {
        return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(m_port).arg(path));
    }
    int hits(const std::string& path) {
        std::lock_guard lock(m_mutex);
        return m_hits[path];
    }

private:
    void count(const std::string& path) {
        std::lock_guard lock(m_mutex);
        ++m_hits[path];
    }
    void answer(const httplib::Request& req, httplib::Response& res) {
        count(req.path);
        if (req.path == "/ok") {
            res.set_content("hello", "text/plain");
        } else if (req.path == "/missing") {
            res.status = 404;
            res.set_content("not here", "text/plain");
        } else if (req.path == "/broken") {
            res.status = 500;
            res.set_content("", "text/plain");
        } else if (req.path == "/hop") {
            res.set_redirect("/ok", 302);
        } else if (req.path == "/away") {
            res.set_redirect("/forbidden", 302);
        } else if (req.path == "/endless") {
            res.set_chunked_content_provider("application/octet-stream", [](size_t, httplib::DataSink& sink) {
                const std::string chunk(16384, 'x');
                return sink.write(chunk.data(), chunk.size());
            });
        } else if (req.path == "/stall") {
            res.set_chunked_content_provider("text/plain", [this](size_t, httplib::DataSink&) {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stopping; });
                return false;
            });
        } else if (req.path == "/cut") {
            res.set_content_provider(
                100000, "text/plain", [](size_t offset, size_t, httplib::DataSink& sink) {
                    if (offset > 0)
                        return false; // the connection ends short of the announced length
                    return sink.write("partial", 7);
                });
        } else {
            res.status = 404;
        }
    }

    httplib::SSLServer m_server;
    int m_port = -1;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::map<std::string, int> m_hits;
};

struct Request {
    QString path;
    qsizetype maxBytes = 1024 * 1024;
    int idleMs = 15000;
    bool refuseForbidden = false;
    QByteArray post; // a POST with this body when set
    bool untrusted = false;
};

} // namespace

Request req(const QString& path, qsizetype maxBytes = 1024 * 1024, int idleMs = 15000, bool refuse = false) {
    Request r;
    r.path = path;
    r.maxBytes = maxBytes;
    r.idleMs = idleMs;
    r.refuseForbidden = refuse;
    return r;
}

Q_DECLARE_METATYPE(Request)

class tst_FetchHelper : public QObject {
    Q_OBJECT

    ThrowawayCA m_ca;
    QTemporaryDir m_dir;
    std::unique_ptr<Server> m_server;
    std::unique_ptr<Server> m_untrusted; // a certificate no authority here vouches for

    QUrl urlOf(const Request& r) const { return (r.untrusted ? m_untrusted : m_server)->url(r.path); }

    static std::optional<HttpResult> fetch(HttpFetch& f, const QUrl& url, const Request& r,
                                           int waitMs = 60000) {
        HttpFetch::Options options;
        options.maxBytes = r.maxBytes;
        options.idleTimeoutMs = r.idleMs;
        options.userAgent = "Quillbay-test";
        if (r.refuseForbidden)
            options.allowRedirect = [](const QUrl& to) { return to.path() != QLatin1String("/forbidden"); };
        std::optional<HttpResult> result;
        auto done = [&result](HttpResult got) { result = std::move(got); };
        if (r.post.isNull()) {
            f.get(url, options, done);
        } else {
            options.contentType = "application/json";
            f.post(url, r.post, options, done);
        }
        if (result) // `done` always comes later
            return std::nullopt;
        TestSupport::pollUntil([&] { return result.has_value(); }, waitMs, 20);
        return result;
    }
    QString script(const QString& name, const QByteArray& body) {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write("#!/bin/sh\n" + body);
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return path;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_ca.make());
        // The helper is a process of its own: the authority reaches it through the standard variable.
        qputenv("SSL_CERT_FILE", m_ca.caFile().toLocal8Bit());
        m_server = std::make_unique<Server>(m_ca.certFile(), m_ca.keyFile());
        QVERIFY(m_server->ok());
        QProcess openssl;
        openssl.setWorkingDirectory(m_dir.path());
        openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                  "-nodes", "-keyout", "self.key", "-out", "self.pem", "-days", "2", "-subj",
                                  "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"});
        QVERIFY(openssl.waitForFinished(30000) && openssl.exitCode() == 0);
        m_untrusted = std::make_unique<Server>(m_dir.filePath("self.pem"), m_dir.filePath("self.key"));
        QVERIFY(m_untrusted->ok());
    }

    void sameAnswerEitherWay_data() {
        QTest::addColumn<Request>("request");
        QTest::addColumn<int>("status"); // 0: none
        QTest::addColumn<HttpResult::Failure>("failure");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("finalPath");
        QTest::newRow("200 with body") << req("/ok") << 200 << Failure::none << QByteArray("hello") << "/ok";
        QTest::newRow("404") << req("/missing") << 404 << Failure::none << QByteArray("not here")
                             << "/missing";
        QTest::newRow("500, empty body")
            << req("/broken") << 500 << Failure::none << QByteArray() << "/broken";
        QTest::newRow("redirect followed")
            << req("/hop", 1024, 15000, true) << 200 << Failure::none << QByteArray("hello") << "/ok";
        QTest::newRow("redirect refused")
            << req("/away", 1024, 15000, true) << 0 << Failure::other << QByteArray() << "/forbidden";
        QTest::newRow("body past the cap while it streams")
            << req("/endless", 100000) << 0 << Failure::tooLarge << QByteArray() << "/endless";
        QTest::newRow("body exactly the cap")
            << req("/ok", 5) << 200 << Failure::none << QByteArray("hello") << "/ok";
        QTest::newRow("body one past the cap")
            << req("/ok", 4) << 0 << Failure::tooLarge << QByteArray() << "/ok";
        QTest::newRow("idle time-out")
            << req("/stall", 1024, 1500) << 0 << Failure::timedOut << QByteArray() << "/stall";
        Request untrusted = req("/ok");
        untrusted.untrusted = true;
        QTest::newRow("untrusted certificate")
            << untrusted << 0 << Failure::secureConnection << QByteArray() << "/ok";
        Request post = req("/echo");
        post.post = R"({"a":1})";
        QTest::newRow("POST with body and headers")
            << post << 200 << Failure::none << QByteArray(R"(application/json|Quillbay-test|{"a":1})")
            << "/echo";
    }
    void sameAnswerEitherWay() {
        QFETCH(Request, request);
        QFETCH(int, status);
        QFETCH(HttpResult::Failure, failure);
        QFETCH(QByteArray, body);
        QFETCH(QString, finalPath);
        HttpFetch here;
        HttpFetch helper(QStringLiteral(QUILLBAY_FETCH), nullptr);
        QVERIFY(!here.outOfProcess());
        QVERIFY(helper.outOfProcess());
        const auto a = fetch(here, urlOf(request), request);
        const auto b = fetch(helper, urlOf(request), request);
        QVERIFY(a && b);
        for (const HttpResult* r : {&*a, &*b}) {
            QCOMPARE(r->status.value_or(0), status);
            QCOMPARE(r->failure, failure);
            QCOMPARE(r->body, body);
            QCOMPARE(r->finalUrl.path(), finalPath);
            QCOMPARE(r->transportError.isEmpty(), failure == Failure::none);
        }
        QCOMPARE(b->transportError, a->transportError);
        QCOMPARE(b->finalUrl, a->finalUrl);
        QCOMPARE(b->refusedRedirect, a->refusedRedirect);
        if (request.refuseForbidden && status == 0) {
            QCOMPARE(b->refusedRedirect.path(), QString("/forbidden"));
            QCOMPARE(m_server->hits("/forbidden"), 0); // nothing was asked of the refused address
        }
    }

    // A connection that ends inside the body, or a server that is not there, is never an answer, nor is a
    // body the idle time-out cut short (the "idle time-out" row above stalls after the head).
    void droppedOrAbsentServer() {
        HttpFetch here;
        HttpFetch helper(QStringLiteral(QUILLBAY_FETCH), nullptr);
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const QUrl nobody(QStringLiteral("https://127.0.0.1:%1/").arg(closed.serverPort()));
        closed.close();
        for (const QUrl& url : {m_server->url("/cut"), nobody}) {
            const auto a = fetch(here, url, Request());
            const auto b = fetch(helper, url, Request());
            QVERIFY(a && b);
            QCOMPARE(b->status, a->status);
            QCOMPARE(b->failure, a->failure);
            QCOMPARE(b->transportError, a->transportError);
            QCOMPARE(b->body, a->body);
        }
        const auto cut = fetch(helper, m_server->url("/cut"), Request());
        QVERIFY(cut);
        QCOMPARE(cut->failure, Failure::unreachable);
        QVERIFY(!cut->status);
        const auto refused = fetch(helper, nobody, Request());
        QVERIFY(refused);
        QCOMPARE(refused->failure, Failure::unreachable);
    }

    // Where the helper is not installed, the request is made in this process and still answered.
    void missingHelperFallsBack() {
        HttpFetch fetch_(m_dir.filePath("no-such-helper"), nullptr);
        QVERIFY(!fetch_.outOfProcess());
        const QString plain = script("plain-file", "");
        QVERIFY(QFile::setPermissions(plain, QFileDevice::ReadOwner));
        HttpFetch notExecutable(plain, nullptr);
        QVERIFY(!notExecutable.outOfProcess());
        const auto r = fetch(fetch_, m_server->url("/ok"), req("/ok"));
        QVERIFY(r);
        QCOMPARE(r->status.value_or(0), 200);
        QCOMPARE(r->body, QByteArray("hello"));
    }

    // A helper killed while it waits for the server is a failure of its own, and comes back once.
    void helperKilledMidRequest() {
        HttpFetch helper(QStringLiteral(QUILLBAY_FETCH), nullptr);
        int calls = 0;
        std::optional<HttpResult> result;
        HttpFetch::Options options;
        helper.get(m_server->url("/stall"), options, [&](HttpResult r) {
            ++calls;
            result = std::move(r);
        });
        const int before = m_server->hits("/stall");
        QVERIFY(TestSupport::pollUntil([&] { return m_server->hits("/stall") > before; }, 30000, 20));
        auto* process = helper.findChild<QProcess*>();
        QVERIFY(process && process->processId() > 0);
        ::kill(pid_t(process->processId()), SIGKILL);
        QVERIFY(TestSupport::pollUntil([&] { return result.has_value(); }, 30000, 20));
        QCOMPARE(result->failure, Failure::other);
        QVERIFY2(result->transportError.contains("fetch helper"), qPrintable(result->transportError));
        QVERIFY(!result->status);
        QCoreApplication::processEvents();
        QCOMPARE(calls, 1);
    }

    // Gone before the answer: `done` never runs and the helper does not outlive it.
    void ownerGoneFirst() {
        bool called = false;
        auto helper = std::make_unique<HttpFetch>(QStringLiteral(QUILLBAY_FETCH), nullptr);
        const int before = m_server->hits("/stall");
        helper->get(m_server->url("/stall"), {}, [&](HttpResult) { called = true; });
        QVERIFY(TestSupport::pollUntil([&] { return m_server->hits("/stall") > before; }, 30000, 20));
        const qint64 pid = helper->findChild<QProcess*>()->processId();
        helper.reset();
        QVERIFY(::kill(pid_t(pid), 0) != 0);
        QCoreApplication::processEvents();
        QVERIFY(!called);
    }

    // Whatever a helper writes, the answer is bounded and clean: never a crash, a hang or a result made
    // up from nonsense.
    void badHelpers_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("idleMs");
        QTest::addColumn<QString>("text");
        const QString unreadable = "the fetch helper's answer could not be read";
        QTest::newRow("a line it does not know")
            << QByteArray("echo 'hello there'\ncat >/dev/null\n") << 15000 << unreadable;
        QTest::newRow("body past the cap")
            << QByteArray("printf 'status 200\\nurl https://127.0.0.1/\\nbody 99999\\n'\n"
                          "head -c 99999 /dev/zero\ncat >/dev/null\n")
            << 15000 << unreadable;
        QTest::newRow("status and failure both")
            << QByteArray("printf 'status 200\\nfailure other x\\nurl https://127.0.0.1/\\nbody 0\\n'\ncat "
                          ">/dev/null\n")
            << 15000 << unreadable;
        QTest::newRow("a failure without a name")
            << QByteArray(
                   "printf 'failure nonsense x\\nurl https://127.0.0.1/\\nbody 0\\n'\ncat >/dev/null\n")
            << 15000 << unreadable;
        QTest::newRow("a redirect it was not asked about")
            << QByteArray("printf 'redirect https://127.0.0.2/\\n'\ncat >/dev/null\n") << 15000 << unreadable;
        QTest::newRow("a line without end") << QByteArray("exec cat /dev/zero\n") << 15000 << unreadable;
        QTest::newRow("exits without an answer")
            << QByteArray("exit 3\n") << 15000 << "the fetch helper ended without an answer (exit code 3)";
        QTest::newRow("body shorter than announced")
            << QByteArray("printf 'status 200\\nurl https://127.0.0.1/\\nbody 10\\nabc'\n") << 15000
            << "the fetch helper ended without an answer (exit code 0)";
        QTest::newRow("hangs")
            << QByteArray("exec sleep 600\n") /* never answers: the hang under test */ << 200
            << "the fetch helper stopped answering";
    }
    void badHelpers() {
        QFETCH(QByteArray, body);
        QFETCH(int, idleMs);
        QFETCH(QString, text);
        const QString path =
            script(QString("helper-%1").arg(QTest::currentDataTag()).replace(' ', '-'), body);
        HttpFetch helper(path, nullptr);
        QVERIFY(helper.outOfProcess());
        const Request r = req("/ok", 1000, idleMs);
        const auto result = fetch(helper, m_server->url("/ok"), r, 60000);
        QVERIFY(result);
        QCOMPARE(result->failure, Failure::other);
        QCOMPARE(result->transportError, text);
        QVERIFY(!result->status);
        QVERIFY(result->body.isEmpty());
        // Its process is gone, not left behind.
        QVERIFY(TestSupport::pollUntil([&] { return !helper.findChild<QProcess*>(); }, 30000, 20));
    }
};

QTEST_GUILESS_MAIN(tst_FetchHelper)
#include "tst_FetchHelper.moc"
