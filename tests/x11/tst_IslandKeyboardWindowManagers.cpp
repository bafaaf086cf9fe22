// The built program beside an xterm running `cat > file`, under each window manager in turn (every test
// runs once per manager): whatever way the screen capture ends, the X keyboard focus goes back to the
// terminal, not to the root window; what is typed at once after the palette's Escape or Return on an
// entry arrives in the terminal byte for byte; and the open dashboard shows its tooltips after the
// palette gave the keyboard back.
#include "fakes/DesktopSession.h"
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "services/AppPaths.h"
#include "x11/IslandDesktop.h"
#include "x11/PointerMotion.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QtTest>

#include <map>
#include <memory>

namespace {

const QString kBinary = QStringLiteral(QUILLBAY_BINARY_DIR "/quillbay");

using DesktopSession::run;
using namespace IslandDesktop;

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

// A window's place on the screen, from xwininfo; empty when it is gone.
Geometry geometryOf(quint32 window) {
    QString out;
    Geometry g;
    if (!run(QStringLiteral("xwininfo"), {"-id", QString::number(window)}, &out))
        return g;
    auto field = [&out](const char* name) {
        const auto m =
            QRegularExpression(QStringLiteral("%1:\\s+(-?\\d+)").arg(QLatin1String(name))).match(out);
        return m.hasMatch() ? m.captured(1).toInt() : 0;
    };
    g = {field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"), field("Height")};
    return g;
}

// A shown tooltip window of the process `pid`; 0 when none is shown.
quint32 shownTooltip(qint64 pid) {
    QString out;
    if (!xdotool({"search", "--onlyvisible", "--pid", QString::number(pid)}, &out))
        return 0;
    for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts)) {
        QString type;
        if (run(QStringLiteral("xprop"), {"-id", line.trimmed(), "_NET_WM_WINDOW_TYPE"}, &type) &&
            type.contains(QLatin1String("_NET_WM_WINDOW_TYPE_TOOLTIP")))
            return line.trimmed().toUInt();
    }
    return 0;
}

// Pixels that stand out from the picture's most common colour (its background): the ink of its text.
int inkPixels(const QImage& image) {
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y) & 0xffffff];
    if (counts.empty())
        return 0;
    QRgb background = 0;
    int most = 0;
    for (const auto& [rgb, n] : counts)
        if (n > most)
            most = n, background = rgb;
    const int bg = qGray(background);
    int ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ink += qAbs(qGray(image.pixel(x, y)) - bg) > 80 ? 1 : 0;
    return ink;
}

} // namespace

class tst_IslandKeyboardWindowManagers : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    QTemporaryDir m_typed;
    QString m_file;
    QProcess m_wm;
    QString m_wmName;
    QProcess m_program;
    QProcess m_xterm;
    quint32 m_terminal = 0;
    qsizetype m_typedSoFar = 0;

    // Asked again while the manager may still be taking over the windows it found (fluxbox ignores an
    // activation then).
    bool focusTerminal() {
        return waitUntil(
            [this] {
                return xdotool({"windowactivate", QString::number(m_terminal)}) &&
                       waitUntil(
                           [this] { return activeWindow() == m_terminal && focusedWindow() == m_terminal; },
                           2000);
            },
            20000);
    }

    // The manager of the current global row runs, and manages the terminal.
    bool useWindowManager(const QString& name) {
        if (m_wmName == name && m_wm.state() == QProcess::Running)
            return true;
        DesktopSession::stop(m_wm);
        m_wmName.clear();
        if (!DesktopSession::startWindowManager(m_wm, name))
            return false;
        m_wmName = name;
        return true;
    }

    // The palette, open and holding the keyboard in the island.
    bool openPalette() {
        const quint32 island = visibleWindow(kIsland);
        return island && hotKey(QStringLiteral("ctrl+alt+k")) && waitUntil(islandOpen) &&
               waitUntil([island] { return focusedWindow() == island; });
    }

    // What the terminal received since the last call, once a whole line is there; empty when none came.
    QByteArray nextTypedLine() {
        QByteArray line;
        waitUntil([&] {
            const QByteArray all = readFile(m_file);
            const qsizetype end = all.indexOf('\n', m_typedSoFar);
            if (end < 0)
                return false;
            line = all.mid(m_typedSoFar, end + 1 - m_typedSoFar);
            m_typedSoFar = end + 1;
            return true;
        });
        return line;
    }

    [[nodiscard]] bool closeIsland() {
        return TestSupport::passes([&] {
            moveLikeAMouse(900, 700);
            if (islandOpen()) {
                QVERIFY(hotKey(QStringLiteral("ctrl+alt+n")));
                QVERIFY(waitUntil(islandClosed));
            }
        });
    }

private slots:
    void initTestCase_data() {
        QTest::addColumn<QString>("wm");
        for (const char* wm : {"openbox", "fluxbox", "icewm"})
            QTest::newRow(wm) << QString::fromLatin1(wm);
    }

    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("xterm")).isEmpty())
            QSKIP("xterm is not installed (Debian package xterm)");
        QVERIFY2(xdotool({"version"}), "xdotool is needed");
        m_home = TestSupport::isolateHome();
        TestSupport::stayOffTheMakersHost();
        QVERIFY(QDir().mkpath(TestSupport::folders().supportDir()));

        m_file = m_typed.filePath(QStringLiteral("typed.txt"));
        QVERIFY(startTypingTerminal(m_xterm, m_file, &m_terminal));
        QVERIFY(startProgram(m_program, kBinary));
        moveLikeAMouse(900, 700);
    }

    void init() {
        QFETCH_GLOBAL(QString, wm);
        if (QStandardPaths::findExecutable(wm).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed (scripts/install-deps)").arg(wm)));
        QVERIFY2(useWindowManager(wm), qPrintable(wm + QStringLiteral(" did not take the screen")));
        QCOMPARE(m_program.state(), QProcess::Running);
        moveLikeAMouse(900, 700);
        QVERIFY(focusTerminal());
    }

    void cleanupTestCase() {
        for (QProcess* p : {&m_program, &m_xterm, &m_wm})
            DesktopSession::stop(*p);
    }

    // The dashboard stays open without the keyboard; hovering its buttons still explains them. Runs first:
    // after the captures' presses and drags (which end on windows that go away) full parallel runs
    // sometimes saw no tooltip at all, for reasons not yet found.
    void tooltipsShowAfterThePaletteEscape() {
        QVERIFY(openPalette());
        QVERIFY(xdotool({"key", "Escape"}));
        QTRY_COMPARE_WITH_TIMEOUT(focusedWindow(), m_terminal, 10000);
        // Still open: the opening spring may still be settling (638 wide, then 640) when the focus is back.
        QVERIFY(waitUntil(islandOpen));
        // The quit button, 24 square: the dashboard's top right corner, 14 in from the island's edge and
        // 6 below the collapsed island's 32.
        const Geometry panel = geometryOf(visibleWindow(kIsland));
        QVERIFY(panel.width > 0);
        const QPoint quit(panel.x + panel.width / 2 + 320 - 14 - 12, panel.y + 32 + 6 + 12);
        quint32 tip = 0;
        // Should a pass miss (the island still settling), the pointer leaves and enters the button again.
        for (int attempt = 0; attempt < 3 && !tip; ++attempt) {
            moveLikeAMouse(quit + QPoint(0, 60));
            moveLikeAMouse(quit - QPoint(3, 0));
            moveLikeAMouse(quit);
            // Qt shows a tooltip 0.7 s after the last move and keeps it about 10 s; a loaded machine can
            // take several seconds more to get there, and a new pass would hide a tooltip on its way.
            waitUntil([&] { return (tip = shownTooltip(m_program.processId())) != 0; }, 10000);
        }
        QVERIFY2(tip, "no tooltip over the quit button");
        const QImage picture = QGuiApplication::primaryScreen()->grabWindow(WId(tip)).toImage();
        QVERIFY(!picture.isNull());
        QVERIFY2(inkPixels(picture) >= 20, "the tooltip shows no text");
        QCOMPARE(focusedWindow(), m_terminal); // the island never took the keyboard for it
        QVERIFY(closeIsland());
    }

    // The capture's window held the keyboard; once it is gone the focus is the terminal's again, as
    // the window manager still says it is.
    void aCaptureHandsTheKeyboardBack_data() {
        QTest::addColumn<QString>("ending");
        QTest::newRow("Escape") << "escape";
        QTest::newRow("right click") << "right-click";
        QTest::newRow("region dragged") << "region";
    }
    void aCaptureHandsTheKeyboardBack() {
        QFETCH(QString, ending);
        QVERIFY(openPalette());
        QVERIFY(xdotool({"type", "--delay", "20", "Grab text"}) && xdotool({"key", "Return"}));
        const quint32 island = visibleWindow(kIsland);
        QVERIFY(waitUntil([&] {
            const quint32 f = focusedWindow();
            return f != 0 && f != m_terminal && f != island;
        }));
        if (ending == QLatin1String("escape")) {
            QVERIFY(xdotool({"key", "Escape"}));
        } else if (ending == QLatin1String("right-click")) {
            QVERIFY(xdotool({"click", "3"}));
        } else {
            moveLikeAMouse(150, 420);
            fakePointerInput(XCB_BUTTON_PRESS, 1);
            moveLikeAMouse(300, 470);
            moveLikeAMouse(400, 480);
            fakePointerInput(XCB_BUTTON_RELEASE, 1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(focusedWindow(), m_terminal, 10000);
        QCOMPARE(activeWindow(), m_terminal);
        const QByteArray line =
            QStringLiteral("after the capture %1 under %2").arg(ending, m_wmName).toUtf8();
        QVERIFY(xdotool({"type", "--delay", "10", QString::fromUtf8(line)}) && xdotool({"key", "Return"}));
        QCOMPARE(nextTypedLine(), line + '\n');
        QVERIFY(closeIsland());
        // Taken and given back once more: the island remembered the terminal, not the root window.
        QVERIFY(hotKey(QStringLiteral("ctrl+alt+n")) && waitUntil(islandOpen));
        QVERIFY(hotKey(QStringLiteral("ctrl+alt+n")) && waitUntil(islandClosed));
        QTRY_COMPARE_WITH_TIMEOUT(focusedWindow(), m_terminal, 10000);
    }

    // The word follows the key within one burst of synthetic input, faster than the island can move
    // the focus: the keyboard waits for it instead of dropping letters.
    void typingAtOnceAfterThePaletteArrives_data() {
        QTest::addColumn<QString>("query"); // empty: the palette is closed with Escape
        QTest::newRow("Escape") << QString();
        QTest::newRow("Return on an entry") << QStringLiteral("Go to Kanban");
    }
    void typingAtOnceAfterThePaletteArrives() {
        QFETCH(QString, query);
        for (int trial = 0; trial < 3; ++trial) {
            QVERIFY(openPalette());
            if (!query.isEmpty())
                QVERIFY(xdotool({"type", "--delay", "20", query}));
            const QByteArray word = QStringLiteral("quickbrownfox%1%2").arg(trial).arg(m_wmName).toUtf8();
            // One burst, a millisecond between keys: the key that closes, the word letter by letter, Return.
            QStringList keys = {QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("1"),
                                query.isEmpty() ? QStringLiteral("Escape") : QStringLiteral("Return")};
            for (char c : word)
                keys << QString(QChar::fromLatin1(c));
            keys << QStringLiteral("Return");
            QVERIFY(xdotool(keys));
            QCOMPARE(nextTypedLine(), word + '\n');
            QCOMPARE(focusedWindow(), m_terminal);
            QVERIFY(closeIsland());
            QVERIFY(focusTerminal());
        }
    }
};

QTEST_MAIN(tst_IslandKeyboardWindowManagers)
#include "tst_IslandKeyboardWindowManagers.moc"
