// The Media tab over a now-playing service fed by fake players: what it shows for a player, a browser
// video and nothing, that showing it reads at once, and that its buttons reach the player.
#include "fakes/FakeClock.h"
#include "fakes/FakeMediaPlayers.h"
#include "fakes/FakeTicker.h"
#include "fakes/TestChecks.h"
#include "services/MediaService.h"
#include "views/ElidedLabel.h"
#include "views/IconButton.h"
#include "views/MediaTab.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPainter>
#include <QStackedWidget>
#include <QTranslator>
#include <QtTest>

using Command = MediaPlayers::Command;

namespace {

MediaPlayerState state(const QString& title, const QString& status, const QString& album = "Album") {
    MediaPlayerState s;
    s.playbackStatus = status;
    s.title = title;
    s.artists = {QStringLiteral("Artist")};
    s.album = album;
    return s;
}

const MediaPlayerInfo kSpotify{"org.mpris.MediaPlayer2.spotify", "Spotify", "spotify"};
const MediaPlayerInfo kVlc{"org.mpris.MediaPlayer2.vlc", "VLC media player", "vlc"};
const MediaPlayerInfo kBrave{"org.mpris.MediaPlayer2.chromium.instance3", "Brave", "brave-browser"};

} // namespace

Q_DECLARE_METATYPE(MediaPlayerInfo)

class tst_MediaTab : public QObject {
    Q_OBJECT

    QTranslator m_english;
    std::unique_ptr<FakeMediaPlayers> m_players;
    FakeClock m_clock;
    FakeTickerFactory m_tickers;
    std::unique_ptr<MediaService> m_service;

    [[nodiscard]] bool start() {
        return TestSupport::passes([&] {
            m_service = std::make_unique<MediaService>(m_players.get(), m_clock, m_tickers);
            QTRY_VERIFY(!m_service->isLoading());
        });
    }
    [[nodiscard]] bool reread() {
        return TestSupport::passes([&] {
            m_service->refresh();
            QTRY_VERIFY(!m_service->isLoading());
        });
    }
    static QString text(QWidget& tab, const char* name) { return tab.findChild<QLabel*>(name)->text(); }
    static QString symbol(QWidget& tab) { return tab.findChild<QLabel*>("symbol")->accessibleName(); }
    static QAbstractButton* playPause(QWidget& tab) {
        for (auto* b : tab.findChildren<QAbstractButton*>())
            if (b->accessibleName() == QLatin1String("playPause"))
                return b;
        return nullptr;
    }
    static int page(QWidget& tab) { return tab.findChild<QStackedWidget*>()->currentIndex(); }

private slots:
    void initTestCase() {
        QVERIFY(m_english.load(QStringLiteral("quillbay_en"), QStringLiteral(":/i18n")));
        QVERIFY(QCoreApplication::installTranslator(&m_english));
    }
    void init() { m_players = std::make_unique<FakeMediaPlayers>(); }
    void cleanup() {
        m_service.reset();
        m_players.reset();
    }

    void showsWhatPlays_data() {
        QTest::addColumn<MediaPlayerInfo>("player");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("album");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<bool>("albumShown");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Spotify playing") << kSpotify << "Playing"
                                         << "Album"
                                         << "waveform"
                                         << "Artist" << true << "pause.fill"
                                         << "Playing on Spotify";
        QTest::newRow("another player, paused") << kVlc << "Paused"
                                                << "Album"
                                                << "music.note"
                                                << "Artist" << true << "play.fill"
                                                << "Paused on VLC media player";
        QTest::newRow("no album") << kVlc << "Playing"
                                  << ""
                                  << "music.note"
                                  << "Artist" << false << "pause.fill"
                                  << "Playing on VLC media player";
        QTest::newRow("a browser video") << kBrave << "Playing"
                                         << "ignored"
                                         << "music.note"
                                         << "YouTube" << true << "pause.fill"
                                         << "Playing on Brave Browser";
    }
    void showsWhatPlays() {
        QFETCH(MediaPlayerInfo, player);
        QFETCH(QString, status);
        QFETCH(QString, album);
        m_players->set(player, state("A <b>title</b>", status, album));
        QVERIFY(start());
        MediaTab tab(*m_service);
        tab.resize(640, 280);
        QCOMPARE(page(tab), 0);
        QTEST(symbol(tab), "symbol");
        QCOMPARE(text(tab, "title"), QStringLiteral("A <b>title</b>"));
        QCOMPARE(tab.findChild<QLabel*>("title")->textFormat(), Qt::PlainText);
        QTEST(text(tab, "artist"), "artist");
        QTEST(!tab.findChild<QLabel*>("album")->isHidden(), "albumShown");
        QTEST(playPause(tab)->objectName(), "control");
        QTEST(text(tab, "caption"), "caption");
        if (player == kBrave)
            QCOMPARE(text(tab, "album"), QStringLiteral("Navegador"));
        QImage shot(tab.size(), QImage::Format_ARGB32);
        shot.fill(Qt::black); // the dashboard's own background
        tab.render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);
        // For a human look: QUILLBAY_SHOTS=<folder> keeps each row's picture.
        const QString dir = qEnvironmentVariable("QUILLBAY_SHOTS");
        if (!dir.isEmpty())
            shot.save(dir + "/media-tab-" + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-') +
                      ".png");
    }

    // A title longer than the row ends in "…" within the label, and no letter is cut at the edge.
    void longTitleEndsInAnEllipsis() {
        const QString title = QStringLiteral("An Extraordinarily Long Song Title That Goes On And On Well "
                                             "Beyond Any Reasonable Width For One Line");
        m_players->set(kVlc, state(title, "Playing"));
        QVERIFY(start());
        MediaTab tab(*m_service);
        tab.resize(640, 280);
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        auto* label = tab.findChild<ElidedLabel*>("title");
        QVERIFY(label);
        QCOMPARE(label->text(), title);
        const QString shown = label->shownText();
        QVERIFY2(shown.endsWith(QChar(0x2026)) && shown.size() < title.size(), qPrintable(shown));
        QVERIFY(label->fontMetrics().horizontalAdvance(shown) <= label->width());
        // What is drawn is that text: the label's picture matches one of the shown text alone.
        QImage expected(label->size(), QImage::Format_ARGB32_Premultiplied);
        expected.fill(Qt::transparent);
        {
            QPainter p(&expected);
            p.setFont(label->font());
            p.setPen(label->palette().color(QPalette::WindowText));
            p.drawText(label->contentsRect(), int(label->alignment()) | Qt::TextSingleLine, shown);
        }
        QImage drawn(label->size(), QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        label->render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);
        QCOMPARE(drawn, expected);
    }

    void nothingPlaying() {
        QVERIFY(start());
        MediaTab tab(*m_service);
        QCOMPARE(page(tab), 1);
        QCOMPARE(text(tab, "nothingPlaying"), QStringLiteral("Nothing playing"));
        // A player that starts later replaces the hint.
        m_players->set(kVlc, state("Song", "Playing"));
        QVERIFY(reread());
        QCOMPARE(page(tab), 0);
        QCOMPARE(text(tab, "title"), QStringLiteral("Song"));
    }

    void showingTheTabReadsOnce() {
        QVERIFY(start());
        MediaTab tab(*m_service);
        const int before = m_players->reads();
        tab.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tab));
        QTRY_VERIFY(!m_service->isLoading());
        QCOMPARE(m_players->reads(), before + 1);
        // Shown again while a read hangs: no second read piles up.
        tab.hide();
        m_players->setGated(true);
        m_service->refresh();
        tab.show();
        m_players->release();
        QTRY_VERIFY(!m_service->isLoading());
        QTest::qWait(50); // proves no second read piles up
        QCOMPARE(m_players->reads(), before + 2);
        m_players->setGated(false);
    }

    void buttonsReachThePlayer() {
        m_players->set(kVlc, state("Song", "Playing"));
        QVERIFY(start());
        MediaTab tab(*m_service);
        tab.findChild<IconButton*>("previous")->click();
        QTRY_COMPARE(m_players->sent().size(), 1);
        playPause(tab)->click();
        QTRY_COMPARE(m_players->sent().size(), 2);
        tab.findChild<IconButton*>("next")->click();
        QTRY_COMPARE(m_players->sent().size(), 3);
        QCOMPARE(m_players->sent().at(0).second, Command::previous);
        QCOMPARE(m_players->sent().at(1).second, Command::playPause);
        QCOMPARE(m_players->sent().at(2).second, Command::next);
        QTRY_VERIFY(!m_service->isLoading());
    }

    void pausingABrowserVideoFlipsTheSymbolAtOnce() {
        m_players->set(kBrave, state("Clip", "Playing"));
        QVERIFY(start());
        MediaTab tab(*m_service);
        QCOMPARE(playPause(tab)->objectName(), QStringLiteral("pause.fill"));
        playPause(tab)->click();
        QTRY_COMPARE(playPause(tab)->objectName(), QStringLiteral("play.fill"));
        // The browser still says it plays; the press stands.
        QVERIFY(reread());
        QCOMPARE(playPause(tab)->objectName(), QStringLiteral("play.fill"));
        QCOMPARE(text(tab, "caption"), QStringLiteral("Paused on Brave Browser"));
    }
};

QTEST_MAIN(tst_MediaTab)
#include "tst_MediaTab.moc"
