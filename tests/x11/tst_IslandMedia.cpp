// The built program with a media player on a private session bus, on a private X server: while the
// player plays, the collapsed island is 412 wide, and a click on its left ear pauses the player.
#include "fakes/PrivateBus.h"
#include "fakes/TestSupport.h"
#include "x11/PointerMotion.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QWidget>
#include <QtTest>

#include <csignal>
#include <functional>

namespace {

const QString kBinary = QStringLiteral(QUILLBAY_BINARY_DIR "/quillbay");

class Below : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Qt::white); }
};

bool xdotool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QRgb pixelAt(int x, int y) {
    return QGuiApplication::primaryScreen()->grabWindow(0, x, y, 1, 1).toImage().pixel(0, 0);
}

bool black(int x, int y) {
    return pixelAt(x, y) == qRgb(0, 0, 0);
}

bool white(int x, int y) {
    return pixelAt(x, y) == qRgb(255, 255, 255);
}

// The collapsed island spans `width` around the screen's centre (960): black just inside its edges,
// the window below just outside, and nothing hangs lower than the notch's height.
bool islandIs(int width) {
    const int left = 960 - width / 2;
    const int right = 960 + width / 2;
    return black(left + 2, 4) && white(left - 3, 4) && black(right - 3, 4) && white(right + 2, 4) &&
           white(960, 200);
}

void saveShot(const QString& name) {
    // For a human look: QUILLBAY_SHOTS=<folder> keeps the top of the screen.
    const QString dir = qEnvironmentVariable("QUILLBAY_SHOTS");
    if (!dir.isEmpty())
        QGuiApplication::primaryScreen()->grabWindow(0, 660, 0, 600, 60).save(dir + "/" + name + ".png");
}

} // namespace

class tst_IslandMedia : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<PrivateBus> m_bus;
    std::unique_ptr<FakePlayerProcess> m_player;
    Below* m_below = nullptr;
    QProcess m_program;
    QByteArray m_output;

    // Clicks where the pointer is until a click reaches the island instead of the window below.
    bool clickEar() {
        const int before = m_player->count("call PlayPause");
        QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired()) {
            const int below = m_below->presses;
            if (!xdotool({"click", "1"}))
                return false;
            // Either the window below reports the press, or the player reports the call.
            const bool answered = TestSupport::waitUntil(
                [&] { return m_below->presses > below || m_player->count("call PlayPause") > before; }, 5000);
            if (m_player->count("call PlayPause") > before)
                return true;
            if (!answered)
                return false;
            QTest::qWait(100); // paces the next try
        }
        return false;
    }

private slots:
    void initTestCase() {
        if (!PrivateBus::available())
            QSKIP("dbus-run-session is not installed (Debian package dbus-daemon)");
        QVERIFY2(xdotool({"version"}), "xdotool is needed");
        m_home = TestSupport::isolateHome();
        TestSupport::stayOffTheMakersHost();
        m_bus = std::make_unique<PrivateBus>();
        QVERIFY2(m_bus->isConnected(), "the private session bus did not start");
        m_player = std::make_unique<FakePlayerProcess>(
            *m_bus, QStringList{"rhythmbox", "Rhythmbox", "org.gnome.Rhythmbox3", "Playing", "Island song"});
        QVERIFY(m_player->waitReady());

        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(screen, QRect(0, 0, 1920, 1080));
        m_below = new Below;
        m_below->setWindowFlag(Qt::FramelessWindowHint);
        m_below->setGeometry(screen);
        m_below->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_below));
        moveLikeAMouse(200, 900);

        connect(&m_program, &QProcess::readyRead, this, [this] { m_output += m_program.readAll(); });
        QProcessEnvironment env = m_bus->environment();
        env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/quillbay-test"));
        m_program.setProcessEnvironment(env);
        m_program.setProcessChannelMode(QProcess::MergedChannels);
        m_program.start(kBinary);
        QVERIFY2(m_program.waitForStarted(5000), m_output.constData());
    }
    void cleanupTestCase() {
        if (m_program.state() != QProcess::NotRunning) {
            ::kill(pid_t(m_program.processId()), SIGTERM);
            if (!m_program.waitForFinished(5000))
                m_program.kill();
        }
        m_player.reset();
        m_bus.reset();
        delete m_below;
    }

    void aPlayingTrackWidensTheIslandAndItsLeftEarPauses() {
        // Both wings at their media width: 196 + 2 × 108.
        QVERIFY2(TestSupport::waitUntil([] { return islandIs(412); }, 20000), m_output.constData());
        saveShot(QStringLiteral("media-playing"));
        // The play/pause button leads the left wing (its 108 start at 960 - 206 = 754), ahead of the time.
        moveLikeAMouse(795, 16);
        // The island takes the ear's clicks once its pointer tracking has seen the pointer there; until
        // then a click lands on the window below, and is simply made again.
        QVERIFY2(clickEar(), m_output.constData());
        QCOMPARE(m_player->count("call PlayPause"), 1);
        // Paused, the track stays, and so do the ears.
        QTest::qWait(500); // proves they stay
        QVERIFY(islandIs(412));
        saveShot(QStringLiteral("media-paused"));
        // Once more: playing again.
        QVERIFY(clickEar());
        QTRY_COMPARE_WITH_TIMEOUT(m_player->count("call PlayPause"), 2, 10000);
    }
};

QTEST_MAIN(tst_IslandMedia)
#include "tst_IslandMedia.moc"
