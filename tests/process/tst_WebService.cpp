// quillbay-web as a real process on loopback HTTPS: each route, refused report bodies, and reports sent
// by other processes under load, with and without a SIGTERM in the middle: every report answered 200 is
// stored once, none twice. Slow clients that trickle their request in cannot starve anyone else, the
// request log cannot be forged, and the reports stay owner-only. Downloads are streamed with at most one
// range (a list of ranges gets the file once), a reader slower than the floor is cut, and connections
// that never speak cannot hold every place.
#include "ReportStore.h"
#include "WebService.h"
#include "fakes/RawTlsClient.h"
#include "fakes/ReportBurst.h"
#include "fakes/SlowHttpsClient.h"
#include "fakes/ThrowawayCA.h"

#include <httplib.h>
#include <openssl/ssl.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <QElapsedTimer>

#include <atomic>
#include <memory>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

class tst_WebService : public QObject {
    Q_OBJECT

    ThrowawayCA m_ca;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_server;
    int m_port = 0;

    QString path(const QString& n) const { return m_dir->filePath(n); }
    static bool writeFile(const QString& p, const QByteArray& data) {
        QDir().mkpath(QFileInfo(p).path());
        QFile f(p);
        return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
    }

    bool startServer() {
        m_server = std::make_unique<QProcess>();
        m_server->start(QUILLBAY_WEB, {"--listen", "127.0.0.1:0", "--cert", m_ca.certFile(), "--key",
                                       m_ca.keyFile(), "--root", path("root"), "--db", path("reports.db")});
        if (!m_server->waitForStarted(10000))
            return false;
        QByteArray out;
        if (!QTest::qWaitFor(
                [&] {
                    out += m_server->readAllStandardOutput();
                    return out.contains('\n') || m_server->state() != QProcess::Running;
                },
                20000))
            return false;
        const auto m = QRegularExpression("listening on 127.0.0.1:(\\d+)").match(QString::fromUtf8(out));
        m_port = m.hasMatch() ? m.captured(1).toInt() : 0;
        return m_port > 0;
    }
    QString url(const QString& p) const { return QString("https://127.0.0.1:%1%2").arg(m_port).arg(p); }

    struct Reply {
        int status = 0;
        QByteArray body;
        QByteArray headers;
    };
    // One request through curl, a client of its own (not the one the program uses).
    Reply curl(const QStringList& extra, const QString& target) {
        QProcess p;
        p.start("curl", QStringList{"-s", "--path-as-is", "--cacert", m_ca.caFile(), "-D", path("headers"),
                                    "-o", path("body"), "-w", "%{http_code}"} +
                            extra + QStringList{target});
        Reply r;
        if (!p.waitForFinished(30000))
            return r;
        r.status = p.readAllStandardOutput().toInt();
        QFile b(path("body")), h(path("headers"));
        if (b.open(QIODevice::ReadOnly))
            r.body = b.readAll();
        if (h.open(QIODevice::ReadOnly))
            r.headers = h.readAll().toLower();
        QFile::remove(path("body"));
        return r;
    }
    Reply post(const QByteArray& body, const QString& type = "application/json") {
        writeFile(path("post"), body);
        return curl({"-H", "Content-Type: " + type, "--data-binary", "@" + path("post")},
                    url("/api/telemetry"));
    }
    qint64 stored() {
        ReportStore store(path("reports.db").toStdString());
        return store.count();
    }
    QByteArray allStoredText() {
        sqlite3* db = nullptr;
        QByteArray out;
        if (sqlite3_open_v2(QFile::encodeName(path("reports.db")).constData(), &db, SQLITE_OPEN_READONLY,
                            nullptr) == SQLITE_OK) {
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(db, "SELECT * FROM reports", -1, &st, nullptr);
            while (st && sqlite3_step(st) == SQLITE_ROW)
                for (int i = 0; i < sqlite3_column_count(st); ++i)
                    out += reinterpret_cast<const char*>(sqlite3_column_text(st, i)) + QByteArray("|");
            sqlite3_finalize(st);
        }
        sqlite3_close(db);
        return out;
    }
    qint64 distinctStored() {
        sqlite3* db = nullptr;
        qint64 n = -1;
        if (sqlite3_open_v2(QFile::encodeName(path("reports.db")).constData(), &db, SQLITE_OPEN_READONLY,
                            nullptr) == SQLITE_OK) {
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM (SELECT DISTINCT anon, opens FROM reports)", -1,
                                   &st, nullptr) == SQLITE_OK &&
                sqlite3_step(st) == SQLITE_ROW)
                n = sqlite3_column_int64(st, 0);
            sqlite3_finalize(st);
        }
        sqlite3_close(db);
        return n;
    }
    static QByteArray report(const QByteArray& anon = "0123456789abcdef") {
        return "{\"anon\":\"" + anon +
               "\",\"version\":\"1.2.0\",\"macos\":\"12\",\"notch\":false,\"minutes\":3,\"opens\":2,"
               "\"tabs\":{\"kit\":1}}";
    }
    // A shell loop posting `count` distinct reports; prints one HTTP status per line.
    QProcess* loadWorker(int worker, int count) {
        auto* p = new QProcess(this);
        const QString script =
            QString("for i in $(seq 1 %1); do "
                    "printf '{\"anon\":\"%2\",\"version\":\"1\",\"macos\":\"12\",\"notch\":true,"
                    "\"minutes\":0,\"opens\":%s,\"tabs\":{}}' $i > '%3';"
                    "curl -s -o /dev/null -w '%{http_code}\\n' --max-time 20 --cacert '%4' "
                    "-H 'Content-Type: application/json' --data-binary @'%3' '%5'; done")
                .arg(count)
                .arg(QString("%1").arg(worker, 16, 16, QChar('0')))
                .arg(path(QString("body-%1").arg(worker)), m_ca.caFile(), url("/api/telemetry"));
        p->start("/bin/sh", {"-c", script});
        return p;
    }

    static QByteArray reportHead(const QByteArray& framing) {
        return "POST /api/telemetry HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n" +
               framing + "\r\n";
    }
    static QByteArray chunked(const QByteArray& body, int size) {
        QByteArray out;
        for (int at = 0; at < body.size(); at += size) {
            const QByteArray piece = body.mid(at, size);
            out += QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
        }
        return out;
    }
    QByteArray serverLog() {
        m_server->terminate();
        if (!m_server->waitForFinished(20000))
            return {};
        return m_server->readAllStandardOutput();
    }

private slots:
    void initTestCase() {
        // The slow clients write to connections the server has cut.
        ::signal(SIGPIPE, SIG_IGN);
        QVERIFY(m_ca.make());
    }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(writeFile(path("root/version.json"), "{\"version\":\"1.3.0\"}"));
        QVERIFY(writeFile(path("root/downloads/Quillbay-1.3.0-linux-x86_64.tar.xz"), QByteArray(70000, 'z')));
        QVERIFY(writeFile(path("root/secret.txt"), "secret"));
        QVERIFY(startServer());
    }
    void cleanup() {
        if (m_server && m_server->state() == QProcess::Running) {
            m_server->terminate();
            QVERIFY(m_server->waitForFinished(20000));
        }
        m_server.reset();
    }

    void routes_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("bodyStart");
        QTest::newRow("manifest") << "/version.json" << 200 << QByteArray("{\"version\":\"1.3.0\"}");
        QTest::newRow("download") << "/downloads/Quillbay-1.3.0-linux-x86_64.tar.xz" << 200
                                  << QByteArray("zzzz");
        QTest::newRow("privacy page") << "/privacy.html" << 200 << QByteArray("<!doctype html>");
        QTest::newRow("missing download") << "/downloads/none.tar.xz" << 404 << QByteArray();
        QTest::newRow("dot-dot out of downloads") << "/downloads/../secret.txt" << 404 << QByteArray();
        QTest::newRow("encoded dot-dot") << "/downloads/%2e%2e/secret.txt" << 404 << QByteArray();
        QTest::newRow("unknown path") << "/secret.txt" << 404 << QByteArray();
    }
    void routes() {
        QFETCH(QString, target);
        QFETCH(int, status);
        QFETCH(QByteArray, bodyStart);
        const Reply r = curl({}, url(target));
        QCOMPARE(r.status, status);
        QVERIFY(r.body.startsWith(bodyStart));
        QVERIFY(!r.body.contains("secret"));
        if (target == "/version.json") {
            QVERIFY(r.headers.contains("cache-control: no-store"));
            QVERIFY(r.headers.contains("content-type: application/json"));
        }
        if (status == 200 && target.startsWith("/downloads/"))
            QCOMPARE(r.body.size(), 70000);
    }

    void reportStored() {
        const Reply r = post(report());
        QCOMPARE(r.status, 200);
        QCOMPARE(stored(), 1);
        // The sender's address is kept nowhere: not in the table, not in the log.
        QVERIFY(!allStoredText().contains("127.0.0.1"));
        m_server->terminate();
        QVERIFY(m_server->waitForFinished(20000));
        const QByteArray log = m_server->readAllStandardOutput();
        QVERIFY2(log.contains("POST /api/telemetry 200"), log.constData());
        QVERIFY(!log.contains("127.0.0.1 "));
        QVERIFY(log.endsWith("stopped\n"));
    }

    void badReports_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("type");
        const QByteArray good = report();
        auto with = [&](const QByteArray& from, const QByteArray& to) {
            return QByteArray(good).replace(from, to);
        };
        QTest::newRow("wrong content type") << good << "text/plain";
        QTest::newRow("form content type") << good << "application/x-www-form-urlencoded";
        QTest::newRow("over 64 KiB") << with("\"kit\":1", "\"kit\":1,\"" + QByteArray(70000, 'k') + "\":1")
                                     << "application/json";
        QTest::newRow("far over 64 KiB") << QByteArray(300000, ' ') + good << "application/json";
        QTest::newRow("not json") << QByteArray("anon=1") << "application/json";
        QTest::newRow("array") << QByteArray("[1,2]") << "application/json";
        QTest::newRow("extra key") << with("\"tabs\"", "\"ip\":\"1.2.3.4\",\"tabs\"") << "application/json";
        QTest::newRow("missing key") << with(",\"notch\":false", "") << "application/json";
        QTest::newRow("anon upper case") << report("0123456789ABCDEF") << "application/json";
        QTest::newRow("anon short") << report("0123") << "application/json";
        QTest::newRow("negative minutes") << with("\"minutes\":3", "\"minutes\":-3") << "application/json";
        QTest::newRow("fractional opens") << with("\"opens\":2", "\"opens\":2.5") << "application/json";
        QTest::newRow("notch as text") << with("\"notch\":false", "\"notch\":\"no\"") << "application/json";
        QTest::newRow("tab count as text") << with("\"kit\":1", "\"kit\":\"1\"") << "application/json";
        QTest::newRow("tabs as array") << with("{\"kit\":1}", "[1]") << "application/json";
        QTest::newRow("version as number")
            << with("\"version\":\"1.2.0\"", "\"version\":120") << "application/json";
    }
    void badReports() {
        QFETCH(QByteArray, body);
        QFETCH(QString, type);
        const Reply r = post(body, type);
        // Too large is told apart from malformed, and from the head alone.
        QCOMPARE(r.status, size_t(body.size()) > WebService::kMaxReportBytes ? 413 : 400);
        QCOMPARE(stored(), 0);
        // The service keeps serving.
        QCOMPARE(post(report()).status, 200);
        QCOMPARE(stored(), 1);
    }

    // Forty clients that trickle a request head in, a byte every 250 ms, from one address or from forty:
    // every probe from another address meanwhile is answered, each in a small part of what a slow client
    // holds on for; each slow connection is cut at the request deadline, and one address gets only its
    // share of connections.
    void slowClientsStarveNoOne_data() {
        QTest::addColumn<bool>("oneAddress");
        QTest::newRow("forty from one address") << true;
        QTest::newRow("forty addresses") << false;
    }
    void slowClientsStarveNoOne() {
        QFETCH(bool, oneAddress);
        std::vector<std::unique_ptr<SlowHttpsClient>> slow;
        for (int i = 0; i < 40; ++i) {
            const QByteArray source = oneAddress ? "127.0.0.2" : "127.0.1." + QByteArray::number(i + 2);
            slow.push_back(std::make_unique<SlowHttpsClient>(source, m_port));
            slow.back()->start();
        }
        const auto holding = [&] {
            int n = 0;
            for (const auto& c : slow)
                n += c->holding();
            return n;
        };
        QTRY_VERIFY_WITH_TIMEOUT(holding() >= (oneAddress ? 16 : 40), 20000);

        httplib::SSLClient probe("127.0.0.1", m_port);
        probe.enable_server_certificate_verification(false);
        probe.set_connection_timeout(10);
        probe.set_read_timeout(10);
        probe.set_keep_alive(false);
        // Longer than the request deadline, so every slow connection meets it.
        QElapsedTimer window;
        window.start();
        qint64 slowest = 0;
        int probes = 0;
        while (window.elapsed() < 14000) {
            QElapsedTimer one;
            one.start();
            const auto res = probe.Get("/version.json");
            const qint64 took = one.elapsed();
            slowest = qMax(slowest, took);
            ++probes;
            QVERIFY2(res && res->status == 200,
                     qPrintable(QString("probe %1 failed after %2 ms").arg(probes).arg(took)));
            QVERIFY(res->body.find("1.3.0") != std::string::npos);
            // A stalled server would hold a probe for as long as the slow clients last (minutes here).
            QVERIFY2(took < 5000, qPrintable(QString("probe %1 took %2 ms").arg(probes).arg(took)));
            QTest::qWait(100); // paces the probes over the slow clients' stall, no end waited for
        }
        const auto count = [&](int (SlowHttpsClient::*what)() const) {
            int n = 0;
            for (const auto& c : slow)
                n += ((*c).*what)();
            return n;
        };
        // Every slow connection held meets the deadline (the last ones may have connected late).
        const int held = oneAddress ? 16 : 40;
        QTRY_VERIFY_WITH_TIMEOUT(count(&SlowHttpsClient::cutOff) >= held, 30000);
        const int cut = count(&SlowHttpsClient::cutOff), away = count(&SlowHttpsClient::turnedAway);
        for (auto& c : slow)
            c->stop();
        qInfo("%d probes under 40 slow clients (%s): slowest answer %lld ms; %d slow connections cut at the "
              "deadline, %d turned away",
              probes, oneAddress ? "one address" : "forty addresses", slowest, cut, away);
        // One address gets its share of connections; the rest are turned away at once.
        QCOMPARE(away > 0, oneAddress);
    }

    // A request line that smuggles a line break or a NUL into the log cannot make a line of its own, and
    // a NUL cannot cut a download's name short.
    void hostilePaths_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("logged");
        QTest::newRow("line break") << "/a%0a2026-01-01T00:00:00Z%20GET%20/forged%20200%200" << 404
                                    << QByteArray("GET /a\\x0a2026-01-01T00:00:00Z GET /forged 200 0 404");
        QTest::newRow("carriage return and escape")
            << "/b%0d%1b[2J%5c" << 404 << QByteArray("GET /b\\x0d\\x1b[2J\\x5c 404");
        QTest::newRow("NUL before an extension")
            << "/downloads/a.txt%00.xz" << 400 << QByteArray("GET /downloads/a.txt\\x00.xz 400");
    }
    void hostilePaths() {
        QFETCH(QString, target);
        QFETCH(int, status);
        QFETCH(QByteArray, logged);
        QVERIFY(writeFile(path("root/downloads/a.txt"), "plain text"));
        const Reply r = curl({"-g"}, url(target));
        QCOMPARE(r.status, status);
        QVERIFY(!r.body.contains("plain text"));
        m_server->terminate();
        QVERIFY(m_server->waitForFinished(20000));
        const QByteArray out = m_server->readAllStandardOutput();
        const QList<QByteArray> lines = out.split('\n');
        // One request, "stopped", and the empty rest after the last line break ("listening on" was read at
        // the start).
        QVERIFY2(lines.size() == 3, out.constData());
        QVERIFY2(lines[0].contains(logged), lines[0].constData());
        for (const QByteArray& line : lines)
            QVERIFY(!line.contains('\r') && !line.contains('\x1b'));
    }

    void logSafe_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("logged");
        QTest::newRow("plain") << QByteArray("/downloads/Quillbay-1.3.0.tar.xz")
                               << QByteArray("/downloads/Quillbay-1.3.0.tar.xz");
        QTest::newRow("controls") << QByteArray("a\nb\tc\x7f") << QByteArray("a\\x0ab\\x09c\\x7f");
        QTest::newRow("NUL inside") << QByteArray("a\0b", 3) << QByteArray("a\\x00b");
        QTest::newRow("backslash, so escapes stay unambiguous")
            << QByteArray("a\\x0a") << QByteArray("a\\x5cx0a");
        QTest::newRow("UTF-8 bytes") << QByteArray("\xc3\xa9") << QByteArray("\\xc3\\xa9");
    }
    void logSafe() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, logged);
        QCOMPARE(QByteArray::fromStdString(WebService::logSafe(text.toStdString())), logged);
    }

    // The reports and the journal files beside them are the service's alone, also when an earlier run
    // left them readable to others.
    void reportDatabaseIsPrivate() {
        QCOMPARE(post(report()).status, 200);
        for (const char* name : {"reports.db", "reports.db-wal", "reports.db-shm"})
            QCOMPARE(modeOf(path(name)), 0600);
        m_server->terminate();
        QVERIFY(m_server->waitForFinished(20000));
        QCOMPARE(::chmod(QFile::encodeName(path("reports.db")).constData(), 0644), 0);
        QVERIFY(startServer());
        QCOMPARE(post(report("fedcba9876543210")).status, 200);
        QCOMPARE(modeOf(path("reports.db")), 0600);
        QCOMPARE(stored(), 2);
    }

    // A second request hidden behind framing that two readers could take differently is never run: the
    // first is refused, the connection closed, and neither is stored.
    void smuggledRequests_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        const QByteArray hidden =
            reportHead("Content-Length: " + QByteArray::number(report().size()) + "\r\n") + report();
        const QByteArray n = QByteArray::number(hidden.size());
        QTest::newRow("two different lengths")
            << reportHead("Content-Length: 0\r\nContent-Length: " + n + "\r\n") + hidden << 400;
        QTest::newRow("length and chunked")
            << reportHead("Content-Length: " + QByteArray::number(hidden.size() + 5) +
                          "\r\nTransfer-Encoding: chunked\r\n") +
                   "0\r\n\r\n" + hidden
            << 400;
        QTest::newRow("space before the colon")
            << reportHead("Transfer-Encoding : chunked\r\nContent-Length: 5\r\n") + "0\r\n\r\n" + hidden
            << 400;
        QTest::newRow("unknown coding")
            << reportHead("Transfer-Encoding: xchunked\r\n") + "0\r\n\r\n" + hidden << 501;
        QTest::newRow("folded coding")
            << reportHead("Transfer-Encoding: identity\r\n chunked\r\n") + "0\r\n\r\n" + hidden << 400;
    }
    void smuggledRequests() {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        RawTlsClient c("127.0.0.1", m_port);
        QVERIFY(c.ok());
        c.send(request);
        QVERIFY(c.closedByServer());
        QCOMPARE(c.status(), status);
        QCOMPARE(c.answers(), 1);
        QVERIFY(c.received().contains("Connection: close"));
        // A report sent afterwards lands in the same or a later batch than a wrongly run hidden one.
        QCOMPARE(post(report("fedcba9876543210")).status, 200);
        QCOMPARE(stored(), 1);
        const QByteArray log = serverLog();
        QVERIFY2(log.contains("POST /api/telemetry " + QByteArray::number(status)), log.constData());
    }

    // A report body is capped whatever its framing. An upload that passes the cap is answered 413 at once,
    // without the server waiting for its end (which never comes), and cut; up to the cap it is a report.
    void chunkedBodies_data() {
        QTest::addColumn<int>("bodySize");
        QTest::addColumn<int>("chunkSize");
        QTest::addColumn<bool>("finished");
        QTest::addColumn<int>("status");
        const int cap = int(WebService::kMaxReportBytes);
        QTest::newRow("at the cap, small chunks") << cap << 100 << true << 200;
        QTest::newRow("at the cap, one chunk") << cap << cap << true << 200;
        QTest::newRow("one byte over, never finished") << cap + 1 << 4096 << false << 413;
        QTest::newRow("endless upload") << 8 * 1024 * 1024 << 4096 << false << 413;
    }
    void chunkedBodies() {
        QFETCH(int, bodySize);
        QFETCH(int, chunkSize);
        QFETCH(bool, finished);
        QFETCH(int, status);
        // A valid report padded with white space to the size wanted.
        const QByteArray body = report() + QByteArray(qMax(0, bodySize - int(report().size())), ' ');
        RawTlsClient c("127.0.0.1", m_port);
        QVERIFY(c.ok());
        c.send(reportHead("Transfer-Encoding: chunked\r\n") + chunked(body, chunkSize) +
               (finished ? "0\r\n\r\n" : ""));
        c.answer();
        QCOMPARE(c.status(), status);
        QCOMPARE(stored(), status == 200 ? 1 : 0);
        if (status != 200)
            QVERIFY(c.closedByServer());
    }

    // A chunked body that trickles in is held to the same deadline as a counted one.
    void trickledChunksMeetTheDeadline() {
        RawTlsClient c("127.0.0.1", m_port);
        QVERIFY(c.ok());
        c.send(reportHead("Transfer-Encoding: chunked\r\n"));
        QElapsedTimer t;
        t.start();
        // Bounded well past the deadline: a server without one would keep taking a byte a chunk forever.
        for (int i = 0; i < 200 && !c.closedByServer(200); ++i)
            c.send("1\r\n \r\n");
        QVERIFY(c.closedByServer(0));
        QCOMPARE(c.status(), 408);
        QCOMPARE(stored(), 0);
        qInfo("a trickled chunked upload was cut after %lld ms", t.elapsed());
    }

    // A body too large is refused from its head alone, before any of it is sent.
    void oversizedBodyRefusedFromItsHead_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("1 GiB report") << reportHead("Content-Length: 1073741824\r\n");
        QTest::newRow("one byte over the cap") << reportHead(
            "Content-Length: " + QByteArray::number(qulonglong(WebService::kMaxReportBytes + 1)) + "\r\n");
        QTest::newRow("body on a page")
            << QByteArray("GET /version.json HTTP/1.1\r\nContent-Length: 100\r\n\r\n");
    }
    void oversizedBodyRefusedFromItsHead() {
        QFETCH(QByteArray, request);
        RawTlsClient c("127.0.0.1", m_port);
        QVERIFY(c.ok());
        c.send(request);
        // Waits longer than the request deadline: a server waiting for the body would answer 408.
        c.answer(30000);
        QCOMPARE(c.status(), 413);
        QVERIFY(c.closedByServer());
    }

    // Heads are bounded: a flood of fields is refused 431 once past the bound, a head at the bound served.
    void headBounds_data() {
        QTest::addColumn<int>("fields");
        QTest::addColumn<int>("valueSize");
        QTest::addColumn<int>("status");
        QTest::newRow("20,000 fields") << 20000 << 80 << 431;
        QTest::newRow("101 short fields") << 100 << 4 << 431; // with Host, 101
        QTest::newRow("100 short fields") << 99 << 4 << 200;  // with Host, 100
        QTest::newRow("one field over 16 KiB") << 1 << 17 * 1024 << 431;
        // "X-Field-0: " and the value: the longest line the routes' library reads, and one byte more.
        QTest::newRow("one line of 8,190 bytes") << 1 << 8190 - 11 << 200;
        QTest::newRow("one line of 8,191 bytes") << 1 << 8191 - 11 << 431;
    }
    void headBounds() {
        QFETCH(int, fields);
        QFETCH(int, valueSize);
        QFETCH(int, status);
        QByteArray head = "GET /version.json HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        for (int i = 0; i < fields; ++i)
            head += "X-Field-" + QByteArray::number(i) + ": " + QByteArray(valueSize, 'v') + "\r\n";
        RawTlsClient c("127.0.0.1", m_port);
        QVERIFY(c.ok());
        c.send(head + "\r\n");
        c.answer();
        QCOMPARE(c.status(), status);
        if (status != 200)
            QVERIFY(c.closedByServer());
        else
            QVERIFY(c.received().contains("1.3.0"));
    }

    // The request line is bounded like a field line, and told apart: its target is what is too long.
    void longRequestLine() {
        RawTlsClient c("127.0.0.1", m_port);
        QVERIFY(c.ok());
        c.send("GET /" + QByteArray(9000, 'a') + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        c.answer();
        QCOMPARE(c.status(), 414);
        QVERIFY(c.closedByServer());
    }

    // An HTTP/1.1 request names exactly one host; HTTP/1.0 may leave it out.
    void hostField_data() {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("status");
        QTest::newRow("one Host") << QByteArray("GET /version.json HTTP/1.1\r\nHost: 127.0.0.1\r\n") << 200;
        QTest::newRow("no Host") << QByteArray("GET /version.json HTTP/1.1\r\n") << 400;
        QTest::newRow("two Host fields")
            << QByteArray("GET /version.json HTTP/1.1\r\nHost: 127.0.0.1\r\nHost: other.example\r\n") << 400;
        QTest::newRow("the same Host twice")
            << QByteArray("GET /version.json HTTP/1.1\r\nHost: a\r\nX: 1\r\nhost: a\r\n") << 400;
        QTest::newRow("HTTP/1.0 without Host") << QByteArray("GET /version.json HTTP/1.0\r\n") << 200;
        QTest::newRow("HTTP/1.0 with two")
            << QByteArray("GET /version.json HTTP/1.0\r\nHost: a\r\nHost: b\r\n") << 400;
        QTest::newRow("report without Host")
            << QByteArray(
                   "POST /api/telemetry HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: " +
                   QByteArray::number(report().size()) + "\r\n")
            << 400;
    }
    void hostField() {
        QFETCH(QByteArray, head);
        QFETCH(int, status);
        RawTlsClient c("127.0.0.1", m_port);
        QVERIFY(c.ok());
        c.send(head + "Connection: close\r\n\r\n" + (head.startsWith("POST") ? report() : QByteArray()));
        c.answer();
        QCOMPARE(c.status(), status);
        if (status == 200)
            QVERIFY(c.received().contains("1.3.0"));
        QCOMPARE(stored(), 0);
    }

    // A download with a Range: one range is served as asked, anything else gets the file once (or 416),
    // never more bytes than the file holds.
    void downloadRanges_data() {
        QTest::addColumn<QByteArray>("range");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("length");
        QByteArray many = "0-";
        for (int i = 0; i < 199; ++i)
            many += ",0-";
        QTest::newRow("no range") << QByteArray() << 200 << 0 << 70000;
        QTest::newRow("one range") << QByteArray("bytes=100-199") << 206 << 100 << 100;
        QTest::newRow("the last bytes") << QByteArray("bytes=-10") << 206 << 69990 << 10;
        QTest::newRow("two ranges") << QByteArray("bytes=0-9,20-29") << 200 << 0 << 70000;
        QTest::newRow("200 ranges of all of it") << "bytes=" + many << 200 << 0 << 70000;
        QTest::newRow("past the end") << QByteArray("bytes=70000-") << 416 << 0 << 0;
        QTest::newRow("malformed") << QByteArray("bytes=a-b") << 200 << 0 << 70000;
    }
    void downloadRanges() {
        QFETCH(QByteArray, range);
        QFETCH(int, status);
        QFETCH(int, first);
        QFETCH(int, length);
        QByteArray file(70000, '\0');
        for (int i = 0; i < file.size(); ++i)
            file[i] = char(i % 251);
        QVERIFY(writeFile(path("root/downloads/patterned.tar.xz"), file));
        RawTlsClient c("127.0.0.1", m_port);
        QVERIFY(c.ok());
        c.send("GET /downloads/patterned.tar.xz HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
               (range.isEmpty() ? QByteArray() : "Range: " + range + "\r\n") + "\r\n");
        const QByteArray in = c.answer();
        QCOMPARE(c.status(), status);
        const int end = in.indexOf("\r\n\r\n");
        QVERIFY(end > 0);
        const QByteArray head = in.left(end).toLower();
        if (status == 416) {
            QVERIFY(head.contains("content-range: bytes */70000"));
            return;
        }
        QVERIFY2(head.contains("content-length: " + QByteArray::number(length)), head.constData());
        QVERIFY(head.contains("content-type: application/x-xz"));
        QCOMPARE(in.mid(end + 4), file.mid(first, length));
        if (status == 206)
            QVERIFY(head.contains("content-range: bytes " + QByteArray::number(first) + "-" +
                                  QByteArray::number(first + length - 1) + "/70000"));
        QVERIFY(head.contains("connection: keep-alive"));
    }

    // 200 ranges of a 20 MiB release, asked for again and again: each answer is the file once and the
    // server stays up.
    void manyRangesOfALargeRelease() {
        const int size = 20 * 1024 * 1024;
        QVERIFY(writeFile(path("root/downloads/big.tar.xz"), QByteArray(size, 'b')));
        QByteArray ranges = "bytes=0-";
        for (int i = 0; i < 199; ++i)
            ranges += ",0-";
        for (int round = 0; round < 3; ++round) {
            RawTlsClient c("127.0.0.3", m_port, 60000);
            QVERIFY(c.ok());
            c.send("GET /downloads/big.tar.xz HTTP/1.1\r\nHost: 127.0.0.1\r\nRange: " + ranges +
                   "\r\nConnection: close\r\n\r\n");
            QVERIFY(c.closedByServer(120000));
            QCOMPARE(c.status(), 200);
            const int end = c.received().indexOf("\r\n\r\n");
            QVERIFY(c.received().left(end).contains("Content-Length: " + QByteArray::number(size)));
            QCOMPARE(c.received().size() - end - 4, size);
        }
        QCOMPARE(m_server->state(), QProcess::Running);
        QCOMPARE(curl({}, url("/version.json")).status, 200);
    }

    // Twenty downloads of one release at once each get every byte, in order, while the manifest and a
    // report are answered.
    void concurrentDownloads() {
        QByteArray file(4 * 1024 * 1024, '\0');
        for (int i = 0; i < file.size(); ++i)
            file[i] = char((i * 31) % 253);
        QVERIFY(writeFile(path("root/downloads/shared.tar.xz"), file));
        std::vector<QByteArray> bodies(20);
        std::vector<std::thread> clients;
        for (int i = 0; i < 20; ++i)
            clients.emplace_back([&, i] {
                RawTlsClient c("127.0.5." + QByteArray::number(i + 1), m_port, 60000);
                c.send(
                    "GET /downloads/shared.tar.xz HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
                c.closedByServer(120000);
                const int end = c.received().indexOf("\r\n\r\n");
                bodies[size_t(i)] = end < 0 ? QByteArray() : c.received().mid(end + 4);
            });
        RawTlsClient probe("127.0.0.4", m_port, 60000);
        probe.send("GET /version.json HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        probe.answer(60000);
        const int probeStatus = probe.status();
        const int reportStatus = post(report()).status;
        for (std::thread& t : clients)
            t.join();
        QCOMPARE(probeStatus, 200);
        QCOMPARE(reportStatus, 200);
        for (const QByteArray& body : bodies)
            QVERIFY(body == file);
    }

    // 260 addresses each holding 16 connections that never speak (4,160, more than the server holds in
    // all): a newcomer still gets in, and is answered.
    void silentConnectionsCannotFillTheServer() {
        std::vector<int> silent;
        for (int a = 0; a < 260; ++a)
            for (int i = 0; i < 16; ++i) {
                const int fd = loopbackConnect(
                    "127.1." + QByteArray::number(a / 200) + "." + QByteArray::number(a % 200 + 1), m_port);
                if (fd >= 0)
                    silent.push_back(fd);
            }
        QVERIFY(silent.size() > 4096);
        for (int p = 0; p < 10; ++p) {
            RawTlsClient probe("127.0.6." + QByteArray::number(p + 1), m_port, 30000);
            QVERIFY2(probe.ok(), qPrintable(QString("probe %1 turned away").arg(p)));
            probe.send("GET /version.json HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
            probe.answer(30000);
            QCOMPARE(probe.status(), 200);
        }
        // The server ended the oldest silent ones to make room.
        const auto ended = [&] {
            int n = 0;
            for (const int fd : silent) {
                pollfd p{fd, POLLIN, 0};
                n += ::poll(&p, 1, 0) > 0;
            }
            return n;
        };
        QTRY_VERIFY_WITH_TIMEOUT(ended() > 0, 20000);
        qInfo("%zu silent connections; %d of them ended by the server", silent.size(), ended());
        for (const int fd : silent)
            ::close(fd);
    }

    // A client that takes a download slower than the floor is cut however long the write timeout; one
    // that keeps up gets all of it. (The server runs in this process, with a short window.)
    void slowReaderCut_data() {
        QTest::addColumn<int>("bytesPerRead");
        QTest::addColumn<bool>("cut");
        QTest::newRow("1 KiB a read, below the floor") << 1024 << true;
        QTest::newRow("as fast as it can") << 256 * 1024 << false;
    }
    void slowReaderCut() {
        QFETCH(int, bytesPerRead);
        QFETCH(bool, cut);
        const int size = 16 * 1024 * 1024;
        QVERIFY(writeFile(path("own/downloads/big.tar.xz"), QByteArray(size, 'c')));
        WebService::Options o;
        o.certFile = m_ca.certFile().toStdString();
        o.keyFile = m_ca.keyFile().toStdString();
        o.root = path("own").toStdString();
        o.db = path("own.db").toStdString();
        o.log = [](const std::string&) {};
        o.writeTimeout = std::chrono::milliseconds(120000);
        o.minReadRate = 256 * 1024;
        o.rateWindow = std::chrono::milliseconds(2000);
        WebService service(o);
        const int port = service.bind("127.0.0.1", 0);
        QVERIFY(port > 0);
        service.start();
        RawTlsClient c("127.0.0.1", port);
        QVERIFY(c.ok());
        c.send("GET /downloads/big.tar.xz HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        SSL* ssl = c.handle();
        qint64 got = c.received().size();
        bool ended = false;
        std::vector<char> buf(static_cast<size_t>(bytesPerRead));
        QElapsedTimer t;
        t.start();
        // Bounded: the slow reader would need hours for all of it.
        while (!ended && t.elapsed() < 60000) {
            const int n = SSL_read(ssl, buf.data(), bytesPerRead);
            if (n > 0) {
                got += n;
                if (bytesPerRead < 4096)
                    QTest::qWait(10); // the reader's pace: about 100 KiB a second at most
                continue;
            }
            const int e = SSL_get_error(ssl, n);
            if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) {
                ended = true;
                break;
            }
            pollfd p{SSL_get_fd(ssl), POLLIN, 0};
            ::poll(&p, 1, 100);
        }
        service.stop();
        QVERIFY(ended);
        // The whole answer is the head and 16 MiB.
        QCOMPARE(got > size, !cut);
        qInfo("%lld bytes taken before the connection ended", got);
    }

    // Pipelined requests on one connection are each answered, in order; a refused one ends the
    // connection and what follows it is not run.
    void pipelined() {
        const QByteArray get = "GET /version.json HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        const QByteArray postOne =
            reportHead("Content-Length: " + QByteArray::number(report().size()) + "\r\n") + report();
        RawTlsClient c("127.0.0.1", m_port);
        QVERIFY(c.ok());
        c.send(get + postOne + get + "GET / HTTP/1.1\r\nBad Name: x\r\n\r\n" + postOne);
        QVERIFY(c.closedByServer());
        QCOMPARE(c.answers(), 4);
        QCOMPARE(c.received().count("HTTP/1.1 200"), 3);
        QVERIFY(c.received().contains("HTTP/1.1 400"));
        QCOMPARE(stored(), 1);
    }

    // 2000 reports at once from 125 addresses: every one is answered 200 and stored exactly once, and a
    // probe from another address meanwhile is answered.
    void burstOfReports() {
        ReportBurst burst;
        std::atomic<bool> probed{false};
        std::atomic<int> probeStatus{0};
        qint64 probeMs = -1;
        std::thread prober([&] {
            QElapsedTimer underWay;
            underWay.start();
            while (burst.sent.load() < 200 && underWay.elapsed() < 60000)
                std::this_thread::sleep_for(
                    std::chrono::milliseconds(5)); // polls for the burst to be under way
            QElapsedTimer t;
            t.start();
            RawTlsClient probe("127.0.0.200", m_port, 60000);
            probe.send("GET /version.json HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
            probe.answer(60000);
            probeMs = t.elapsed();
            probeStatus = probe.status();
            probed = true;
        });
        // The burst runs beside the event loop, which keeps reading the server's log: a full pipe would
        // hold the server up.
        std::atomic<bool> finished{false};
        std::thread sender([&] {
            burst.run(m_port);
            finished = true;
        });
        const bool allAnswered = QTest::qWaitFor([&] { return finished.load(); }, 240000);
        sender.join();
        prober.join();
        QVERIFY(allAnswered);
        QVERIFY(probed);
        QCOMPARE(probeStatus.load(), 200);
        QCOMPARE(burst.failed.load(), 0);
        QCOMPARE(burst.accepted.load(), burst.addresses * burst.perAddress);
        QCOMPARE(stored(), qint64(burst.accepted.load()));
        QCOMPARE(distinctStored(), qint64(burst.accepted.load()));
        qInfo("%d reports in a burst; a probe during it took %lld ms", burst.accepted.load(), probeMs);
    }

    void loadFromOtherProcesses_data() {
        QTest::addColumn<bool>("terminateMidway");
        QTest::newRow("all sent") << false;
        QTest::newRow("SIGTERM during the load") << true;
    }
    void loadFromOtherProcesses() {
        QFETCH(bool, terminateMidway);
        const int workers = 4;
        const int perWorker = 60;
        QList<QProcess*> loops;
        for (int w = 1; w <= workers; ++w)
            loops << loadWorker(w, perWorker);
        if (terminateMidway) {
            QVERIFY(QTest::qWaitFor([&] { return stored() >= 20; }, 60000));
            m_server->terminate();
            QVERIFY(m_server->waitForFinished(30000));
            QCOMPARE(m_server->exitStatus(), QProcess::NormalExit);
            QCOMPARE(m_server->exitCode(), 0);
        }
        int accepted = 0;
        int other = 0;
        for (QProcess* p : loops) {
            QVERIFY(p->waitForFinished(180000));
            for (const QByteArray& line : p->readAllStandardOutput().split('\n')) {
                if (line.isEmpty())
                    continue;
                (line == "200" ? accepted : other) += 1;
            }
            delete p;
        }
        QCOMPARE(accepted + other, workers * perWorker);
        if (!terminateMidway)
            QCOMPARE(accepted, workers * perWorker);
        else
            QVERIFY(accepted < workers * perWorker);
        // Every report answered 200 is stored, once.
        QCOMPARE(stored(), qint64(accepted));
        QCOMPARE(distinctStored(), qint64(accepted));
    }
};

QTEST_GUILESS_MAIN(tst_WebService)
#include "tst_WebService.moc"
