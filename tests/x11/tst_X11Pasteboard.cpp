// The clipboard read from and written to real X clients: copies of another program are recorded (or
// not, when a password manager marks them), an owner that never answers or sends megabytes does not
// hold up the main thread, a text longer than the history reads is received to its end so that its
// owner (xclip among them) keeps serving it, an owner that quits halfway through one leaves nothing
// behind, and the kit reads such a text whole.
#include "fakes/FakeClock.h"
#include "fakes/TestSupport.h"
#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11Pasteboard.h"
#include "services/ClipboardService.h"
#include "services/UtilsState.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <xcb/xcb.h>

#include <memory>
#include <optional>

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
    // Whether the owner printed `line` within the time.
    bool says(const QByteArray& line, int timeoutMs) {
        return QTest::qWaitFor(
            [&] {
                m_output += m_process.readAllStandardOutput();
                return m_output.contains(line);
            },
            timeoutMs);
    }

private:
    QByteArray m_output;
    QProcess m_process;
    bool m_ready = false;
};

QByteArray readClipboard() {
    QProcess reader;
    reader.start(QStringLiteral(QUILLBAY_CLIP_OWNER), {QStringLiteral("read")});
    reader.waitForFinished(5000);
    return reader.readAllStandardOutput();
}

// What `xclip -o` prints for a selection ("clipboard" or "primary"), asked for `target` when given;
// null when it fails.
QByteArray xclipOut(const QString& selection, const QString& target = {}) {
    QProcess xclip;
    QStringList arguments{QStringLiteral("-o"), QStringLiteral("-selection"), selection};
    if (!target.isEmpty())
        arguments << QStringLiteral("-t") << target;
    xclip.start(QStringLiteral("xclip"), arguments);
    if (!xclip.waitForFinished(60000) || xclip.exitStatus() != QProcess::NormalExit || xclip.exitCode() != 0)
        return QByteArray();
    return xclip.readAllStandardOutput();
}

// Whether some client owns the CLIPBOARD selection now.
bool clipboardOwned() {
    xcb_connection_t* c = X11Desktop::connection();
    const QByteArray name("CLIPBOARD");
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.constData()), nullptr);
    if (!atom)
        return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
    const bool owned = owner && owner->owner != XCB_NONE;
    std::free(atom);
    std::free(owner);
    return owned;
}

// xclip serving a file's content as the clipboard, in the foreground, so that its death shows.
class Xclip {
public:
    explicit Xclip(const QString& file) {
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral("xclip"), {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                                                  QStringLiteral("clipboard"), QStringLiteral("-i"), file});
    }
    ~Xclip() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool running() const { return m_process.state() == QProcess::Running; }
    QByteArray output() { return m_process.readAll(); }

private:
    QProcess m_process;
};

QByteArray fileContent(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A whole read of the board's clipboard, waited for.
Pasteboard::WholeText readWhole(Pasteboard& board, qsizetype maxBytes) {
    QObject context;
    std::optional<Pasteboard::WholeText> answer;
    board.readWholeText(maxBytes, &context, [&](Pasteboard::WholeText w) { answer = std::move(w); });
    if (!QTest::qWaitFor([&] { return answer.has_value(); }, 60000))
        return {};
    return *answer;
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
        QTest::qWait(5); // polls, and lets the gap ticker run
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

    // Each new owner is announced once, on the main thread, with its content already read; the history
    // records from that notice alone.
    void aNewOwnerIsAnnouncedAndRecordedWithoutAsking() {
        int notices = 0, elsewhere = 0;
        std::optional<QString> seen;
        m_board->setChangeHandler([&] {
            ++notices;
            elsewhere += QThread::currentThread() != qApp->thread();
            seen = m_board->text();
        });
        Owner first({QStringLiteral("own"), QStringLiteral("announced")});
        QVERIFY(first.ready());
        QTRY_COMPARE(notices, 1);
        QCOMPARE(seen, std::optional<QString>(QStringLiteral("announced")));
        QCOMPARE(elsewhere, 0);

        auto service = makeService(); // takes the handler over
        Owner second({QStringLiteral("own"), QStringLiteral("recorded by itself")});
        QVERIFY(second.ready());
        QTRY_COMPARE(service->items().size(), 1);
        QCOMPARE(service->items().first().text, QStringLiteral("recorded by itself"));
        QCOMPARE(notices, 1);
    }

    // With the clipboard's debug lines on, each new owner and what it offered are logged (from the
    // clipboard's own thread); off, nothing.
    void ownerChangesAreLoggedWhenAsked() {
        auto rules = qScopeGuard([] { QLoggingCategory::setFilterRules(QString()); });
        TestSupport::LogCapture quiet;
        quint64 count = m_board->changeCount();
        Owner unseen({QStringLiteral("own"), QStringLiteral("quiet")});
        QVERIFY(unseen.ready());
        QVERIFY(waitForChange(count));
        quiet.end();
        QCOMPARE(quiet.lines(), QStringList());

        QLoggingCategory::setFilterRules(QStringLiteral("quillbay.clipboard.debug=true"));
        TestSupport::LogCapture capture;
        count = m_board->changeCount();
        Owner seen({QStringLiteral("own"), QStringLiteral("four")});
        QVERIFY(seen.ready());
        QVERIFY(waitForChange(count));
        QTRY_COMPARE(capture.lines().size(), 2);
        const QStringList lines = capture.lines();
        const QRegularExpression owner(
            QStringLiteral("^\\[Quillbay\\] clipboard: clipboard owner is now window 0x([0-9a-f]+)$"));
        const auto named = owner.match(lines[0]);
        QVERIFY2(named.hasMatch(), qPrintable(lines[0]));
        const QRegularExpression offered(
            QStringLiteral("^\\[Quillbay\\] clipboard: window 0x%1 offered \\d+ types and 4 bytes of text$")
                .arg(named.captured(1)));
        QVERIFY2(offered.match(lines[1]).hasMatch(), qPrintable(lines[1]));
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
        QTest::qWait(100); // proves the primary selection adds no change
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
        QCOMPARE(board->text(), QStringLiteral("  there before  "));
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
        int polls = 0;
        QObject::connect(&poller, &QTimer::timeout, service.get(), &ClipboardService::poll);
        QObject::connect(&poller, &QTimer::timeout, [&] { ++polls; });
        poller.start(10);
        // The read is under way once the owner is asked, and its answer never comes. The main thread
        // goes on polling meanwhile: one held until the read gave up would see the change first.
        QVERIFY(silent.says("asked", 10000));
        const int pollsWhenAsked = polls;
        QTRY_VERIFY(polls >= pollsWhenAsked + 5 || m_board->changeCount() != start);
        QCOMPARE(m_board->changeCount(), start);
        QTRY_VERIFY_WITH_TIMEOUT(m_board->changeCount() != start, X11Pasteboard::kReadTimeoutMs + 3000);
        QVERIFY(!m_board->text()); // given up after the time limit
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

    // The same copy as `head -c 20M /dev/urandom | base64 | xclip -selection clipboard`, made while we
    // run or before we start: xclip keeps serving all of it, and the history takes its first 10000
    // characters.
    void largeXclipCopyStaysOnTheClipboard_data() {
        QTest::addColumn<bool>("beforeStart");
        QTest::newRow("copied while running") << false;
        QTest::newRow("on the clipboard at start") << true;
    }
    void largeXclipCopyStaysOnTheClipboard() {
        QFETCH(bool, beforeStart);
        if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
            QSKIP("xclip is not installed (Debian package xclip)");
        const QString file = m_dir->filePath(QStringLiteral("large.txt"));
        QCOMPARE(QProcess::execute(QStringLiteral("sh"),
                                   {QStringLiteral("-c"),
                                    QStringLiteral("head -c 20M /dev/urandom | base64 > '%1'").arg(file)}),
                 0);
        const QByteArray data = fileContent(file);
        QVERIFY(data.size() > 20 * 1024 * 1024);

        if (beforeStart)
            m_board.reset();
        auto service = m_board ? makeService() : nullptr;
        const quint64 start = m_board ? m_board->changeCount() : 0;
        Xclip xclip(file);
        QVERIFY(QTest::qWaitFor(clipboardOwned, 10000));
        if (beforeStart) {
            m_board = X11Pasteboard::create();
            QVERIFY(m_board);
            QVERIFY(QTest::qWaitFor([&] { return m_board->text().has_value(); }, 10000));
        } else {
            QVERIFY(waitForChange(start, 10000));
            service->poll();
            QCOMPARE(service->items().size(), 1);
            QCOMPARE(service->items().first().text,
                     QString::fromLatin1(data.left(ClipboardService::maxLength)));
        }
        QCOMPARE(m_board->lastReadBytes(), X11Pasteboard::kMaxTextBytes);
        QVERIFY(m_board->textIsCut());
        QCOMPARE(m_board->text()->toLatin1(), data.left(X11Pasteboard::kMaxTextBytes));

        // The rest of the transfer is taken to its end, as the owner expects, and dropped.
        QVERIFY(QTest::qWaitFor([&] { return m_board->drainingTransfers() == 0; }, 30000));
        QVERIFY2(xclip.running(), xclip.output().constData());
        QCOMPARE(xclipOut(QStringLiteral("clipboard")), data);

        // A whole read takes it all, or says it is too large, and leaves the owner serving it either way.
        const Pasteboard::WholeText whole = readWhole(*m_board, 64 * 1024 * 1024);
        QVERIFY(!whole.tooLarge);
        QVERIFY(whole.text);
        QCOMPARE(whole.text->size(), data.size());
        QVERIFY(whole.text->toLatin1() == data);
        const Pasteboard::WholeText tooLarge = readWhole(*m_board, 1024 * 1024);
        QVERIFY(tooLarge.tooLarge);
        QVERIFY(!tooLarge.text);
        QVERIFY(QTest::qWaitFor([&] { return m_board->drainingTransfers() == 0; }, 30000));
        QVERIFY2(xclip.running(), xclip.output().constData());
        QCOMPARE(xclipOut(QStringLiteral("clipboard")).size(), data.size());
    }

    // A JSON document of a few megabytes is formatted by the kit, not cut where the history's read stops.
    void kitTakesALongJsonWhole() {
        if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
            QSKIP("xclip is not installed (Debian package xclip)");
        QByteArray json = "[";
        for (int i = 0; json.size() < 5'800'000; ++i)
            json += (i ? "," : "") + QByteArray("{\"id\":") + QByteArray::number(i) + ",\"name\":\"item " +
                    QByteArray::number(i) + "\",\"tags\":[\"a\",\"b\"]}";
        json += "]";
        const QString file = m_dir->filePath(QStringLiteral("doc.json"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(json), json.size());
        }
        const quint64 start = m_board->changeCount();
        Xclip xclip(file);
        QVERIFY(waitForChange(start, 10000));
        QVERIFY(m_board->textIsCut());

        UtilsState kit(UtilsState::Seams{&m_clock, m_board.get()});
        kit.setTool(DevTool::epoch);
        kit.pasteAndDetect();
        QVERIFY(QTest::qWaitFor([&] { return kit.input().size() == json.size(); }, 30000));
        QCOMPARE(kit.tool(), DevTool::json);
        QVERIFY(QTest::qWaitFor([&] { return !kit.processing(); }, 60000));
        QVERIFY2(kit.output().startsWith(QLatin1String("[\n")), qPrintable(kit.output().left(200)));
        QVERIFY(kit.input().toLatin1() == json);
    }

    // The ending part of a long transfer reaches the owner: it is asked for, not left waiting.
    void hugeTransferIsTakenToItsEnd() {
        Owner huge({QStringLiteral("huge"), QString::number(8 * 1024 * 1024)});
        QVERIFY(huge.ready());
        QVERIFY(huge.says("sent all", 30000));
        QVERIFY(QTest::qWaitFor([&] { return m_board->drainingTransfers() == 0; }, 10000));
        QVERIFY(m_board->textIsCut());
        QCOMPARE(m_board->text()->size(), X11Pasteboard::kMaxTextBytes);
    }

    // An owner that quits halfway through a long text never sends the ending part: its content goes with
    // it, the window still taking the rest is given up once the owner has gone quiet, and the next copy is
    // read, and read whole, in spite of it.
    void ownerVanishingMidTransferLeavesNothingBehind() {
        const quint64 start = m_board->changeCount();
        Owner vanishing({QStringLiteral("vanish"), QString::number(1024 * 1024)});
        QVERIFY(vanishing.ready());
        QVERIFY(vanishing.says("vanished", 10000));
        // One change for its content, one for its going.
        QVERIFY(QTest::qWaitFor([&] { return m_board->changeCount() == start + 2; }, 10000));
        QVERIFY(!m_board->text());

        const std::optional<QString> next(QStringLiteral("copied after"));
        Owner after({QStringLiteral("own"), *next});
        QVERIFY(after.ready());
        QVERIFY(QTest::qWaitFor([&] { return m_board->text() == next; }, 5000));
        const Pasteboard::WholeText whole = readWhole(*m_board, 1024);
        QVERIFY(!whole.tooLarge);
        QCOMPARE(whole.text, next);
        QVERIFY(QTest::qWaitFor([&] { return m_board->drainingTransfers() == 0; },
                                X11Pasteboard::kDrainIdleMs + 5000));
    }

    void primarySelectionIsWrittenOnRequest() {
        if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
            QSKIP("xclip is not installed (Debian package xclip)");
        Owner plain({QStringLiteral("own"), QStringLiteral("on the clipboard")});
        QVERIFY(plain.ready());
        m_board->writePrimary(QStringLiteral("for the terminal — ünïcode"));
        QVERIFY(QTest::qWaitFor([&] { return !m_board->writing(); }, 5000));
        QCOMPARE(xclipOut(QStringLiteral("primary")), QStringLiteral("for the terminal — ünïcode").toUtf8());
        // The clipboard keeps its owner.
        QCOMPARE(xclipOut(QStringLiteral("clipboard")), QByteArray("on the clipboard"));
    }

    void writtenFilesAreServedAsCopies_data() {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QByteArray>("uriList");
        QTest::addColumn<QByteArray>("copiedFiles");
        QTest::newRow("one file") << QStringList{"/tmp/a.txt"} << QByteArray("file:///tmp/a.txt\r\n")
                                  << QByteArray("copy\nfile:///tmp/a.txt");
        QTest::newRow("spaces and accents are escaped")
            << QStringList{"/tmp/my notes/ação.md"}
            << QByteArray("file:///tmp/my%20notes/a%C3%A7%C3%A3o.md\r\n")
            << QByteArray("copy\nfile:///tmp/my%20notes/a%C3%A7%C3%A3o.md");
        QTest::newRow("two files") << QStringList{"/tmp/a", "/tmp/b"}
                                   << QByteArray("file:///tmp/a\r\nfile:///tmp/b\r\n")
                                   << QByteArray("copy\nfile:///tmp/a\nfile:///tmp/b");
    }

    // Files go on the clipboard in the forms file managers paste from, with no text beside them, and a
    // text written later takes their place.
    void writtenFilesAreServedAsCopies() {
        if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
            QSKIP("xclip is not installed (Debian package xclip)");
        QFETCH(QStringList, paths);
        QFETCH(QByteArray, uriList);
        QFETCH(QByteArray, copiedFiles);
        auto service = makeService();
        const quint64 start = m_board->changeCount();
        m_board->writeFiles(paths);
        QVERIFY(QTest::qWaitFor([&] { return !m_board->writing(); }, 5000));
        QCOMPARE(xclipOut(QStringLiteral("clipboard"), QStringLiteral("text/uri-list")), uriList);
        QCOMPARE(xclipOut(QStringLiteral("clipboard"), QStringLiteral("x-special/gnome-copied-files")),
                 copiedFiles);
        const QList<QByteArray> targets =
            xclipOut(QStringLiteral("clipboard"), QStringLiteral("TARGETS")).trimmed().split('\n');
        QVERIFY2(!targets.contains("UTF8_STRING"), targets.join(' ').constData());
        QVERIFY(targets.contains("text/uri-list"));
        QVERIFY(!m_board->text());
        QCOMPARE(m_board->types(), QStringList({"text/uri-list", "x-special/gnome-copied-files"}));
        // Our own files are no new copy for the history, and have no text to take in whole.
        QCOMPARE(m_board->changeCount(), start);
        service->poll();
        QVERIFY(service->items().isEmpty());
        std::optional<Pasteboard::WholeText> whole;
        m_board->readWholeText(1 << 20, this, [&](Pasteboard::WholeText w) { whole = w; });
        QTRY_VERIFY(whole.has_value());
        QVERIFY(!whole->text);
        QVERIFY(!whole->tooLarge);

        m_board->writeText(QStringLiteral("after"));
        QVERIFY(QTest::qWaitFor([&] { return !m_board->writing(); }, 5000));
        QCOMPARE(xclipOut(QStringLiteral("clipboard")), QByteArray("after"));
        QVERIFY(xclipOut(QStringLiteral("clipboard"), QStringLiteral("text/uri-list")).isEmpty());
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
        QVERIFY(QTest::qWaitFor([&] { return !service->copying(); }, 5000));
        QCOMPARE(readClipboard(), QStringLiteral("línea\ntwo").toUtf8());
        QTest::qWait(200); // proves our own text is not taken for a new copy
        service->poll();
        QCOMPARE(service->items().size(), 1);
        QCOMPARE(service->changeCount(), m_board->changeCount());
    }
};

QTEST_MAIN(tst_X11Pasteboard)
#include "tst_X11Pasteboard.moc"
