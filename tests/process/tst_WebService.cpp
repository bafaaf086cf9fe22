// quillbay-web as a real process on loopback HTTPS: each route, refused report bodies, and reports sent
// by other processes under load, with and without a SIGTERM in the middle: every report answered 200 is
// stored once, none twice.
#include "ReportStore.h"
#include "fakes/ThrowawayCA.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <signal.h>
#include <sqlite3.h>

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

private slots:
    void initTestCase() { QVERIFY(m_ca.make()); }
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
        QCOMPARE(r.status, 400);
        QCOMPARE(stored(), 0);
        // The service keeps serving.
        QCOMPARE(post(report()).status, 200);
        QCOMPARE(stored(), 1);
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
