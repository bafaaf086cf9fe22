// The output volume from a real sound server: a private PulseAudio with a null output, started and
// stopped by the test. A change made with pactl reaches the level indicator; the server dying leaves
// the volume absent without harm, and a server that comes back is found again.
#include "fakes/FakeTicker.h"
#include "platform/BrightnessReader.h"
#include "platform/pulse/PulseVolumeReader.h"
#include "platform/qt/QtTickerFactory.h"
#include "services/HUDService.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

class tst_PulseVolume : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QProcess m_server;

    QString socket() const { return m_dir->filePath(QStringLiteral("native")); }
    QByteArray serverString() const { return "unix:" + QFile::encodeName(socket()); }

    bool startServer() { return startServerAt(socket()); }
    bool startServerAt(const QString& path) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Its own home and runtime folders, so that nothing of a desktop's sound server is touched.
        env.insert(QStringLiteral("HOME"), m_dir->path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir->filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), m_dir->filePath(QStringLiteral("run/pulse")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir->filePath(QStringLiteral("config")));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        QDir(m_dir->path()).mkpath(QStringLiteral("run"));
        m_server.setProcessEnvironment(env);
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.start(QStringLiteral("pulseaudio"),
                       {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                        "--disable-shm=yes", "--log-target=stderr",
                        "--load=module-null-sink sink_name=quillbay_test",
                        "--load=module-native-protocol-unix auth-anonymous=1 socket=" + path});
        if (!m_server.waitForStarted(5000))
            return false;
        QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired()) {
            if (pactl({"info"}, path))
                return true;
            if (m_server.state() == QProcess::NotRunning)
                return false;
            QTest::qWait(50); // polls until the server answers or the deadline passes
        }
        return false;
    }
    void killServer() {
        if (m_server.state() == QProcess::NotRunning)
            return;
        m_server.kill(); // as a crash would: no goodbye to the clients
        m_server.waitForFinished(5000);
    }
    bool pactl(const QStringList& args, const QString& path = {}) {
        QProcess p;
        p.start(QStringLiteral("pactl"),
                QStringList{"--server", path.isEmpty() ? QString::fromLocal8Bit(serverString())
                                                       : QStringLiteral("unix:") + path} +
                    args);
        return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
            QSKIP("pulseaudio is not installed (Debian package pulseaudio)");
        if (QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty())
            QSKIP("pactl is not installed (Debian package pulseaudio-utils)");
    }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY2(startServer(), m_server.readAll().constData());
    }
    void cleanup() {
        killServer();
        m_dir.reset();
    }

    void readsTheDefaultOutput_data() {
        QTest::addColumn<QString>("percent");
        QTest::addColumn<double>("level");
        QTest::newRow("40%") << "40%" << 0.40;
        QTest::newRow("0%") << "0%" << 0.0;
        QTest::newRow("100%") << "100%" << 1.0;
        QTest::newRow("above 100% is full") << "150%" << 1.0;
    }
    void readsTheDefaultOutput() {
        QFETCH(QString, percent);
        QFETCH(double, level);
        PulseVolumeReader reader(serverString());
        QTRY_VERIFY_WITH_TIMEOUT(reader.readVolume().has_value(), 10000);
        QVERIFY(pactl({"set-sink-volume", "@DEFAULT_SINK@", percent}));
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(reader.readVolume().value_or(-1) - level) < 0.01, 10000);
    }

    void muteLeavesTheLevel() {
        PulseVolumeReader reader(serverString());
        QVERIFY(pactl({"set-sink-volume", "@DEFAULT_SINK@", "30%"}));
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(reader.readVolume().value_or(-1) - 0.30) < 0.01, 10000);
        QVERIFY(pactl({"set-sink-mute", "@DEFAULT_SINK@", "1"}));
        QVERIFY(pactl({"set-sink-volume", "@DEFAULT_SINK@", "35%"})); // a later event after the mute
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(reader.readVolume().value_or(-1) - 0.35) < 0.01, 10000);
    }

    void aNewDefaultOutputIsFollowed() {
        PulseVolumeReader reader(serverString());
        QVERIFY(pactl({"set-sink-volume", "@DEFAULT_SINK@", "20%"}));
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(reader.readVolume().value_or(-1) - 0.20) < 0.01, 10000);
        QVERIFY(pactl({"load-module", "module-null-sink", "sink_name=second"}));
        QVERIFY(pactl({"set-sink-volume", "second", "70%"}));
        QVERIFY(pactl({"set-default-sink", "second"}));
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(reader.readVolume().value_or(-1) - 0.70) < 0.01, 10000);
    }

    void theIndicatorShowsAChangeMadeElsewhere() {
        PulseVolumeReader reader(serverString());
        QTRY_VERIFY_WITH_TIMEOUT(reader.readVolume().has_value(), 10000);
        QtTickerFactory tickers;
        NoBrightnessReader noBacklight;
        HUDService hud(reader, noBacklight, tickers);
        QVERIFY(!hud.current()); // the first look only learnt the level
        QElapsedTimer latency;
        latency.start();
        QVERIFY(pactl({"set-sink-volume", "@DEFAULT_SINK@", "40%"}));
        QTRY_VERIFY_WITH_TIMEOUT(hud.current().has_value(), 10000);
        qInfo("shown %lld ms after pactl returned", qint64(latency.elapsed()));
        QCOMPARE(hud.current()->kind, HUDKind::volume);
        QVERIFY(std::abs(hud.current()->value - 0.40) < 0.01);
    }

    // Every level is announced on the main thread, and the indicator needs nothing else: its timers
    // never fire here, so only the server's own notices can make it show.
    void changesAreAnnouncedOnTheMainThreadAndNeedNoTimer() {
        PulseVolumeReader reader(serverString());
        int notices = 0, elsewhere = 0;
        reader.setChangeHandler([&] {
            ++notices;
            elsewhere += QThread::currentThread() != qApp->thread();
        });
        QTRY_VERIFY_WITH_TIMEOUT(reader.readVolume().has_value(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(notices >= 1, 10000); // the first level after connecting
        const int before = notices;
        QVERIFY(pactl({"set-sink-volume", "@DEFAULT_SINK@", "25%"}));
        QTRY_VERIFY_WITH_TIMEOUT(notices > before, 10000);
        QVERIFY(std::abs(reader.readVolume().value_or(-1) - 0.25) < 0.01);
        // An event that leaves the level as it was (a mute) announces nothing.
        const int afterChange = notices;
        QVERIFY(pactl({"set-sink-mute", "@DEFAULT_SINK@", "1"}));
        QVERIFY(pactl({"set-sink-volume", "@DEFAULT_SINK@", "30%"})); // a marker after the mute
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(reader.readVolume().value_or(-1) - 0.30) < 0.01, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(notices, afterChange + 1, 10000);
        QCOMPARE(elsewhere, 0);

        FakeTickerFactory tickers;
        NoBrightnessReader noBacklight;
        HUDService hud(reader, noBacklight, tickers);
        QVERIFY(!tickers.isRunning(HUDService::kPollMs));
        QVERIFY(pactl({"set-sink-volume", "@DEFAULT_SINK@", "65%"}));
        QTRY_VERIFY_WITH_TIMEOUT(hud.current().has_value(), 10000);
        QVERIFY(std::abs(hud.current()->value - 0.65) < 0.01);
        // The server dying is a notice too: the level is gone, nothing is shown for it.
        hud.setCurrent(std::nullopt);
        killServer();
        QTRY_VERIFY_WITH_TIMEOUT(!reader.readVolume().has_value(), 10000);
        QVERIFY(!hud.current());
    }

    void aServerThatDiesAndComesBackIsFoundAgain() {
        PulseVolumeReader reader(serverString());
        QTRY_VERIFY_WITH_TIMEOUT(reader.readVolume().has_value(), 10000);
        QCOMPARE(reader.connections(), 1);
        QtTickerFactory tickers;
        NoBrightnessReader noBacklight;
        HUDService hud(reader, noBacklight, tickers);
        hud.poll();
        killServer();
        QTRY_VERIFY_WITH_TIMEOUT(!reader.readVolume().has_value(), 10000);
        hud.poll(); // absent: nothing shown, nothing lost
        QVERIFY(!hud.current());
        QVERIFY(QFile::remove(socket()) || !QFile::exists(socket()));
        QVERIFY2(startServer(), m_server.readAll().constData());
        QTRY_VERIFY_WITH_TIMEOUT(reader.readVolume().has_value(), 20000);
        QCOMPARE(reader.connections(), 2);
        QVERIFY(pactl({"set-sink-volume", "@DEFAULT_SINK@", "55%"}));
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(reader.readVolume().value_or(-1) - 0.55) < 0.01, 10000);
    }

    // Without a server the reader waits longer and longer between tries (up to minutes); a server
    // that starts meanwhile is found from its socket appearing, not from the next try. Here the next
    // try would come an hour later.
    void aServerThatAppearsIsFoundFromItsSocket_data() {
        QTest::addColumn<bool>("folderMissing");
        QTest::newRow("its folder is there") << false;
        QTest::newRow("its folder is made by the server") << true;
    }
    void aServerThatAppearsIsFoundFromItsSocket() {
        QFETCH(bool, folderMissing);
        killServer();
        QVERIFY(QFile::remove(socket()) || !QFile::exists(socket()));
        const QString folder = m_dir->filePath(QStringLiteral("later"));
        const QString later = folder + QStringLiteral("/native");
        if (!folderMissing)
            QVERIFY(QDir().mkpath(folder));
        const QByteArray server = "unix:" + QFile::encodeName(later);
        PulseVolumeReader reader(server, RetryBackoff(3'600'000, 3'600'000));
        QTRY_VERIFY_WITH_TIMEOUT(reader.attempts() >= 1, 10000);
        QVERIFY(!reader.readVolume());
        QCOMPARE(reader.connections(), 0);
        if (folderMissing)
            QVERIFY(QDir().mkpath(folder)); // as the server makes its runtime folder
        QVERIFY2(startServerAt(later), m_server.readAll().constData());
        QTRY_VERIFY_WITH_TIMEOUT(reader.readVolume().has_value(), 20000);
        QCOMPARE(reader.connections(), 1);
    }

    void noServerIsNoVolume() {
        killServer();
        PulseVolumeReader reader(serverString());
        QTest::qWait(300); // proves no volume turns up without a server
        QVERIFY(!reader.readVolume());
        // Nor a server that is not one.
        PulseVolumeReader nowhere("unix:/nonexistent/quillbay/native");
        QVERIFY(!nowhere.readVolume());
    }
};

QTEST_GUILESS_MAIN(tst_PulseVolume)
#include "tst_PulseVolume.moc"
