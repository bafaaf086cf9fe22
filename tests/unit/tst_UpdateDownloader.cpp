// The download thread against a plain HTTP server on loopback that sends scripted bytes: what reaches the
// file and the digest when the body is whole, cut short, over the cap or refused, when the disk refuses a
// write, and when the download is abandoned while the thread still reads.
#include "services/UpdateDownloader.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

using Outcome = UpdateDownloader::Outcome;

// Answers every request with the same bytes; then closes the connection or, with `hold`, keeps it open.
class ScriptedServer : public QObject {
public:
    QByteArray answer;
    bool hold = false;

    ScriptedServer() {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = m_server.nextPendingConnection()) {
                s->setParent(this);
                auto head = std::make_shared<QByteArray>();
                connect(s, &QTcpSocket::readyRead, s, [this, s, head] {
                    head->append(s->readAll());
                    if (!head->contains("\r\n\r\n"))
                        return;
                    head->clear();
                    s->write(answer);
                    if (!hold)
                        s->disconnectFromHost();
                });
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/a.tar.xz").arg(m_server.serverPort()));
    }

private:
    QTcpServer m_server;
};

class tst_UpdateDownloader : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString filePath() const { return m_dir->filePath("a.tar.xz"); }
    std::unique_ptr<QFile> openFile() const {
        auto f = std::make_unique<QFile>(filePath());
        return f->open(QIODevice::WriteOnly | QIODevice::Unbuffered) ? std::move(f) : nullptr;
    }
    static QByteArray body(int size) {
        QByteArray b(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            b[i] = char(i * 7 + i / 251);
        return b;
    }
    static QByteArray head(int status, qint64 length) {
        return "HTTP/1.1 " + QByteArray::number(status) +
               " X\r\nContent-Length: " + QByteArray::number(length) +
               "\r\nContent-Type: application/x-xz\r\n\r\n";
    }
    static QString sha(const QByteArray& data) {
        return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
    }
    std::optional<Outcome> run(const ScriptedServer& server, qint64 maxBytes,
                               std::unique_ptr<QFile> into = nullptr) {
        auto file = into ? std::move(into) : openFile();
        if (!file)
            return std::nullopt;
        std::optional<Outcome> out;
        UpdateDownloader d(QNetworkRequest(server.url()), std::move(file), maxBytes);
        connect(&d, &UpdateDownloader::finished, this, [&](const Outcome& o) { out = o; });
        if (!QTest::qWaitFor([&] { return out.has_value(); }, 20000))
            return std::nullopt;
        return out;
    }

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void outcome_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<bool>("failed"); // the reply ended with an error
        QTest::addColumn<bool>("tooLarge");
        QTest::addColumn<bool>("interrupted"); // answered, and the connection ended before the body
        QTest::addColumn<QByteArray>("kept");  // what the file and the digest hold
        const QByteArray b = body(300000);
        QTest::newRow("whole body") << head(200, b.size()) + b << qint64(1 << 20) << true << false << false
                                    << false << b;
        QTest::newRow("empty body") << head(200, 0) << qint64(1 << 20) << true << false << false << false
                                    << QByteArray();
        QTest::newRow("cut short") << head(200, b.size()) + b.left(120000) << qint64(1 << 20) << true << true
                                   << false << true << b.left(120000);
        QTest::newRow("cut after the head")
            << head(200, b.size()) << qint64(1 << 20) << true << true << false << true << QByteArray();
        QTest::newRow("not found, with a body") << head(404, 9) + "not here!" << qint64(1 << 20) << true
                                                << true << false << false << QByteArray("not here!");
        QTest::newRow("not found, cut short") << head(404, 900) + "not here!" << qint64(1 << 20) << true
                                              << true << false << true << QByteArray("not here!");
        QTest::newRow("chunked body")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n6\r\n "
                          "world\r\n0\r\n\r\n")
            << qint64(1 << 20) << true << false << false << false << QByteArray("hello world");
        QTest::newRow("chunked body cut short")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n6\r\n wo")
            << qint64(1 << 20) << true << true << false << true << QByteArray("hello wo");
        QTest::newRow("exactly the cap")
            << head(200, b.size()) + b << qint64(b.size()) << true << false << false << false << b;
        QTest::newRow("one byte over the cap") << head(200, b.size()) + b << qint64(b.size() - 1) << true
                                               << true << true << false << QByteArray();
        QTest::newRow("closed without an answer")
            << QByteArray() << qint64(1 << 20) << false << true << false << false << QByteArray();
        QTest::newRow("not HTTP") << QByteArray("SSH-2.0-x\r\n\r\n") << qint64(1 << 20) << false << true
                                  << false << false << QByteArray();
    }
    void outcome() {
        QFETCH(QByteArray, answer);
        QFETCH(qint64, maxBytes);
        QFETCH(bool, answered);
        QFETCH(bool, failed);
        QFETCH(bool, tooLarge);
        QFETCH(bool, interrupted);
        QFETCH(QByteArray, kept);
        ScriptedServer server;
        server.answer = answer;
        const auto o = run(server, maxBytes);
        QVERIFY(o);
        QCOMPARE(o->answered, answered);
        QCOMPARE(!o->error.isEmpty(), failed);
        QCOMPARE(o->tooLarge, tooLarge);
        QCOMPARE(o->interrupted, interrupted);
        QCOMPARE(o->writeError, QString());
        QCOMPARE(o->finalUrl, server.url());
        if (tooLarge)
            return; // what was written before the stop is discarded by the caller
        QCOMPARE(o->digest, sha(kept));
        QFile f(filePath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), kept);
    }

    void writeRefused() {
        // A file size limit makes the disk refuse part of the body, as a full disk would.
        ScriptedServer server;
        const QByteArray b = body(1 << 20);
        server.answer = head(200, b.size()) + b;
        rlimit old{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 64 * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const auto o = run(server, qint64(1) << 30);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(o);
        QVERIFY(!o->writeError.isEmpty());
        QVERIFY(!o->error.isEmpty()); // the transfer was stopped
        QVERIFY(!o->interrupted);     // here, not by the connection
        QCOMPARE(QFileInfo(filePath()).size(), qint64(64 * 1024));
        // The short write that reached the limit is followed by the one that says why.
        QCOMPARE(o->writeErrno, EFBIG);
        QCOMPARE(o->writeError, QString::fromLocal8Bit(std::strerror(EFBIG)));
    }

    void diskFull() {
        // /dev/full refuses every write as a full disk does.
        ScriptedServer server;
        const QByteArray b = body(300000);
        server.answer = head(200, b.size()) + b;
        auto full = std::make_unique<QFile>(QStringLiteral("/dev/full"));
        if (!full->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            QSKIP("no /dev/full here");
        const auto o = run(server, qint64(1) << 30, std::move(full));
        QVERIFY(o);
        QCOMPARE(o->writeErrno, ENOSPC);
        QCOMPARE(o->writeError, QString::fromLocal8Bit(std::strerror(ENOSPC)));
        QVERIFY(!o->interrupted);
    }

    void abandonedWhileReading() {
        // The server sends part of the body and waits: the download is still reading when it is dropped.
        ScriptedServer server;
        server.hold = true;
        server.answer = head(200, 50 << 20) + body(64 * 1024);
        auto file = openFile();
        QVERIFY(file);
        bool ended = false;
        auto d =
            std::make_unique<UpdateDownloader>(QNetworkRequest(server.url()), std::move(file), 100 << 20);
        connect(d.get(), &UpdateDownloader::finished, this, [&] { ended = true; });
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo(filePath()).size() == 64 * 1024; }, 20000));
        d.reset(); // returns once the thread has ended
        QVERIFY(!QFileInfo::exists(filePath()));
        QCoreApplication::processEvents();
        QVERIFY(!ended);
    }

    void abandonedBeforeItStarts() {
        ScriptedServer server;
        server.hold = true;
        auto file = openFile();
        QVERIFY(file);
        { UpdateDownloader d(QNetworkRequest(server.url()), std::move(file), 100); }
        QVERIFY(!QFileInfo::exists(filePath()));
    }
};

QTEST_GUILESS_MAIN(tst_UpdateDownloader)
#include "tst_UpdateDownloader.moc"
