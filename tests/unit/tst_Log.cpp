// The program's log lines: their form, the categories' defaults, the rules that switch debug lines on,
// and a capture that lines from other threads reach safely.
#include "fakes/TestSupport.h"
#include "platform/LogCategories.h"
#include "services/Log.h"

#include <QLoggingCategory>
#include <QtTest>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using CategoryFn = const QLoggingCategory& (*)();

// Rules set by a test last until it ends, also when a check fails half-way.
struct Rules {
    explicit Rules(const QString& rules) { QLoggingCategory::setFilterRules(rules); }
    ~Rules() { QLoggingCategory::setFilterRules(QString()); }
    Q_DISABLE_COPY_MOVE(Rules)
};

} // namespace

Q_DECLARE_METATYPE(CategoryFn)

class tst_Log : public QObject {
    Q_OBJECT
private slots:
    void format_data() {
        QTest::addColumn<QByteArray>("category");
        QTest::addColumn<QString>("expected"); // null: not a line of the program
        QTest::newRow("a line") << QByteArray("quillbay") << QStringLiteral("[Quillbay] hello");
        QTest::newRow("a subsystem") << QByteArray("quillbay.clipboard")
                                     << QStringLiteral("[Quillbay] clipboard: hello");
        QTest::newRow("a part of a subsystem")
            << QByteArray("quillbay.island.frames") << QStringLiteral("[Quillbay] island.frames: hello");
        QTest::newRow("Qt's default") << QByteArray("default") << QString();
        QTest::newRow("Qt's own") << QByteArray("qt.qpa.xcb") << QString();
        QTest::newRow("a longer name") << QByteArray("quillbayish") << QString();
        QTest::newRow("a longer name with a dot") << QByteArray("quillbays.clipboard") << QString();
        QTest::newRow("nothing after the dot") << QByteArray("quillbay.") << QString();
        QTest::newRow("no category") << QByteArray() << QString();
    }
    void format() {
        QFETCH(QByteArray, category);
        QFETCH(QString, expected);
        const QMessageLogContext context(nullptr, 0, nullptr,
                                         category.isNull() ? nullptr : category.constData());
        const std::optional<QString> line = Log::format(context, QStringLiteral("hello"));
        QCOMPARE(line.has_value(), !expected.isNull());
        if (line)
            QCOMPARE(*line, expected);
    }

    // Lines the program always writes stay, whatever the rules silence.
    void linesAreNeverFiltered_data() {
        QTest::addColumn<QString>("rules");
        QTest::newRow("none") << QString();
        QTest::newRow("every category's information") << QStringLiteral("*.info=false");
        QTest::newRow("ours by name") << QStringLiteral("quillbay.info=false\nquillbay.*=false");
        QTest::newRow("everything") << QStringLiteral("*=false");
    }
    void linesAreNeverFiltered() {
        QFETCH(QString, rules);
        Rules set(rules);
        TestSupport::LogCapture capture;
        Log::line(QStringLiteral("update not installed: the signature does not match"));
        QCOMPARE(capture.lines(), QStringList{QStringLiteral(
                                      "[Quillbay] update not installed: the signature does not match")});
    }

    void categories_data() {
        QTest::addColumn<CategoryFn>("category");
        QTest::addColumn<QString>("name");
        QTest::newRow("island") << CategoryFn(&lcIsland) << QStringLiteral("island");
        QTest::newRow("hotkeys") << CategoryFn(&lcHotkeys) << QStringLiteral("hotkeys");
        QTest::newRow("clipboard") << CategoryFn(&lcClipboard) << QStringLiteral("clipboard");
        QTest::newRow("services") << CategoryFn(&lcServices) << QStringLiteral("services");
        QTest::newRow("ai") << CategoryFn(&lcAI) << QStringLiteral("ai");
        QTest::newRow("news") << CategoryFn(&lcNews) << QStringLiteral("news");
        QTest::newRow("updates") << CategoryFn(&lcUpdates) << QStringLiteral("updates");
        QTest::newRow("web") << CategoryFn(&lcWeb) << QStringLiteral("web");
        QTest::newRow("platform") << CategoryFn(&lcPlatform) << QStringLiteral("platform");
    }
    // Debug lines are quiet until a rule names their category (or all of ours), and then read
    // "[Quillbay] <subsystem>: …"; a rule for another subsystem leaves them quiet.
    void categories() {
        QFETCH(CategoryFn, category);
        QFETCH(QString, name);
        QCOMPARE(QString::fromLatin1(category().categoryName()), QStringLiteral("quillbay.") + name);
        QVERIFY(category().isInfoEnabled());
        QVERIFY(category().isWarningEnabled());
        const QString other = name == QLatin1String("news") ? QStringLiteral("web") : QStringLiteral("news");
        TestSupport::LogCapture capture;
        qCDebug(category, "by default");
        {
            Rules set(QStringLiteral("quillbay.%1.debug=true").arg(other));
            qCDebug(category, "for another subsystem");
        }
        {
            Rules set(QStringLiteral("quillbay.%1.debug=true").arg(name));
            qCDebug(category, "by name");
        }
        {
            Rules set(QStringLiteral("quillbay.*.debug=true"));
            qCDebug(category, "all of ours");
        }
        qCDebug(category, "rules gone");
        QCOMPARE(capture.lines(), (QStringList{QStringLiteral("[Quillbay] %1: by name").arg(name),
                                               QStringLiteral("[Quillbay] %1: all of ours").arg(name)}));
    }

    // An inner capture takes the lines while it lives; the outer one gets them again after it.
    void capturesNest() {
        TestSupport::LogCapture outer;
        Log::line(QStringLiteral("one"));
        {
            TestSupport::LogCapture inner;
            Log::line(QStringLiteral("two"));
            QCOMPARE(inner.lines(), QStringList{QStringLiteral("[Quillbay] two")});
        }
        Log::line(QStringLiteral("three"));
        QCOMPARE(outer.lines(),
                 (QStringList{QStringLiteral("[Quillbay] one"), QStringLiteral("[Quillbay] three")}));
    }

    // Workers log while captures come and go on this thread: each line lands, whole, in exactly one of
    // them (the outer capture takes what comes between the inner ones).
    void linesFromOtherThreadsWhileCapturesEnd() {
        TestSupport::LogCapture outer;
        std::atomic<bool> stop{false};
        std::atomic<int> written{0};
        std::vector<std::thread> workers;
        const auto joinAll = [&] {
            stop = true;
            for (std::thread& t : workers)
                if (t.joinable())
                    t.join();
        };
        // Joined also when a check below fails: a thread left running ends the executable.
        const std::unique_ptr<void, std::function<void(void*)>> guard(&workers, [&](void*) { joinAll(); });
        for (int w = 0; w < 4; ++w)
            workers.emplace_back([&, w] {
                while (!stop) {
                    Log::line(QStringLiteral("worker %1").arg(w));
                    ++written;
                }
            });
        QStringList lines;
        for (int round = 0; round < 50; ++round) {
            TestSupport::LogCapture inner;
            const int before = written;
            QVERIFY(TestSupport::pollUntil([&] { return written > before + 20; }, 30000, 1));
            inner.end();
            lines += inner.lines();
        }
        joinAll();
        lines += outer.lines();
        QCOMPARE(int(lines.size()), written.load());
        for (const QString& line : std::as_const(lines))
            QVERIFY2(line.startsWith(QLatin1String("[Quillbay] worker ")) && line.size() == 19,
                     qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(tst_Log)
#include "tst_Log.moc"
