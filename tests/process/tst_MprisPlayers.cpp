// Now playing against real bus traffic: fake players on a private session bus, and mpv with its MPRIS
// plugin playing a tone on the null audio output. Tracks show, change by the players' own notices,
// and play/pause and raise reach the player.
#include "fakes/FakeClock.h"
#include "fakes/FakeTicker.h"
#include "fakes/PrivateBus.h"
#include "platform/dbus/DBusMediaPlayers.h"
#include "platform/posix/SystemClock.h"
#include "services/MediaService.h"

#include <QDBusMessage>
#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>

namespace {

// A mono 16-bit sine wave file, long enough to play through the whole test.
bool writeTone(const QString& path, int seconds) {
    const int rate = 8000;
    const quint32 samples = quint32(rate * seconds);
    QByteArray data;
    data.reserve(int(samples * 2));
    for (quint32 i = 0; i < samples; ++i) {
        const qint16 v = qint16(8000 * std::sin(2 * M_PI * 440.0 * i / rate));
        data.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&f);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + data.size());
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(rate) << quint32(rate * 2) << quint16(2)
        << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(data.size());
    out.writeRawData(data.constData(), int(data.size()));
    return f.error() == QFile::NoError;
}

const QString kMpvPlugin = QStringLiteral("/usr/lib/mpv-mpris/mpris.so");

} // namespace

class tst_MprisPlayers : public QObject {
    Q_OBJECT

    std::unique_ptr<PrivateBus> m_bus;
    SystemClock m_clock;
    FakeTickerFactory m_tickers; // never fired unless said: what shows came from the players' own notices

    std::unique_ptr<FakePlayerProcess> player(const QStringList& args) {
        auto p = std::make_unique<FakePlayerProcess>(*m_bus, args);
        return p->waitReady() ? std::move(p) : nullptr;
    }

private slots:
    void initTestCase() {
        if (!PrivateBus::available())
            QSKIP("dbus-run-session is not installed (Debian package dbus-daemon)");
        m_bus = std::make_unique<PrivateBus>();
        QVERIFY2(m_bus->isConnected(), "the private session bus did not start");
    }
    void cleanupTestCase() { m_bus.reset(); }

    void listsPlayersButNotTheProxy() {
        auto spotify = player({"spotify", "Spotify", "spotify", "Playing", "S"});
        auto proxy = player({"playerctld", "playerctld", "", "Playing", "S"});
        QVERIFY(spotify && proxy);
        DBusMediaPlayers players(m_bus->connection());
        const QList<MediaPlayerInfo> list = players.players();
        QCOMPARE(list.size(), 1);
        QCOMPARE(list.first(), (MediaPlayerInfo{"org.mpris.MediaPlayer2.spotify", "Spotify", "spotify"}));
        const auto state = players.state(list.first().busName);
        QVERIFY(state);
        QCOMPARE(state->title, QStringLiteral("S"));
        QCOMPARE(state->artists, QStringList{"Test Artist"});
        QCOMPARE(state->album, QStringLiteral("Test Album"));
        QCOMPARE(state->playbackStatus, QStringLiteral("Playing"));
        QVERIFY(!players.state(QStringLiteral("org.mpris.MediaPlayer2.nobody")));
    }

    void showsPlayingAndPaused_data() {
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("isPlaying");
        QTest::newRow("playing") << "Playing" << true;
        QTest::newRow("paused") << "Paused" << false;
    }
    void showsPlayingAndPaused() {
        QFETCH(QString, status);
        QFETCH(bool, isPlaying);
        auto p = player({"rhythmbox", "Rhythmbox", "org.gnome.Rhythmbox3", status, "Track", "", "42000000"});
        QVERIFY(p);
        DBusMediaPlayers players(m_bus->connection());
        MediaService media(&players, m_clock, m_tickers);
        QTRY_VERIFY_WITH_TIMEOUT(media.track().has_value(), 10000);
        QCOMPARE(media.track()->app, QStringLiteral("Rhythmbox"));
        QCOMPARE(media.track()->title, QStringLiteral("Track"));
        QCOMPARE(media.track()->artist, QStringLiteral("Test Artist"));
        QCOMPARE(media.track()->isPlaying, isPlaying);
        QCOMPARE(media.elapsedSeconds(), 42); // from the player's position
    }

    void aTrackChangeArrivesByTheNotice() {
        auto p = player({"vlc", "VLC media player", "vlc", "Playing", "First"});
        QVERIFY(p);
        DBusMediaPlayers players(m_bus->connection());
        MediaService media(&players, m_clock, m_tickers);
        QTRY_VERIFY_WITH_TIMEOUT(media.track().has_value(), 10000);
        p->say("title Second");
        QTRY_COMPARE_WITH_TIMEOUT(media.track()->title, QStringLiteral("Second"), 10000);
        p->say("status Paused");
        QTRY_VERIFY_WITH_TIMEOUT(!media.track()->isPlaying, 10000);
        // No timer read any of it: none reads the players at all, and a paused track needs no tick.
        QVERIFY(!m_tickers.isRunning(MediaService::kTickMs));
        QVERIFY(!m_tickers.isRunning(MediaService::kKeepCheckMs));
    }

    // Only a change of what is shown asks for a read: the same track announced again, or a new
    // volume, does not. Each step ends with a real change, whose notice comes after the others.
    void onlyAChangeOfWhatIsShownIsANotice() {
        auto p = player({"vlc", "VLC media player", "vlc", "Playing", "First"});
        QVERIFY(p);
        DBusMediaPlayers players(m_bus->connection());
        int notices = 0;
        players.setChangeHandler([&] { ++notices; });
        p->say("title Second");
        QTRY_COMPARE_WITH_TIMEOUT(notices, 1, 10000);
        p->say("again");
        p->say("volume 0.5");
        p->say("again");
        p->say("status Paused");
        QTRY_VERIFY_WITH_TIMEOUT(notices >= 2, 10000);
        p->say("title Third");
        QTRY_VERIFY_WITH_TIMEOUT(notices >= 3, 10000);
        QCOMPARE(notices, 3);
        p->say("status Paused"); // the same state again
        p->say("title Fourth");
        QTRY_VERIFY_WITH_TIMEOUT(notices >= 4, 10000);
        QCOMPARE(notices, 4);
    }

    // The player's name going is its last notice: the track is kept for a while, then one read of the
    // service's own lets it go.
    void aPlayerThatQuitsIsLetGoAfterTheKeepTime() {
        auto p = player({"vlc", "VLC media player", "vlc", "Playing", "Last"});
        QVERIFY(p);
        DBusMediaPlayers players(m_bus->connection());
        FakeClock clock;
        MediaService media(&players, clock, m_tickers);
        QTRY_VERIFY_WITH_TIMEOUT(media.track().has_value(), 10000);
        QVERIFY(m_tickers.isRunning(MediaService::kTickMs)); // playing, and shown
        p->stop();
        QTRY_VERIFY_WITH_TIMEOUT(m_tickers.isRunning(MediaService::kKeepCheckMs), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!media.isLoading(), 10000);
        QCOMPARE(media.track()->title, QStringLiteral("Last"));
        clock.advanceMs(MediaService::kKeepCheckMs);
        QCOMPARE(m_tickers.fire(MediaService::kKeepCheckMs), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!media.track().has_value(), 10000);
        QVERIFY(!m_tickers.isRunning(MediaService::kTickMs));
    }

    void thePlayingPlayerWinsThenSpotify() {
        auto other = player({"audacious", "Audacious", "audacious", "Playing", "Other"});
        auto spotify = player({"spotify", "Spotify", "spotify", "Paused", "Spot"});
        QVERIFY(other && spotify);
        DBusMediaPlayers players(m_bus->connection());
        MediaService media(&players, m_clock, m_tickers);
        QTRY_VERIFY_WITH_TIMEOUT(media.track().has_value(), 10000);
        QCOMPARE(media.track()->title, QStringLiteral("Other"));
        // Both playing: Spotify comes first.
        spotify->say("status Playing");
        QTRY_COMPARE_WITH_TIMEOUT(media.track()->app, QStringLiteral("Spotify"), 10000);
        QCOMPARE(media.track()->title, QStringLiteral("Spot"));
        // Spotify quits: the other player shows on its notice of the name going.
        spotify->stop();
        QTRY_COMPARE_WITH_TIMEOUT(media.track()->title, QStringLiteral("Other"), 10000);
    }

    void browserPlayers_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QString>("sourceURL");
        QTest::newRow("without an address") << "" << true << "";
        // Host names have no letter case (the address keeps the host in small letters); the rest keeps it.
        QTest::newRow("a video address")
            << "https://www.YouTube.com/watch?v=AbC" << true << "https://www.youtube.com/watch?v=AbC";
        QTest::newRow("another page") << "https://example.org/radio" << false << "";
    }
    void browserPlayers() {
        QFETCH(QString, url);
        QFETCH(bool, shown);
        QFETCH(QString, sourceURL);
        auto p = player({"chromium.instance99", "Chromium", "chromium", "Playing", "Clip - YouTube", url});
        QVERIFY(p);
        DBusMediaPlayers players(m_bus->connection());
        MediaService media(&players, m_clock, m_tickers);
        QTRY_VERIFY_WITH_TIMEOUT(!media.isLoading(), 10000);
        QCOMPARE(media.track().has_value(), shown);
        if (!shown)
            return;
        QCOMPARE(media.track()->app, QStringLiteral("Chromium"));
        QCOMPARE(media.track()->title, QStringLiteral("Clip"));
        QCOMPARE(media.track()->artist, QStringLiteral("YouTube"));
        QCOMPARE(media.track()->album, QStringLiteral("Navegador"));
        QCOMPARE(media.track()->sourceURL.value_or(QUrl()).toString(), sourceURL);
    }

    void playPauseAndRaiseReachThePlayer() {
        auto p = player({"spotify", "Spotify", "spotify", "Playing", "S"});
        QVERIFY(p);
        DBusMediaPlayers players(m_bus->connection());
        MediaService media(&players, m_clock, m_tickers);
        QTRY_VERIFY_WITH_TIMEOUT(media.track().has_value(), 10000);
        media.playPause();
        QVERIFY(p->waitFor("call PlayPause"));
        QTRY_VERIFY_WITH_TIMEOUT(!media.track()->isPlaying, 10000);
        media.openSource();
        QVERIFY(p->waitFor("call Raise"));
        media.nextTrack();
        QVERIFY(p->waitFor("call Next"));
        media.previousTrack();
        QVERIFY(p->waitFor("call Previous"));
        QCOMPARE(p->count("call PlayPause"), 1);
    }

    void aHungPlayerDoesNotHoldUpTheOthers() {
        auto hung = player({"aaa", "Hung", "", "Playing", "Never"});
        auto fine = player({"zzz", "Fine", "", "Playing", "Shown"});
        QVERIFY(hung && fine);
        hung->say("hang 4000");
        QVERIFY(hung->waitFor("hanging"));
        DBusMediaPlayers players(m_bus->connection(), 300, 500);
        MediaService media(&players, m_clock, m_tickers);
        // The main thread stays free while the read waits out the hung player.
        QElapsedTimer loop;
        loop.start();
        QTest::qWait(100); // proves the event loop runs while the read waits out the hung player
        QVERIFY(media.isLoading() || media.track());
        QTRY_VERIFY_WITH_TIMEOUT(media.track().has_value(), 10000);
        QCOMPARE(media.track()->title, QStringLiteral("Shown"));
    }

    void noBusMeansNothingPlays() {
        DBusMediaPlayers players(QDBusConnection(QStringLiteral("no-such-connection")));
        QVERIFY(players.players().isEmpty());
        QVERIFY(!players.state(QStringLiteral("org.mpris.MediaPlayer2.x")));
        QVERIFY(!players.send(QStringLiteral("org.mpris.MediaPlayer2.x"), MediaPlayers::Command::playPause));
        MediaService media(&players, m_clock, m_tickers);
        QTRY_VERIFY(!media.isLoading());
        QVERIFY(!media.track());
    }

    void mpvPlaysAndPausesFromTheService() {
        if (const char* missing = mpvMissing())
            QSKIP(missing);
        QTemporaryDir dir;
        const QString tone = dir.filePath(QStringLiteral("tone.wav"));
        QVERIFY(writeTone(tone, 30));
        QProcess mpv;
        startMpv(mpv, tone, QStringLiteral("Test tone"));
        QVERIFY(mpv.waitForStarted(5000));
        auto stop = qScopeGuard([&] { stopMpv(mpv); });
        DBusMediaPlayers players(m_bus->connection());
        MediaService media(&players, m_clock, m_tickers);
        QTRY_VERIFY2_WITH_TIMEOUT(media.track().has_value() && media.track()->isPlaying,
                                  qPrintable(QString::fromLocal8Bit(mpv.readAll())), 15000);
        QCOMPARE(media.track()->title, QStringLiteral("Test tone"));
        QVERIFY2(media.track()->app.contains(QLatin1String("mpv"), Qt::CaseInsensitive),
                 qPrintable(media.track()->app));
        media.playPause();
        QTRY_VERIFY_WITH_TIMEOUT(!media.track()->isPlaying, 10000);
        media.playPause();
        QTRY_VERIFY_WITH_TIMEOUT(media.track()->isPlaying, 10000);
    }

    // Two mpv players, one paused and one playing, whichever way their addresses sort: the playing one
    // shows, and play/pause pauses it, not the other.
    void ofTwoMpvPlayersThePlayingOneShows_data() {
        QTest::addColumn<bool>("pauseFirst");
        QTest::newRow("the first address paused") << true;
        QTest::newRow("the second address paused") << false;
    }
    void ofTwoMpvPlayersThePlayingOneShows() {
        QFETCH(bool, pauseFirst);
        if (const char* missing = mpvMissing())
            QSKIP(missing);
        QTemporaryDir dir;
        const QString tone = dir.filePath(QStringLiteral("tone.wav"));
        QVERIFY(writeTone(tone, 30));
        QProcess first, second;
        startMpv(first, tone, QStringLiteral("Tone one"));
        startMpv(second, tone, QStringLiteral("Tone two"));
        QVERIFY(first.waitForStarted(5000) && second.waitForStarted(5000));
        auto stop = qScopeGuard([&] {
            stopMpv(first);
            stopMpv(second);
        });
        DBusMediaPlayers players(m_bus->connection());
        // Both on the bus and playing; then the one chosen by its address's place is paused.
        QMap<QString, QString> titleOf; // bus name -> title
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         titleOf.clear();
                         for (const MediaPlayerInfo& info : players.players()) {
                             const auto s = players.state(info.busName);
                             if (s && s->playbackStatus == QLatin1String("Playing"))
                                 titleOf.insert(info.busName, s->title);
                         }
                         return titleOf.size() == 2;
                     },
                     15000),
                 qPrintable(QString::fromLocal8Bit(first.readAll() + second.readAll())));
        const QString paused = pauseFirst ? titleOf.firstKey() : titleOf.lastKey();
        const QString playing = pauseFirst ? titleOf.lastKey() : titleOf.firstKey();
        QVERIFY(call(paused, QStringLiteral("Pause")));
        QVERIFY(waitForStatus(players, paused, QStringLiteral("Paused")));

        MediaService media(&players, m_clock, m_tickers);
        QTRY_VERIFY_WITH_TIMEOUT(media.track().has_value(), 10000);
        QCOMPARE(media.track()->title, titleOf.value(playing));
        QVERIFY(media.track()->isPlaying);
        media.playPause();
        QVERIFY(waitForStatus(players, playing, QStringLiteral("Paused")));
        QCOMPARE(players.state(paused)->playbackStatus, QStringLiteral("Paused"));
    }

private:
    // Why mpv cannot play here, or null.
    static const char* mpvMissing() {
        if (QStandardPaths::findExecutable(QStringLiteral("mpv")).isEmpty())
            return "mpv is not installed (Debian package mpv)";
        if (!QFile::exists(kMpvPlugin))
            return "mpv's MPRIS plugin is not installed (Debian package mpv-mpris)";
        return nullptr;
    }
    // Whether the player reports `status` within the time.
    static bool waitForStatus(DBusMediaPlayers& players, const QString& busName, const QString& status) {
        return QTest::qWaitFor(
            [&] {
                const auto s = players.state(busName);
                return s && s->playbackStatus == status;
            },
            10000);
    }
    void startMpv(QProcess& mpv, const QString& file, const QString& title) {
        mpv.setProcessEnvironment(m_bus->environment());
        mpv.setProcessChannelMode(QProcess::MergedChannels);
        mpv.start(QStringLiteral("mpv"),
                  {"--no-config", "--script=" + kMpvPlugin, "--ao=null", "--vo=null", "--no-terminal",
                   "--loop-file=inf", "--force-media-title=" + title, file});
    }
    static void stopMpv(QProcess& mpv) {
        mpv.terminate();
        if (!mpv.waitForFinished(5000))
            mpv.kill();
    }
    // Calls a method of a player's playback interface; whether it answered without an error.
    bool call(const QString& busName, const QString& method) {
        QDBusMessage msg =
            QDBusMessage::createMethodCall(busName, QStringLiteral("/org/mpris/MediaPlayer2"),
                                           QStringLiteral("org.mpris.MediaPlayer2.Player"), method);
        return m_bus->connection().call(msg, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
    }
};

QTEST_GUILESS_MAIN(tst_MprisPlayers)
#include "tst_MprisPlayers.moc"
