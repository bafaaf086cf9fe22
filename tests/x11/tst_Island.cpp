// The built program on a private X server, driven like a user would: the island shows at the top
// centre, opens under the pointer and on its hot keys, lets clicks beside it through, and follows the
// screen the settings prefer when that monitor appears and goes.
#include "app/AppScreens.h"
#include "fakes/DesktopSession.h"
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "model/SavedCommand.h"
#include "platform/qt/QtScreenList.h"
#include "services/AppPaths.h"
#include "services/Defaults.h"
#include "x11/PointerMotion.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QWidget>
#include <QtTest>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <csignal>
#include <functional>

namespace {

const QString kBinary = QStringLiteral(QUILLBAY_BINARY_DIR "/quillbay");
// The island reacts within a few frames; a machine busy with other tests can take seconds. Only a
// failing wait ever lasts this long.
constexpr int kSettleMs = 10000;

class Below : public QWidget {
public:
    int presses = 0;
    QPoint lastPress;
    QString typed;

protected:
    void mousePressEvent(QMouseEvent* e) override {
        ++presses;
        lastPress = e->globalPosition().toPoint();
    }
    void keyPressEvent(QKeyEvent* e) override { typed += e->text(); }
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Qt::white); }
};

using DesktopSession::run;

bool xdotool(const QStringList& args) {
    return run(QStringLiteral("xdotool"), args);
}

// Long enough under a still pointer for the island's tick to rest.
constexpr int kRestMs = 1500;

QRgb pixelAt(int x, int y) {
    return QGuiApplication::primaryScreen()->grabWindow(0, x, y, 1, 1).toImage().pixel(0, 0);
}

// The island panel's place on the root window, or an empty rectangle while it is not mapped.
QRect panelGeometry() {
    QString out;
    if (!run(QStringLiteral("xwininfo"), {"-name", "Quillbay island"}, &out))
        return {};
    if (!out.contains(QLatin1String("IsViewable")))
        return {};
    auto field = [&](const char* label) {
        const QRegularExpression re(QStringLiteral("%1:\\s+(-?\\d+)").arg(QLatin1String(label)));
        return re.match(out).captured(1).toInt();
    };
    return QRect(field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
                 field("Height"));
}

// The X window of the island panel, or 0.
quint32 panelWindow() {
    QString out;
    if (!run(QStringLiteral("xwininfo"), {"-name", "Quillbay island"}, &out))
        return 0;
    const QRegularExpression re(QStringLiteral("Window id: (0x[0-9a-fA-F]+)"));
    return re.match(out).captured(1).toUInt(nullptr, 16);
}

// The top-level window that takes a click at the pointer, input shapes considered.
quint32 windowUnderPointer() {
    QString out;
    if (!run(QStringLiteral("xdotool"), {"getmouselocation", "--shell"}, &out))
        return 0;
    const QRegularExpression re(QStringLiteral("WINDOW=(\\d+)"));
    return re.match(out).captured(1).toUInt();
}

// The window holding the keyboard focus, as another program sees it.
quint32 focusedWindow() {
    QString out;
    return run(QStringLiteral("xdotool"), {"getwindowfocus"}, &out) ? out.trimmed().toUInt() : 0;
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs = kSettleMs) {
    return TestSupport::pollUntil(condition, timeoutMs);
}

void saveShot(const QString& name) {
    // For a human look: QUILLBAY_SHOTS=<folder> keeps the top of the screen of each state.
    const QString dir = qEnvironmentVariable("QUILLBAY_SHOTS");
    if (!dir.isEmpty())
        QGuiApplication::primaryScreen()->grabWindow(0, 560, 0, 800, 400).save(dir + "/" + name + ".png");
}

// The island's part of the screen, to tell what it shows.
QImage islandImage() {
    return QGuiApplication::primaryScreen()->grabWindow(0, 616, 0, 688, 344).toImage();
}

// The share of pixels that differ between two pictures of the island.
double differingShare(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull())
        return 1.0;
    qint64 differing = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            differing += a.pixel(x, y) != b.pixel(x, y);
    return double(differing) / double(qint64(a.width()) * a.height());
}

// The island once its animation has come to rest: two looks 150 ms apart nearly agree (a text
// cursor may blink). A loaded machine may take longer than any fixed pause.
QImage settledIslandImage() {
    QImage last = islandImage();
    QDeadlineTimer deadline(8000);
    while (!deadline.hasExpired()) {
        QTest::qWait(150); // polls: two looks this far apart tell a moving island from a still one
        QImage next = islandImage();
        if (differingShare(next, last) < 0.002)
            return next;
        last = std::move(next);
    }
    return last;
}

// The middle of the longest run of strong red along one row of the open dashboard: the Pomodoro
// tab's start button (the ring's cap and the phase's title are far shorter runs). Null when none is
// at least 40 pixels long.
QPoint longestRedRun() {
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0, 640, 0, 640, 320).toImage();
    QPoint best;
    int bestLength = 39;
    for (int y = 0; y < shot.height(); ++y) {
        int run = 0;
        for (int x = 0; x <= shot.width(); ++x) {
            const QRgb c = x < shot.width() ? shot.pixel(x, y) : 0;
            if (x < shot.width() && qRed(c) > 170 && qGreen(c) < 110 && qBlue(c) < 110) {
                ++run;
                continue;
            }
            if (run > bestLength) {
                bestLength = run;
                best = QPoint(640 + x - run / 2, y);
            }
            run = 0;
        }
    }
    return best;
}

// How often the running program has opened the island: it counts every opening in its defaults.
int islandOpenings() {
    QFile file(TestSupport::folders().defaultsFile(QStringLiteral("com.farrowlight.quillbay")));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("telemetryOpens")).toInt();
}

// The count once an earlier opening has reached the file: the program saves a quarter of a second
// after a change, from a writer thread, so a count read at once can still lack the last opening.
int settledOpenings() {
    int last = islandOpenings();
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        QTest::qWait(750); // polls: longer than the program's save delay, so a still count is final
        const int now = islandOpenings();
        if (now == last)
            return now;
        last = now;
    }
    return last;
}

} // namespace

class tst_Island : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    Below* m_below = nullptr;
    QProcess m_program;
    QByteArray m_output;

    bool start() {
        m_output.clear();
        m_program.setProgram(kBinary);
        m_program.setProcessChannelMode(QProcess::MergedChannels);
        m_program.start();
        return m_program.waitForStarted(5000) && waitUntil([] { return !panelGeometry().isEmpty(); }, 10000);
    }
    void stop() {
        if (m_program.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_program.processId()), SIGTERM);
        if (!m_program.waitForFinished(5000))
            m_program.kill();
        m_program.waitForFinished(2000);
    }
    bool expanded() const { return pixelAt(960, 200) == qRgb(0, 0, 0); }
    // The island's own black beside the dashboard, whatever the dashboard shows over its middle.
    bool openBesideTheDashboard() const { return pixelAt(648, 200) == qRgb(0, 0, 0); }
    bool collapsed() const {
        return pixelAt(960, 200) == qRgb(255, 255, 255) && pixelAt(960, 10) == qRgb(0, 0, 0);
    }

private slots:
    void initTestCase() {
        m_home = TestSupport::isolateHome();
        TestSupport::stayOffTheMakersHost();
        connect(&m_program, &QProcess::readyRead, this, [this] { m_output += m_program.readAll(); });
        QVERIFY2(xdotool({"version"}), "xdotool is needed");
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(screen, QRect(0, 0, 1920, 1080));
        m_below = new Below;
        m_below->setWindowFlag(Qt::FramelessWindowHint);
        m_below->setGeometry(screen);
        m_below->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_below));
        moveLikeAMouse(200, 900);
        QVERIFY2(start(), m_output.constData());
    }
    void cleanupTestCase() {
        stop();
        delete m_below;
    }
    void init() { moveLikeAMouse(200, 900); }

    void showsTheCollapsedIslandTopCentre() {
        QCOMPARE(panelGeometry(), QRect(616, 0, 688, 344));
        QVERIFY(waitUntil([this] { return collapsed(); }));
        // The idle island is the simulated notch: 196 wide, 32 high.
        QCOMPARE(pixelAt(960 - 90, 10), qRgb(0, 0, 0));
        QCOMPARE(pixelAt(960 - 110, 10), qRgb(255, 255, 255));
        QCOMPARE(pixelAt(960, 40), qRgb(255, 255, 255));
        QTRY_VERIFY(m_output.contains("screen.frame=(0.0, 0.0, 1920.0, 1080.0) safeTop=0.0 "
                                      "panel.frame=(616.0, 0.0, 688.0, 344.0) level=101 visible=true "
                                      "collapsed=(196.0, 32.0)"));
        saveShot(QStringLiteral("collapsed"));
    }

    void pointerOpensAndLeavingCloses() {
        moveLikeAMouse(960, 5);
        QVERIFY(waitUntil([this] { return expanded(); }));
        settledIslandImage(); // the dashboard at rest for the picture
        saveShot(QStringLiteral("expanded"));
        moveLikeAMouse(960, 300); // inside the dashboard
        QTest::qWait(300);        // proves the island stays open with the pointer inside
        QVERIFY(expanded());
        moveLikeAMouse(960, 800);
        QVERIFY(waitUntil([this] { return collapsed(); }));
    }

    void aRestingIslandOpensOnMotion() {
        moveLikeAMouse(200, 900);
        QVERIFY(waitUntil([this] { return collapsed(); }));
        QTest::qWait(kRestMs); // the tick's rest shows nowhere outside: only time under a still pointer
        moveLikeAMouse(960, 5);
        QVERIFY(waitUntil([this] { return expanded(); }));
        moveLikeAMouse(960, 800);
        QVERIFY(waitUntil([this] { return collapsed(); }));
    }

    // A warp sends no raw motion and the resting island asks no one: it opens at the next motion.
    void aWarpIntoARestingIslandIsSeenAtTheNextMotion() {
        QVERIFY(waitUntil([this] { return collapsed(); }));
        QTest::qWait(2 *
                     kRestMs); // the collapse has played out, even on a loaded machine, and the tick rests
        QVERIFY(xdotool({"mousemove", "960", "5"}));
        QTest::qWait(kRestMs); // proves that nothing polls for the pointer
        QVERIFY(collapsed());
        moveLikeAMouse(961, 5);
        QVERIFY(waitUntil([this] { return expanded(); }));
        QTest::qWait(kRestMs); // open, the tick rests too under a still pointer
        // A warp off the open island sends no raw motion either, but the pointer leaves its window.
        QVERIFY(xdotool({"mousemove", "960", "800"}));
        QVERIFY(waitUntil([this] { return collapsed(); }));
    }

    void clickBesideTheIslandReachesTheWindowBelow() {
        QVERIFY(waitUntil([this] { return collapsed(); }));
        m_below->presses = 0;
        // Inside the panel's rectangle, outside the island and its hot zone.
        moveLikeAMouse(760, 10);
        QVERIFY(xdotool({"click", "1"}));
        QTRY_COMPARE(m_below->presses, 1);
        QCOMPARE(m_below->lastPress, QPoint(760, 10));
        QVERIFY(collapsed());
    }

    void focusReturnsToTheWindowBelowAfterACollapse() {
        QVERIFY(waitUntil([this] { return collapsed(); }));
        const quint32 below = quint32(m_below->winId());
        QVERIFY(xdotool({"windowfocus", "--sync", QString::number(below)}));
        QTRY_COMPARE(focusedWindow(), below);
        moveLikeAMouse(960, 5);
        QVERIFY(waitUntil([this] { return expanded(); }));
        // The open dashboard has the keyboard; the collapsed island never keeps it.
        QTRY_COMPARE(focusedWindow(), panelWindow());
        moveLikeAMouse(960, 800);
        QVERIFY(waitUntil([this] { return collapsed(); }));
        QTRY_COMPARE(focusedWindow(), below);
    }

    void hotKeyTogglesOnce() {
        QVERIFY(waitUntil([this] { return collapsed(); }));
        QVERIFY(xdotool({"key", "ctrl+alt+n"}));
        QVERIFY(waitUntil([this] { return expanded(); }));
        // Opened from the keyboard, it stays open with the pointer far away.
        QTest::qWait(500); // proves it stays open
        QVERIFY(expanded());
        QVERIFY(xdotool({"key", "ctrl+alt+n"}));
        QVERIFY(waitUntil([this] { return collapsed(); }));
        QTest::qWait(300); // proves it stays closed
        QVERIFY(collapsed());
    }

    void hotKeyWorksWithNumLockOn() {
        QVERIFY(waitUntil([this] { return collapsed(); }));
        QVERIFY(xdotool({"key", "Num_Lock"}));
        auto numLockOff = qScopeGuard([] { xdotool({"key", "Num_Lock"}); });
        QVERIFY(xdotool({"key", "ctrl+alt+n"}));
        QVERIFY(waitUntil([this] { return expanded(); }));
        QVERIFY(xdotool({"key", "ctrl+alt+n"}));
        QVERIFY(waitUntil([this] { return collapsed(); }));
    }

    void heldHotKeyTogglesOnce() {
        QVERIFY(waitUntil([this] { return collapsed(); }));
        const int before = settledOpenings();
        // Held past the server's repeat delay, so that repeated presses do arrive (the sleep is the hold).
        QVERIFY(run("sh", {"-c", "xdotool keydown ctrl+alt+n && sleep 1 && xdotool keyup n && "
                                 "xdotool keyup ctrl+alt"}));
        QVERIFY(waitUntil([this] { return expanded(); }));
        // The count reaches the file from a writer thread: wait for the first opening, then make sure
        // no second one follows.
        QVERIFY(waitUntil([before] { return islandOpenings() >= before + 1; }));
        QTest::qWait(500); // proves no second opening follows
        QVERIFY(expanded());
        QCOMPARE(islandOpenings(), before + 1);
        QVERIFY(xdotool({"key", "ctrl+alt+n"}));
        QVERIFY(waitUntil([this] { return collapsed(); }));
    }

    void paletteHotKeyOpensPaletteAndIsland() {
        QVERIFY(waitUntil([this] { return collapsed(); }));
        // The dashboard without the palette, to compare with.
        QVERIFY(xdotool({"key", "ctrl+alt+n"}));
        QVERIFY(waitUntil([this] { return openBesideTheDashboard(); }));
        const QImage dashboard = settledIslandImage();
        QVERIFY(xdotool({"key", "ctrl+alt+n"}));
        QVERIFY(waitUntil([this] { return collapsed(); }));

        QVERIFY(xdotool({"key", "ctrl+alt+k"}));
        QVERIFY(waitUntil([this] { return openBesideTheDashboard(); }));
        const double withPalette = differingShare(settledIslandImage(), dashboard);
        QVERIFY2(withPalette > 0.03, qPrintable(QString::number(withPalette)));
        // Again: both close.
        QVERIFY(xdotool({"key", "ctrl+alt+k"}));
        QVERIFY(waitUntil([this] { return collapsed(); }));

        // The island hot key over an open palette collapses the island and closes the palette.
        QVERIFY(xdotool({"key", "ctrl+alt+k"}));
        QVERIFY(waitUntil([this] { return openBesideTheDashboard(); }));
        QVERIFY(xdotool({"key", "ctrl+alt+n"}));
        QVERIFY(waitUntil([this] { return collapsed(); }));
        QVERIFY(xdotool({"key", "ctrl+alt+n"}));
        QVERIFY(waitUntil([this] { return openBesideTheDashboard(); }));
        const double reopened = differingShare(settledIslandImage(), dashboard);
        QVERIFY2(reopened < 0.01, qPrintable(QString::number(reopened)));
        QVERIFY(xdotool({"key", "ctrl+alt+n"}));
        QVERIFY(waitUntil([this] { return collapsed(); }));
    }

    // With the focus timer running the collapsed island grows a 64-wide wing on each side, and the
    // timer's button in the left one pauses it without opening the island.
    void timerWingShowsAndItsButtonPauses() {
        QVERIFY(waitUntil([this] { return collapsed(); }));
        // Open on the Pomodoro tab through the palette, then press the tab's start button.
        QVERIFY(xdotool({"key", "ctrl+alt+k"}));
        QVERIFY(waitUntil([this] { return openBesideTheDashboard(); }));
        QTRY_COMPARE(focusedWindow(), panelWindow()); // typing goes where the keyboard is
        settledIslandImage();                         // and the palette's fade is over
        QVERIFY(xdotool({"type", "--delay", "20", "Go to Pomodoro"}));
        QVERIFY(xdotool({"key", "Return"}));
        QPoint start;
        saveShot(QStringLiteral("timer-tab"));
        QVERIFY2(waitUntil([&] { return !(start = longestRedRun()).isNull(); }, 5000),
                 "no start button shown");
        moveLikeAMouse(start.x(), start.y());
        QVERIFY(xdotool({"click", "1"}));
        moveLikeAMouse(960, 800);
        QVERIFY(waitUntil([this] { return collapsed(); }));

        // 196 + 2 x 64: black from x = 798 to 1121 along the top.
        const auto wide = [] {
            return pixelAt(798, 10) == qRgb(0, 0, 0) && pixelAt(1121, 10) == qRgb(0, 0, 0) &&
                   pixelAt(797, 10) == qRgb(255, 255, 255) && pixelAt(1122, 10) == qRgb(255, 255, 255);
        };
        QVERIFY2(waitUntil(wide, 5000), "the running timer's wings did not show");
        saveShot(QStringLiteral("timer"));

        const int openings = settledOpenings();
        m_below->presses = 0;
        moveLikeAMouse(830, 12);
        // The collapsed island lets clicks through until a pointer tick finds the pointer on a button.
        QVERIFY(waitUntil([] { return windowUnderPointer() == panelWindow(); }, 5000));
        QTest::qWait(300); // some ticks over the wing: it must not open the island
        QVERIFY(collapsed());
        QVERIFY(xdotool({"click", "1"}));
        // Paused: no indicator is left, so the island is back to the bare notch.
        const auto narrow = [] {
            return pixelAt(850, 10) == qRgb(255, 255, 255) && pixelAt(870, 10) == qRgb(0, 0, 0);
        };
        QVERIFY2(waitUntil(narrow, 5000),
                 qPrintable(QStringLiteral("the click did not pause the timer (presses below: %1, open: %2)")
                                .arg(m_below->presses)
                                .arg(expanded())));
        QVERIFY(collapsed());
        QCOMPARE(m_below->presses, 0);
        QCOMPARE(islandOpenings(), openings);
        moveLikeAMouse(200, 900);
    }

    // Typing at once after the palette's hot key, while another window had the keyboard: every key
    // reaches the palette's field, also when a dashboard field had the keyboard before. Two saved
    // commands tell the whole query from a cut one: "b-run" is listed first, so a query that lost its
    // first key ("b-run", "-run", ...) would run it instead of "ab-run".
    void paletteTakesWhatIsTypedAtOnce() {
        stop();
        const QString marks = m_home->path() + "/marks";
        QVERIFY(QDir().mkpath(marks));
        const QString store = TestSupport::folders().supportDir() + "/commands.json";
        const QList<SavedCommand> commands{
            {QUuid::createUuid(), QStringLiteral("b-run"), "touch '" + marks + "/b'", std::nullopt},
            {QUuid::createUuid(), QStringLiteral("ab-run"), "touch '" + marks + "/ab'", std::nullopt}};
        QVERIFY(AppPaths::writePrivate(SavedCommandCodec::encodeList(commands), store));
        auto restore = qScopeGuard([&] {
            stop();
            QFile::remove(store);
            start();
        });
        QVERIFY2(start(), m_output.constData());
        QVERIFY(waitUntil([this] { return collapsed(); }));

        // One burst of key events from one xdotool call, the hot key first: no pause for the program.
        const auto burst = [](const QString& text) {
            QStringList keys{"key", "--delay", "5", "ctrl+alt+k"};
            for (const QChar c : text)
                keys << (c == ' '   ? QStringLiteral("space")
                         : c == '-' ? QStringLiteral("minus")
                                    : QString(c));
            return keys;
        };
        const quint32 below = quint32(m_below->winId());
        const auto fromBelow = [&](QStringList keys) {
            return TestSupport::passes([&] {
                QVERIFY(xdotool({"windowfocus", "--sync", QString::number(below)}));
                QTRY_COMPARE(focusedWindow(), below);
                m_below->typed.clear();
                QVERIFY(xdotool(keys << "Return"));
            });
        };
        const auto ran = [&](const char* mark) { return QFile::exists(marks + "/" + mark); };

        // The first opening after launch.
        QVERIFY(fromBelow(burst(QStringLiteral("ab-run"))));
        QVERIFY2(waitUntil([&] { return ran("ab"); }, 10000), "the whole query did not run its entry");
        QVERIFY(!ran("b"));
        QCOMPARE(m_below->typed, QString());
        QVERIFY(QFile::remove(marks + "/ab"));

        // A field of the dashboard had the keyboard when the island closed: the Kit's input, chosen and
        // typed into from the keyboard.
        QVERIFY(xdotool(burst(QStringLiteral("Go to Kit")) << "Return"
                                                           << "a"
                                                           << "b"
                                                           << "c"));
        QVERIFY(xdotool({"key", "ctrl+alt+n"}));
        QVERIFY(waitUntil([this] { return collapsed(); }));
        QVERIFY(fromBelow(burst(QStringLiteral("ab-run"))));
        QVERIFY2(waitUntil([&] { return ran("ab"); }, 10000), "the query went elsewhere");
        QVERIFY(!ran("b"));
        QCOMPARE(m_below->typed, QString());

        QVERIFY(xdotool({"key", "ctrl+alt+n"}));
        QVERIFY(waitUntil([this] { return collapsed(); }));
    }

    void followsThePreferredMonitor() {
        stop();
        ScreenInfo side;
        side.name = QStringLiteral("side");
        {
            Defaults defaults(
                TestSupport::folders().defaultsFile(QStringLiteral("com.farrowlight.quillbay")));
            defaults.set(QStringLiteral("preferredScreen"), AppScreens::identifier(side));
        }
        QVERIFY2(start(), m_output.constData());
        // Not connected yet: the primary screen.
        QCOMPARE(panelGeometry(), QRect(616, 0, 688, 344));

        QVERIFY(run("xrandr", {"--setmonitor", "side", "960/250x540/150+960+540", "none"}));
        const bool moved = waitUntil([] { return panelGeometry() == QRect(960 + 480 - 344, 540, 688, 344); });
        QString monitors;
        run("xrandr", {"--listmonitors"}, &monitors);
        QVERIFY2(moved, qPrintable(monitors));

        QVERIFY(run("xrandr", {"--delmonitor", "side"}));
        QVERIFY(waitUntil([] { return panelGeometry() == QRect(616, 0, 688, 344); }));
    }

    void combinationHeldElsewhereLeavesTheOthersWorking() {
        stop();
        // Another client holds ctrl+alt+k before the program starts.
        QProcess holder;
        holder.start(QStringLiteral(QUILLBAY_GRAB_HOLDER), {QStringLiteral("6b"), QStringLiteral("c")});
        QVERIFY(holder.waitForReadyRead(5000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("ready"));
        auto release = qScopeGuard([&] {
            holder.closeWriteChannel();
            holder.waitForFinished(5000);
        });
        QVERIFY2(start(), m_output.constData());
        QVERIFY(waitUntil([this] { return collapsed(); }));

        const int before = settledOpenings();
        QVERIFY(xdotool({"key", "ctrl+alt+k"}));
        QTest::qWait(500); // proves the held keys open nothing
        QVERIFY(collapsed());
        QCOMPARE(islandOpenings(), before);

        QVERIFY(xdotool({"key", "ctrl+alt+n"}));
        QVERIFY(waitUntil([this] { return expanded(); }));
        QVERIFY(xdotool({"key", "ctrl+alt+n"}));
        QVERIFY(waitUntil([this] { return collapsed(); }));

        // The picker's combination is the program's: no other client can take it.
        QProcess rival;
        rival.start(QStringLiteral(QUILLBAY_GRAB_HOLDER), {QStringLiteral("76"), QStringLiteral("41")});
        QVERIFY(rival.waitForReadyRead(5000));
        QCOMPARE(rival.readLine().trimmed(), QByteArray("refused"));
        rival.closeWriteChannel();
        QVERIFY(rival.waitForFinished(5000));
    }
};

QTEST_MAIN(tst_Island)
#include "tst_Island.moc"
