// The log view's text: the 32 KiB window and its cut first line, cut or stray bytes, blank logs, a
// log that appears later, the file name rule, closing the view, publishing only real changes, and a
// deleted logs folder made again owner-only. The refresh ticks are fired by the test.
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "platform/LogCap.h"
#include "platform/ProcessTable.h"
#include "platform/ServiceLauncher.h"
#include "services/CommandsService.h"
#include "services/LogTail.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <sys/stat.h>

namespace {

constexpr int kRefreshMs = 1000;
const QString kNoLog = QStringLiteral("(sem log ainda — inicie o serviço)");
const QString kEmpty = QStringLiteral("(log vazio)");

} // namespace

class tst_ServiceLogs : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<TestSupport::ServiceSandbox> m_box;
    CommandsService* m_service = nullptr;

    SavedCommand command(const QString& name) {
        m_service->add(name, "true", std::nullopt);
        return m_service->commands().last();
    }
    [[nodiscard]] bool writeLog(const QString& name, const QByteArray& content) {
        return TestSupport::passes([&] {
            QDir().mkpath(m_service->logsDir());
            QFile f(m_service->logPath(name));
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QCOMPARE(f.write(content), content.size());
        });
    }

private slots:
    void initTestCase() { m_home = TestSupport::isolateHome(); }
    void init() {
        m_box = std::make_unique<TestSupport::ServiceSandbox>();
        m_box->logKeeper = QUILLBAY_LOGKEEPER;
        m_service = &m_box->service();
    }
    void cleanup() { m_box.reset(); }

    // A service printing 200 MB: its log never goes past the cap, keeps the newest output whole up to
    // its last line, the log view still shows that end, and the keeper goes once the service has.
    void aFloodOfOutputKeepsTheLogUnderItsCap() {
        const QByteArray line = "0123456789abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxy\n";
        m_service->add("flood",
                       "yes " + QString::fromLatin1(line.trimmed()) +
                           " | head -c 200000000; echo; echo END-OF-RUN",
                       std::nullopt);
        const SavedCommand cmd = m_service->commands().last();
        const QString log = m_service->logPath("flood");
        QElapsedTimer clock;
        clock.start();
        m_service->start(cmd);
        QVERIFY(m_service->runningIDs().contains(cmd.id));
        qint64 largest = 0;
        const auto sizeNow = [&] {
            largest = qMax(largest, QFileInfo(log).size());
            return largest;
        };
        // Ends by itself once all is printed; the keeper may still be writing the last of it.
        QTRY_VERIFY_WITH_TIMEOUT((sizeNow(), !m_service->runningIDs().contains(cmd.id)), 120000);
        const qint64 printedMs = clock.elapsed();
        QTRY_VERIFY_WITH_TIMEOUT((sizeNow(), LogTail::read(log).value_or(QString()).endsWith("END-OF-RUN\n")),
                                 30000);
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(log).constData(), &st), 0);
        const qint64 cap = LogCap::kDefaultCapBytes;
        qInfo("200 MB printed in %lld ms; log %lld bytes (%lld on disk), largest seen %lld, cap %lld",
              printedMs, qint64(st.st_size), qint64(st.st_blocks) * 512, largest, cap);
        QVERIFY(st.st_size <= cap);
        QVERIFY(largest <= cap);
        QVERIFY(qint64(st.st_blocks) * 512 <= cap + (1 << 20));
        QVERIFY(st.st_size >= cap / 2 - (1 << 20)); // the newest part is kept, not everything dropped
        QCOMPARE(st.st_mode & 07777, 0600u);

        // The newest part is whole: after the cut first line, only complete lines up to the end mark.
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        f.seek(st.st_size - (4 << 20));
        QByteArray tail = f.readAll();
        tail.remove(0, tail.indexOf('\n') + 1);
        QVERIFY(tail.endsWith("END-OF-RUN\n"));
        tail.chop(int(qstrlen("END-OF-RUN\n")));
        QVERIFY(tail.size() > (1 << 20));
        const QList<QByteArray> lines = tail.split('\n');
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            // The last printed line was cut short by head -c; every other one is whole.
            if (i + 2 < lines.size())
                QCOMPARE(lines[i] + '\n', line);
        }

        m_service->showLog(cmd);
        QVERIFY(m_service->logText().endsWith("END-OF-RUN\n"));
        QVERIFY(m_service->logText().size() <= 32768);

        // The keeper leaves with its service.
        const QString logReal = QFileInfo(log).canonicalFilePath();
        const auto keepers = [&] {
            int n = 0;
            for (const ProcessTable::Stat& s : m_box->table.all())
                if (m_box->table.cmdline(s.pid).contains(logReal) ||
                    m_box->table.cmdline(s.pid).contains(log))
                    ++n;
            return n;
        };
        QTRY_COMPARE_WITH_TIMEOUT(keepers(), 0, 20000);
    }

    // Without a keeper (none installed) the service still runs and logs, uncapped, and says so.
    void withoutAKeeperTheServiceWritesItself() {
        TestSupport::ServiceSandbox box;
        box.logKeeper = m_box->path("no-such-keeper");
        TestSupport::LogCapture capture;
        CommandsService& service = box.service();
        service.add("plain", "echo hello", std::nullopt);
        service.start(service.commands().last());
        QTRY_VERIFY_WITH_TIMEOUT(service.runningIDs().isEmpty(), 10000);
        QFile f(service.logPath("plain"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("hello\n"));
        QVERIFY(capture.lines().join('\n').contains("not capped"));
    }

    // A link at a log's path is replaced, never followed (emptying it would empty the file it points to);
    // a FIFO there neither holds the start nor is touched.
    void oddThingsAtTheLogPath_data() {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("link to a file elsewhere") << false;
        QTest::newRow("FIFO") << true;
    }
    void oddThingsAtTheLogPath() {
        QFETCH(bool, fifo);
        m_service->add("odd", "echo hello", std::nullopt);
        const SavedCommand cmd = m_service->commands().last();
        const QString log = m_service->logPath("odd");
        QDir().mkpath(m_service->logsDir());
        const QString elsewhere = m_box->path("elsewhere.txt");
        {
            QFile f(elsewhere);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("the user's own text\n");
        }
        if (fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(log).constData(), 0600), 0);
        else
            QVERIFY(QFile::link(elsewhere, log));
        m_service->start(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 10000);
        QFile kept(elsewhere);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("the user's own text\n"));
        const QFileInfo info(log);
        if (fifo) {
            QVERIFY(info.exists() && !info.isFile());
        } else {
            QVERIFY(!info.isSymLink() && info.isFile());
            QTRY_COMPARE_WITH_TIMEOUT(LogTail::read(log).value_or(QString()), QString("hello\n"), 10000);
        }
        QFile::remove(log);
    }

    void windowOfTheLastBytes_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("shown");
        const QByteArray body = QByteArray(32768 - 12, 'x') + "\nlast line\n"; // 32767 bytes
        QTest::newRow("32768 bytes: whole, first line included")
            << QByteArray("F" + body) << QString("F" + body);
        QTest::newRow("32769 bytes: the cut first line goes")
            << QByteArray("FG" + body) << QString("last line\n");
        const QByteArray noBreak = QByteArray(100 * 1024, 'y');
        QTest::newRow("100 KB without a line feed: the window whole") << noBreak << QString(32768, u'y');
        QTest::newRow("blank lines only") << QByteArray("\n\n   \n\t\n") << kEmpty;
        QTest::newRow("empty") << QByteArray() << kEmpty;
        // Mended: these showed as an empty log although the file held text.
        QByteArray cutChar = QByteArray(32767, 'a');
        cutChar.prepend("\xC3\xA9"); // é, whose first byte falls just before the window
        QTest::newRow("cut inside a two-byte character") << cutChar << QString(32767, u'a');
        QTest::newRow("a stray invalid byte") << QByteArray("ok \xFF then\n") << QString("ok \uFFFD then\n");
    }
    void windowOfTheLastBytes() {
        QFETCH(QByteArray, content);
        QFETCH(QString, shown);
        const SavedCommand cmd = command("web");
        QVERIFY(writeLog("web", content));
        m_service->showLog(cmd);
        QCOMPARE(m_service->viewingLog(), std::optional<SavedCommand>(cmd));
        QCOMPARE(m_service->logText(), shown);
    }

    void aLogThatAppearsLaterIsPickedUp() {
        const SavedCommand cmd = command("later");
        m_service->showLog(cmd);
        QCOMPARE(m_service->logText(), kNoLog);
        QVERIFY(writeLog("later", "listening on 127.0.0.1:5173\n"));
        QCOMPARE(m_box->tickers.fire(kRefreshMs), 1);
        QCOMPARE(m_service->logText(), QString("listening on 127.0.0.1:5173\n"));
    }

    void slashInTheNameBecomesAHyphen() {
        const SavedCommand cmd = command("api/v2 server");
        QCOMPARE(m_service->logPath(cmd.name), m_service->logsDir() + "/api-v2 server.log");
        m_service->start(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 5000);
        QVERIFY(QFile::exists(m_service->logsDir() + "/api-v2 server.log"));
        m_service->showLog(cmd);
        QCOMPARE(m_service->logText(), kEmpty);
    }

    void deletedLogsFolderComesBackOwnerOnly() {
        const SavedCommand cmd = command("again");
        QVERIFY(writeLog("again", "old\n"));
        QVERIFY(QDir(m_service->logsDir()).removeRecursively());
        m_service->start(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 5000);
        struct stat folder {
        }, file{};
        QCOMPARE(::stat(QFile::encodeName(m_service->logsDir()).constData(), &folder), 0);
        QCOMPARE(folder.st_mode & 07777, mode_t(0700));
        QCOMPARE(::stat(QFile::encodeName(m_service->logPath("again")).constData(), &file), 0);
        QCOMPARE(file.st_mode & 07777, mode_t(0600));
    }

    void textIsPublishedOnlyWhenItChanges() {
        const SavedCommand cmd = command("quiet");
        QVERIFY(writeLog("quiet", "same\n"));
        QSignalSpy changed(m_service, &CommandsService::logTextChanged);
        m_service->showLog(cmd);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(m_box->tickers.fire(kRefreshMs), 1);
        QCOMPARE(m_box->tickers.fire(kRefreshMs), 1);
        QCOMPARE(changed.size(), 1);
        QVERIFY(writeLog("quiet", "other\n"));
        m_box->tickers.fire(kRefreshMs);
        QCOMPARE(changed.size(), 2);
        QCOMPARE(m_service->logText(), QString("other\n"));
    }

    void closingStopsTheRefresh() {
        const SavedCommand cmd = command("closing");
        QVERIFY(writeLog("closing", "one\n"));
        m_service->showLog(cmd);
        m_service->hideLog();
        QVERIFY(!m_service->viewingLog());
        QCOMPARE(m_service->logText(), QString());
        QVERIFY(writeLog("closing", "two\n"));
        QVERIFY(!m_box->tickers.isRunning(kRefreshMs));
        m_box->tickers.fire(kRefreshMs);
        QCOMPARE(m_service->logText(), QString());
    }
};

QTEST_GUILESS_MAIN(tst_ServiceLogs)
#include "tst_ServiceLogs.moc"
