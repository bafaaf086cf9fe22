// The now-playing rules with players a test sets up: which player wins, how browser videos are told
// apart, the keep rule, overlapping reads, the elapsed count and the play/pause override, and that
// commands reach the right player.
#include "fakes/FakeClock.h"
#include "fakes/FakeMediaPlayers.h"
#include "fakes/FakeTicker.h"
#include "fakes/TestChecks.h"
#include "services/MediaService.h"

#include <QSignalSpy>
#include <QtTest>

using Command = MediaPlayers::Command;

namespace {

MediaPlayerInfo player(const QString& name, const QString& identity, const QString& entry = {}) {
    return {QStringLiteral("org.mpris.MediaPlayer2.") + name, identity, entry};
}

MediaPlayerState playing(const QString& title, const QStringList& artists = {"Artist"},
                         const QString& status = QStringLiteral("Playing"), std::optional<QUrl> url = {}) {
    MediaPlayerState s;
    s.playbackStatus = status;
    s.title = title;
    s.artists = artists;
    s.album = QStringLiteral("Album");
    s.url = std::move(url);
    return s;
}

struct Setup {
    MediaPlayerInfo info;
    std::optional<MediaPlayerState> state;
};

} // namespace

Q_DECLARE_METATYPE(QList<Setup>)
Q_DECLARE_METATYPE(std::optional<MediaTrack>)

class tst_MediaService : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeMediaPlayers> m_players;
    std::unique_ptr<FakeClock> m_clock;
    std::unique_ptr<FakeTickerFactory> m_tickers;

    // The service once its first read has ended; null when it never ends.
    std::unique_ptr<MediaService> make() {
        auto service = std::make_unique<MediaService>(m_players.get(), *m_clock, *m_tickers);
        if (!settle(*service))
            return nullptr; // the caller checks
        return service;
    }
    [[nodiscard]] static bool settle(MediaService& s) {
        return TestSupport::passes([&] { QTRY_VERIFY(!s.isLoading()); });
    }
    [[nodiscard]] bool refreshAndSettle(MediaService& s) {
        return TestSupport::passes([&] {
            s.refresh();
            QVERIFY(settle(s));
        });
    }

private slots:
    void init() {
        m_players = std::make_unique<FakeMediaPlayers>();
        m_clock = std::make_unique<FakeClock>();
        m_tickers = std::make_unique<FakeTickerFactory>();
    }

    void readPicksTheTrack_data() {
        QTest::addColumn<QList<Setup>>("players");
        QTest::addColumn<std::optional<MediaTrack>>("expected");
        QTest::addColumn<QString>("busName");

        const auto spotify = player("spotify", "Spotify", "spotify");
        const auto rhythmbox = player("rhythmbox", "Rhythmbox", "org.gnome.Rhythmbox3");
        const auto vlc = player("vlc", "VLC media player", "vlc");
        const auto chrome = player("chromium.instance1", "Google Chrome", "google-chrome");
        const auto chromium = player("chromium.instance2", "Chromium", "chromium");
        const auto firefox = player("firefox.instance_1_2", "Mozilla Firefox", "firefox-esr");

        QTest::newRow("nothing on the bus") << QList<Setup>{} << std::optional<MediaTrack>() << "";
        QTest::newRow("one player") << QList<Setup>{{rhythmbox, playing("Song", {"A", "B"})}}
                                    << std::optional<MediaTrack>(MediaTrack{"Rhythmbox", "Song", "A, B",
                                                                            "Album", true, std::nullopt})
                                    << rhythmbox.busName;
        QTest::newRow("Spotify before the other players when both play")
            << QList<Setup>{{rhythmbox, playing("R")}, {spotify, playing("S", {"X"})}}
            << std::optional<MediaTrack>(MediaTrack{"Spotify", "S", "X", "Album", true, std::nullopt})
            << spotify.busName;
        QTest::newRow("Spotify before the other players when neither plays")
            << QList<Setup>{{rhythmbox, playing("R", {}, "Paused")},
                            {spotify, playing("S", {"X"}, "Stopped")}}
            << std::optional<MediaTrack>(MediaTrack{"Spotify", "S", "X", "Album", false, std::nullopt})
            << spotify.busName;
        QTest::newRow("a playing player before a paused Spotify")
            << QList<Setup>{{rhythmbox, playing("R")}, {spotify, playing("S", {"X"}, "Paused")}}
            << std::optional<MediaTrack>(MediaTrack{"Rhythmbox", "R", "Artist", "Album", true, std::nullopt})
            << rhythmbox.busName;
        QTest::newRow("a playing player after a paused one in address order")
            << QList<Setup>{{rhythmbox, playing("R", {}, "Paused")}, {vlc, playing("V")}}
            << std::optional<MediaTrack>(
                   MediaTrack{"VLC media player", "V", "Artist", "Album", true, std::nullopt})
            << vlc.busName;
        QTest::newRow("a playing browser video before a paused player")
            << QList<Setup>{{vlc, playing("V", {}, "Paused")}, {chrome, playing("Clip - YouTube")}}
            << std::optional<MediaTrack>(
                   MediaTrack{"Google Chrome", "Clip", "YouTube", "Navegador", true, std::nullopt})
            << chrome.busName;
        QTest::newRow("a paused player before a paused browser video")
            << QList<Setup>{{chrome, playing("Clip", {}, "Paused")}, {vlc, playing("V", {}, "Paused")}}
            << std::optional<MediaTrack>(
                   MediaTrack{"VLC media player", "V", "", "Album", false, std::nullopt})
            << vlc.busName;
        QTest::newRow("among playing browsers, their order")
            << QList<Setup>{{chrome, playing("G", {}, "Paused")},
                            {firefox, playing("F")},
                            {chromium, playing("C")}}
            << std::optional<MediaTrack>(
                   MediaTrack{"Chromium", "C", "YouTube", "Navegador", true, std::nullopt})
            << chromium.busName;
        QTest::newRow("a playing page that is no video does not count")
            << QList<Setup>{{vlc, playing("V", {}, "Paused")},
                            {firefox, playing("Radio", {}, "Playing", QUrl("https://example.org/radio"))}}
            << std::optional<MediaTrack>(
                   MediaTrack{"VLC media player", "V", "", "Album", false, std::nullopt})
            << vlc.busName;
        QTest::newRow("Spotify not answering: the next player")
            << QList<Setup>{{spotify, std::nullopt}, {rhythmbox, playing("R")}}
            << std::optional<MediaTrack>(MediaTrack{"Rhythmbox", "R", "Artist", "Album", true, std::nullopt})
            << rhythmbox.busName;
        QTest::newRow("a player without a title does not count")
            << QList<Setup>{{rhythmbox, playing("")}, {vlc, playing("V")}}
            << std::optional<MediaTrack>(
                   MediaTrack{"VLC media player", "V", "Artist", "Album", true, std::nullopt})
            << vlc.busName;
        QTest::newRow("other players in the order of their addresses")
            << QList<Setup>{{vlc, playing("V")}, {rhythmbox, playing("R")}}
            << std::optional<MediaTrack>(MediaTrack{"Rhythmbox", "R", "Artist", "Album", true, std::nullopt})
            << rhythmbox.busName;
        QTest::newRow("the state is the player's, in any letter case")
            << QList<Setup>{{vlc, playing("V", {}, "PLAYING")}}
            << std::optional<MediaTrack>(MediaTrack{"VLC media player", "V", "", "Album", true, std::nullopt})
            << vlc.busName;
        QTest::newRow("stopped is not playing")
            << QList<Setup>{{vlc, playing("V", {}, "Stopped")}}
            << std::optional<MediaTrack>(
                   MediaTrack{"VLC media player", "V", "", "Album", false, std::nullopt})
            << vlc.busName;
        QTest::newRow("a nameless player goes by its address")
            << QList<Setup>{{player("mpv.instance42", ""), playing("M")}}
            << std::optional<MediaTrack>(MediaTrack{"mpv", "M", "Artist", "Album", true, std::nullopt})
            << "org.mpris.MediaPlayer2.mpv.instance42";
        QTest::newRow("a player before a browser")
            << QList<Setup>{{chrome, playing("Clip - YouTube")}, {vlc, playing("V")}}
            << std::optional<MediaTrack>(
                   MediaTrack{"VLC media player", "V", "Artist", "Album", true, std::nullopt})
            << vlc.busName;
        QTest::newRow("a browser without an address: its media is the video")
            << QList<Setup>{{chromium, playing("Clip - YouTube", {"Channel"}, "Paused")}}
            << std::optional<MediaTrack>(
                   MediaTrack{"Chromium", "Clip", "YouTube", "Navegador", false, std::nullopt})
            << chromium.busName;
        QTest::newRow("a browser with a video address keeps its letter case")
            << QList<Setup>{{firefox,
                             playing("Clip", {}, "Playing", QUrl("https://WWW.YouTube.com/watch?v=AbC"))}}
            << std::optional<MediaTrack>(MediaTrack{"Firefox", "Clip", "YouTube", "Navegador", true,
                                                    QUrl("https://WWW.YouTube.com/watch?v=AbC")})
            << firefox.busName;
        QTest::newRow("a browser on another page does not count")
            << QList<Setup>{{chrome, playing("Podcast", {}, "Playing", QUrl("https://example.org/ep1"))},
                            {firefox, playing("Clip", {}, "Playing", QUrl("https://youtu.be/xyz"))}}
            << std::optional<MediaTrack>(
                   MediaTrack{"Firefox", "Clip", "YouTube", "Navegador", true, QUrl("https://youtu.be/xyz")})
            << firefox.busName;
        QTest::newRow("browsers in their order, not the bus's")
            << QList<Setup>{{firefox, playing("F")}, {chromium, playing("C")}, {chrome, playing("G")}}
            << std::optional<MediaTrack>(
                   MediaTrack{"Google Chrome", "G", "YouTube", "Navegador", true, std::nullopt})
            << chrome.busName;
        QTest::newRow("a title made only of the suffix")
            << QList<Setup>{{chrome, playing(" - YouTube")}}
            << std::optional<MediaTrack>(MediaTrack{"Google Chrome", "Vídeo do YouTube", "YouTube",
                                                    "Navegador", true, std::nullopt})
            << chrome.busName;
    }
    void readPicksTheTrack() {
        QFETCH(QList<Setup>, players);
        QFETCH(std::optional<MediaTrack>, expected);
        QFETCH(QString, busName);
        for (const Setup& s : players)
            m_players->set(s.info, s.state);
        const auto read = MediaService::readTrack(*m_players);
        QCOMPARE(read.has_value(), expected.has_value());
        if (!read)
            return;
        QCOMPARE(read->track.app, expected->app);
        QCOMPARE(read->track.title, expected->title);
        QCOMPARE(read->track.artist, expected->artist);
        QCOMPARE(read->track.album, expected->album);
        QCOMPARE(read->track.isPlaying, expected->isPlaying);
        QCOMPARE(read->track.sourceURL, expected->sourceURL);
        QCOMPARE(read->busName, busName);
    }

    void titlesAndAddresses_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("cleaned");
        QTest::addColumn<bool>("videoPage");
        QTest::newRow("suffix") << "Song - YouTube"
                                << "Song" << false;
        QTest::newRow("every occurrence") << "A - YouTube - YouTube"
                                          << "A" << false;
        QTest::newRow("in the middle") << "A - YouTube B"
                                       << "A B" << false;
        QTest::newRow("only the suffix") << " - YouTube"
                                         << "Vídeo do YouTube" << false;
        QTest::newRow("case matters for the suffix") << "A - youtube"
                                                     << "A - youtube" << false;
        QTest::newRow("watch page") << "https://www.youtube.com/watch?v=1"
                                    << "https://www.youtube.com/watch?v=1" << true;
        QTest::newRow("upper-case host") << "HTTPS://WWW.YOUTUBE.COM/WATCH?v=1"
                                         << "HTTPS://WWW.YOUTUBE.COM/WATCH?v=1" << true;
        QTest::newRow("short link") << "https://youtu.be/abc"
                                    << "https://youtu.be/abc" << true;
        QTest::newRow("shorts") << "https://m.youtube.com/shorts/abc"
                                << "https://m.youtube.com/shorts/abc" << true;
        QTest::newRow("channel page") << "https://www.youtube.com/@someone"
                                      << "https://www.youtube.com/@someone" << false;
        QTest::newRow("elsewhere") << "https://example.org/watch"
                                   << "https://example.org/watch" << false;
    }
    void titlesAndAddresses() {
        QFETCH(QString, text);
        QFETCH(QString, cleaned);
        QFETCH(bool, videoPage);
        QCOMPARE(MediaService::cleanVideoTitle(text), cleaned);
        QCOMPARE(MediaService::isVideoPage(QUrl(text)), videoPage);
    }

    void browsersAreToldByTheirNames_data() {
        QTest::addColumn<QString>("identity");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("browser");
        QTest::newRow("chrome by entry") << "Chromium"
                                         << "google-chrome"
                                         << "Google Chrome";
        QTest::newRow("chrome by identity") << "Google Chrome"
                                            << ""
                                            << "Google Chrome";
        QTest::newRow("chromium") << "Chromium"
                                  << "chromium"
                                  << "Chromium";
        QTest::newRow("firefox esr") << "Mozilla Firefox"
                                     << "firefox-esr"
                                     << "Firefox";
        QTest::newRow("brave") << "Brave"
                               << "brave-browser"
                               << "Brave Browser";
        QTest::newRow("edge") << "Microsoft Edge"
                              << "microsoft-edge"
                              << "Microsoft Edge";
        QTest::newRow("opera") << "Opera"
                               << "opera"
                               << "Opera";
        QTest::newRow("vivaldi") << "Vivaldi"
                                 << "vivaldi-stable"
                                 << "Vivaldi";
        QTest::newRow("a music player") << "Rhythmbox"
                                        << "org.gnome.Rhythmbox3"
                                        << "";
        QTest::newRow("spotify") << "Spotify"
                                 << "spotify"
                                 << "";
        QTest::newRow("nothing known") << ""
                                       << ""
                                       << "";
    }
    void browsersAreToldByTheirNames() {
        QFETCH(QString, identity);
        QFETCH(QString, entry);
        QFETCH(QString, browser);
        QCOMPARE(MediaService::browserName({QStringLiteral("org.mpris.MediaPlayer2.x"), identity, entry}),
                 browser);
    }

    void theKeepRuleHoldsTheTrackForTwentySeconds() {
        m_players->set(player("vlc", "VLC"), playing("V"));
        auto s = make();
        QVERIFY(s);
        QVERIFY(s->track());
        m_players->remove("org.mpris.MediaPlayer2.vlc");
        m_clock->advanceMs(MediaService::kKeepMs);
        QVERIFY(refreshAndSettle(*s));
        QVERIFY2(s->track(), "exactly 20 s after the last read: kept");
        m_clock->advanceMs(1);
        QVERIFY(refreshAndSettle(*s));
        QVERIFY(!s->track());
        // A track that comes back counts from a fresh success.
        m_players->set(player("vlc", "VLC"), playing("V"));
        QVERIFY(refreshAndSettle(*s));
        QVERIFY(s->track());
    }

    // With no timer reading the players, the read that lets a kept track go is one of its own: the
    // player's leaving is its last notice.
    void aKeptTrackGoesWithoutAnotherNotice() {
        m_players->set(player("vlc", "VLC"), playing("V"));
        auto s = make();
        QVERIFY(s);
        m_players->remove("org.mpris.MediaPlayer2.vlc");
        m_players->notifyChange();
        QTRY_VERIFY(m_players->reads() >= 2);
        QVERIFY(settle(*s));
        QVERIFY(s->track()); // kept
        QVERIFY(m_tickers->isRunning(MediaService::kKeepCheckMs));
        m_clock->advanceMs(MediaService::kKeepCheckMs);
        QCOMPARE(m_tickers->fire(MediaService::kKeepCheckMs), 1);
        QVERIFY(settle(*s));
        QVERIFY(!s->track());
        QVERIFY(!m_tickers->isRunning(MediaService::kKeepCheckMs));
        QVERIFY(!m_tickers->isRunning(MediaService::kTickMs));
    }

    // Out of sight the elapsed tick rests; the seconds played meanwhile are counted in when it shows
    // again, and a pause or a new track while unseen ends or restarts that count.
    void elapsedUnseenIsCountedInWhenShownAgain() {
        m_players->set(player("vlc", "VLC"), playing("One"));
        auto s = make();
        QVERIFY(s);
        m_tickers->fire(MediaService::kTickMs);
        QCOMPARE(s->elapsedSeconds(), 1);
        s->setElapsedShown(false);
        QVERIFY(!m_tickers->isRunning(MediaService::kTickMs));
        m_clock->advanceMs(7'400);
        s->setElapsedShown(true);
        QCOMPARE(s->elapsedSeconds(), 8);
        QVERIFY(m_tickers->isRunning(MediaService::kTickMs));

        // Paused while unseen: only the seconds up to the pause count.
        s->setElapsedShown(false);
        m_clock->advanceMs(3'000);
        m_players->set(player("vlc", "VLC"), playing("One", {}, "Paused"));
        QVERIFY(refreshAndSettle(*s));
        QCOMPARE(s->elapsedSeconds(), 11);
        m_clock->advanceMs(60'000);
        s->setElapsedShown(true);
        QCOMPARE(s->elapsedSeconds(), 11);
        QVERIFY(!m_tickers->isRunning(MediaService::kTickMs));

        // A new track while unseen counts from its own start.
        s->setElapsedShown(false);
        m_players->set(player("vlc", "VLC"), playing("Two"));
        QVERIFY(refreshAndSettle(*s));
        QCOMPARE(s->elapsedSeconds(), 0);
        m_clock->advanceMs(2'000);
        s->setElapsedShown(true);
        QCOMPARE(s->elapsedSeconds(), 2);
    }

    void nothingEverReadKeepsNothing() {
        auto s = make();
        QVERIFY(s);
        QVERIFY(!s->track());
        QCOMPARE(m_players->reads(), 1);
        // Nothing playing: no timer at all, the players' notices say when to read again.
        QVERIFY(!m_tickers->isRunning(MediaService::kTickMs));
        QVERIFY(!m_tickers->isRunning(MediaService::kKeepCheckMs));
    }

    void overlappingRefreshesAreDropped() {
        m_players->set(player("vlc", "VLC"), playing("V"));
        m_players->setGated(true);
        MediaService s(m_players.get(), *m_clock, *m_tickers);
        QVERIFY(s.isLoading());
        // The tab asks again, twice, while the read hangs: both are dropped, not queued.
        s.refresh();
        s.refresh();
        m_players->release();
        QVERIFY(settle(s));
        QTest::qWait(50); // proves no wrongly queued read starts (one would hang in the gate)
        QCOMPARE(m_players->reads(), 1);
        QVERIFY(!s.isLoading());
        m_players->setGated(false);
        m_players->release(10);
    }

    void aChangeDuringAReadIsReadRightAfter() {
        m_players->set(player("vlc", "VLC"), playing("Old"));
        m_players->setGated(true);
        MediaService s(m_players.get(), *m_clock, *m_tickers);
        QVERIFY(s.isLoading());
        // The player changes track while the read is under way, which may already have passed it.
        m_players->notifyChange();
        m_players->notifyChange();
        m_players->set(player("vlc", "VLC"), playing("New"));
        m_players->release(2);
        QTRY_COMPARE(m_players->reads(), 2);
        QVERIFY(settle(s));
        QCOMPARE(s.track()->title, QStringLiteral("New"));
        m_players->setGated(false);
        m_players->release(10);
    }

    void aChangeNoticeReadsAtOnce() {
        m_players->set(player("vlc", "VLC"), playing("One"));
        auto s = make();
        QVERIFY(s);
        m_players->set(player("vlc", "VLC"), playing("Two"));
        m_players->notifyChange();
        QTRY_COMPARE(s->track()->title, QStringLiteral("Two"));
    }

    void elapsedCountsWhilePlayingAndResetsOnANewTrack() {
        m_players->set(player("vlc", "VLC"), playing("One"));
        auto s = make();
        QVERIFY(s);
        QCOMPARE(s->elapsedSeconds(), 0);
        m_tickers->fire(MediaService::kTickMs);
        m_tickers->fire(MediaService::kTickMs);
        QCOMPARE(s->elapsedSeconds(), 2);
        // Another artist or album alone is the same track.
        MediaPlayerState other = playing("One", {"Someone else"});
        other.album = "Other";
        m_players->set(player("vlc", "VLC"), other);
        QVERIFY(refreshAndSettle(*s));
        QCOMPARE(s->elapsedSeconds(), 2);
        // Paused: the count stops, and stays; its tick rests.
        m_players->set(player("vlc", "VLC"), playing("One", {}, "Paused"));
        QVERIFY(refreshAndSettle(*s));
        m_tickers->fire(MediaService::kTickMs);
        QCOMPARE(s->elapsedSeconds(), 2);
        QVERIFY(!m_tickers->isRunning(MediaService::kTickMs));
        // A new title starts again.
        m_players->set(player("vlc", "VLC"), playing("Two"));
        QVERIFY(refreshAndSettle(*s));
        QCOMPARE(s->elapsedSeconds(), 0);
    }

    void elapsedStartsFromThePlayersPosition() {
        MediaPlayerState st = playing("One");
        st.positionMicros = 75'900'000;
        m_players->set(player("vlc", "VLC"), st);
        auto s = make();
        QVERIFY(s);
        QCOMPARE(s->elapsedSeconds(), 75);
        // Later reads of the same track leave the local count alone.
        st.positionMicros = 200'000'000;
        m_players->set(player("vlc", "VLC"), st);
        m_tickers->fire(MediaService::kTickMs);
        QVERIFY(refreshAndSettle(*s));
        QCOMPARE(s->elapsedSeconds(), 76);
    }

    void commandsReachTheTracksPlayer_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<int>("command");
        QTest::newRow("play/pause") << 0 << int(Command::playPause);
        QTest::newRow("previous") << 1 << int(Command::previous);
        QTest::newRow("next") << 2 << int(Command::next);
        QTest::newRow("open") << 3 << int(Command::raise);
    }
    void commandsReachTheTracksPlayer() {
        QFETCH(int, which);
        QFETCH(int, command);
        m_players->set(player("spotify", "Spotify"), std::nullopt);
        m_players->set(player("vlc", "VLC"), playing("V"));
        auto s = make();
        QVERIFY(s);
        const int readsBefore = m_players->reads();
        switch (which) {
        case 0:
            s->playPause();
            break;
        case 1:
            s->previousTrack();
            break;
        case 2:
            s->nextTrack();
            break;
        case 3:
            s->openSource();
            break;
        }
        QTRY_COMPARE(m_players->sent().size(), 1);
        QCOMPARE(m_players->sent().first(),
                 std::make_pair(QStringLiteral("org.mpris.MediaPlayer2.vlc"), Command(command)));
        // Playback commands are followed by a read, on the main thread; raising changes nothing to read.
        if (Command(command) != Command::raise)
            QTRY_COMPARE(m_players->reads(), readsBefore + 1);
        QVERIFY(settle(*s));
    }

    void everyChangeAfterACommandIsMadeOnTheMainThread() {
        m_players->set(player("vlc", "VLC"), playing("One"));
        auto s = make();
        QVERIFY(s);
        QList<QThread*> threads;
        auto record = [&] { threads << QThread::currentThread(); };
        connect(s.get(), &MediaService::isLoadingChanged, this, record, Qt::DirectConnection);
        connect(s.get(), &MediaService::trackChanged, this, record, Qt::DirectConnection);
        connect(s.get(), &MediaService::elapsedSecondsChanged, this, record, Qt::DirectConnection);
        // The command's read finds another track: loading, the new track, its count, loading again.
        m_players->set(player("vlc", "VLC"), playing("Two"));
        m_tickers->fire(MediaService::kTickMs);
        threads.clear();
        s->nextTrack();
        QTRY_VERIFY(threads.size() >= 4);
        QVERIFY(settle(*s));
        for (QThread* t : std::as_const(threads))
            QCOMPARE(t, QCoreApplication::instance()->thread());
        QCOMPARE(s->track()->title, QStringLiteral("Two"));
    }

    void commandsWithoutATrackDoNothing() {
        auto s = make();
        QVERIFY(s);
        s->playPause();
        s->previousTrack();
        s->nextTrack();
        s->openSource();
        QTest::qWait(50); // proves no command reaches the player from the service's own pool
        QVERIFY(m_players->sent().isEmpty());
    }

    void pausingABrowserVideoHoldsUntilTheTitleChanges() {
        const auto chrome = player("chromium.instance7", "Google Chrome", "google-chrome");
        m_players->set(chrome, playing("Clip"));
        auto s = make();
        QVERIFY(s);
        QVERIFY(s->track()->isPlaying);
        s->playPause();
        QTRY_VERIFY(!s->track()->isPlaying); // flipped at once on the browser's yes
        // The browser keeps saying it plays: the user's pause stands, and the count stops.
        QVERIFY(refreshAndSettle(*s));
        QVERIFY(!s->track()->isPlaying);
        m_tickers->fire(MediaService::kTickMs);
        QCOMPARE(s->elapsedSeconds(), 0);
        // A new video forgets it.
        m_players->set(chrome, playing("Another clip"));
        QVERIFY(refreshAndSettle(*s));
        QVERIFY(s->track()->isPlaying);
    }

    void aRefusedBrowserPlayPauseChangesNothing() {
        const auto chrome = player("chromium.instance7", "Google Chrome", "google-chrome");
        m_players->set(chrome, playing("Clip"));
        auto s = make();
        QVERIFY(s);
        m_players->setAccept(false);
        QSignalSpy spy(s.get(), &MediaService::trackChanged);
        s->playPause();
        QTRY_COMPARE(m_players->sent().size(), 1);
        QTest::qWait(50); // proves the refusal, answered on the service's pool, changes no track
        QCOMPARE(spy.count(), 0);
        QVERIFY(s->track()->isPlaying);
    }

    void withoutPlayersNothingRunsOrPlays() {
        MediaService s(nullptr, *m_clock, *m_tickers);
        QVERIFY(!m_tickers->isRunning(MediaService::kKeepCheckMs));
        QVERIFY(!m_tickers->isRunning(MediaService::kTickMs));
        s.refresh();
        s.playPause();
        QVERIFY(!s.isLoading());
        QVERIFY(!s.track());
    }

    void aServiceGoneMidReadDropsTheResult() {
        m_players->set(player("vlc", "VLC"), playing("V"));
        m_players->setGated(true);
        {
            auto s = std::make_unique<MediaService>(m_players.get(), *m_clock, *m_tickers);
            QVERIFY(s->isLoading());
            m_players->release();
            // Destroyed while its read may still be running: it waits, and the late result is dropped.
        }
        QCoreApplication::processEvents();
        QVERIFY(!m_players->hasHandler());
        m_players->setGated(false);
    }
};

QTEST_GUILESS_MAIN(tst_MediaService)
#include "tst_MediaService.moc"
