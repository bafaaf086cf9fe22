// The clipboard read from and written to real X clients: copies of another program are recorded (or
// not, when a password manager marks them), and an owner that never answers or sends megabytes does not
// hold up the main thread.
#include "fakes/FakeClock.h"
#include "platform/x11/X11Pasteboard.h"
#include "services/ClipboardService.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// Another X client owning the clipboard; it is stopped when this goes.
class Owner {
public:
    explicit Owner(const QStringList& args) {
        m_process.start(QStringLiteral(QUILLBAY_CLIP_OWNER), args);
        m_ready = m_process.waitForStarted(5000) && m_process.waitForReadyRead(5000) &&
                  m_process.readLine().trimmed() == "ready";
    }
    ~Owner() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool ready() const { return m_ready; }

private:
    QProcess m_process;
    bool m_ready = false;
};

QByteArray readClipboard() {
    QProcess reader;
    reader.start(QStringLiteral(QUILLBAY_CLIP_OWNER), {QStringLiteral("read")});
    reader.waitForFinished(5000);
    return reader.readAllStandardOutput();
}

// Runs the event loop until `done` holds, and reports the longest gap between two ticks of a 5 ms timer
// meanwhile: how long the main thread was kept from its events.
qint64 longestStallUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer total, gap;
    total.start();
    gap.start();
    qint64 longest = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, gap.restart()); });
    tick.start();
    while (!done() && total.elapsed() < timeoutMs)
        QTest::qWait(5);
    return longest;
}

} // namespace

class tst_X11Pasteboard : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<X11Pasteboard> m_board;
    FakeClock m_clock;

    std::unique_ptr<ClipboardService> makeService() {
        return std::make_unique<ClipboardService>(*m_board, m_clock,
                                                  m_dir->filePath(QStringLiteral("clipboard.json")));
    }
    bool waitForChange(quint64 from, int timeoutMs = 5000) {
        return QTest::qWaitFor([&] { return m_board->changeCount() != from; }, timeoutMs);
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_board = X11Pasteboard::create();
        QVERIFY2(m_board, "no X server with XFixes");
    }
    void cleanup() { m_board.reset(); }

    void copiesOfAnotherProgramAreRecorded() {
        auto service = makeService();
        const quint64 start = m_board->changeCount();
        Owner plain({QStringLiteral("own"), QStringLiteral("copied élsewhere")});
        QVERIFY(plain.ready());
        QVERIFY(waitForChange(start));
        service->poll();
        QCOMPARE(service->items().size(), 1);
        QCOMPARE(service->items().first().text, QStringLiteral("copied élsewhere"));
        QVERIFY(m_board->types().contains(QStringLiteral("UTF8_STRING")));
    }

    void passwordManagerCopiesAreNotRecorded() {
        auto service = makeService();
        const quint64 start = m_board->changeCount();
        Owner secret({QStringLiteral("own"), QStringLiteral("hunter2"), QStringLiteral("--hint")});
        QVERIFY(secret.ready());
        QVERIFY(waitForChange(start));
        QVERIFY(m_board->types().contains(QStringLiteral("x-kde-passwordManagerHint")));
        service->poll();
        QVERIFY(service->items().isEmpty());
        QCOMPARE(service->changeCount(), m_board->changeCount());
    }

    void primarySelectionIsIgnored() {
        auto service = makeService();
        const quint64 start = m_board->changeCount();
        Owner primary({QStringLiteral("primary"), QStringLiteral("selected, not copied")});
        QVERIFY(primary.ready());
        // A clipboard copy made afterwards is seen, so the primary one had its chance to be seen first.
        Owner plain({QStringLiteral("own"), QStringLiteral("copied")});
        QVERIFY(plain.ready());
        QVERIFY(waitForChange(start));
        QTest::qWait(100);
        QCOMPARE(m_board->changeCount(), start + 1);
        service->poll();
        QCOMPARE(service->items().size(), 1);
        QCOMPARE(service->items().first().text, QStringLiteral("copied"));
    }

    void contentPresentAtStartIsReadButNeverRecorded() {
        Owner earlier({QStringLiteral("own"), QStringLiteral("  there before  ")});
        QVERIFY(earlier.ready());
        auto board = X11Pasteboard::create();
        QVERIFY(board);
        ClipboardService service(*board, m_clock, m_dir->filePath(QStringLiteral("start.json")));
        QVERIFY(QTest::qWaitFor([&] { return board->text().has_value(); }, 5000));
        QCOMPARE(service.currentText(), QStringLiteral("there before"));
        QCOMPARE(board->changeCount(), quint64(0));
        service.poll();
        QVERIFY(service.items().isEmpty());
    }

    void silentOwnerDoesNotHoldUpTheMainThread() {
        auto service = makeService();
        const quint64 start = m_board->changeCount();
        Owner silent({QStringLiteral("silent")});
        QVERIFY(silent.ready());
        QTimer poller;
        QObject::connect(&poller, &QTimer::timeout, service.get(), &ClipboardService::poll);
        poller.start(10);
        const qint64 stall = longestStallUntil([&] { return m_board->changeCount() != start; },
                                               X11Pasteboard::kReadTimeoutMs + 3000);
        QVERIFY(m_board->changeCount() != start); // given up after the time limit
        QVERIFY2(stall < 100, qPrintable(QStringLiteral("main thread held for %1 ms").arg(stall)));
        QVERIFY(!m_board->text());
        service->poll();
        QVERIFY(service->items().isEmpty());
    }

    void hugeCopyIsCutWithoutStalling() {
        auto service = makeService();
        const quint64 start = m_board->changeCount();
        Owner huge({QStringLiteral("huge"), QString::number(100 * 1024 * 1024)});
        QVERIFY(huge.ready());
        QTimer poller;
        QObject::connect(&poller, &QTimer::timeout, service.get(), &ClipboardService::poll);
        poller.start(10);
        const qint64 stall = longestStallUntil([&] { return m_board->changeCount() != start; }, 10000);
        QVERIFY(m_board->changeCount() != start);
        QVERIFY2(stall < 100, qPrintable(QStringLiteral("main thread held for %1 ms").arg(stall)));
        QVERIFY(m_board->lastReadBytes() <= X11Pasteboard::kMaxTextBytes);
        service->poll();
        QCOMPARE(service->items().size(), 1);
        QCOMPARE(service->items().first().text, QString(ClipboardService::maxLength, u'a'));
    }

    void writtenTextIsServedAndNotRecorded() {
        auto service = makeService();
        const quint64 start = m_board->changeCount();
        Owner plain({QStringLiteral("own"), QStringLiteral("from elsewhere")});
        QVERIFY(plain.ready());
        QVERIFY(waitForChange(start));
        service->poll();
        QCOMPARE(service->items().size(), 1);
        const ClipItem entry{QUuid::createUuid(), QStringLiteral("línea\ntwo"), m_clock.now(), false};
        service->copy(entry);
        QTRY_COMPARE_WITH_TIMEOUT(readClipboard(), QStringLiteral("línea\ntwo").toUtf8(), 5000);
        QTest::qWait(200);
        service->poll();
        QCOMPARE(service->items().size(), 1); // our own text is not a new copy
        QCOMPARE(service->changeCount(), m_board->changeCount());
    }
};

QTEST_MAIN(tst_X11Pasteboard)
#include "tst_X11Pasteboard.moc"
