// What is playing now, and its play/pause, previous, next and open controls.
#pragma once

#include "model/MediaTrack.h"
#include "platform/MediaPlayers.h"

#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QUrl>

#include <memory>
#include <optional>

class Clock;
class Ticker;
class TickerFactory;

class MediaService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(int elapsedSeconds READ elapsedSeconds NOTIFY elapsedSecondsChanged)
public:
    // The artist that marks a track as a video in a browser.
    static const QString kVideoArtist;

    // One read's result: the track, and the player it came from (kept out of the track so that two
    // reads of the same track compare equal whichever player address they came through).
    struct Read {
        MediaTrack track;
        QString busName;
        std::optional<qint64> positionMicros;
    };

    static constexpr int kTickMs = 1000;
    // A read that finds nothing keeps the last track this long.
    static constexpr qint64 kKeepMs = 20'000;
    // After a read that found nothing but kept the track, the read that lets it go comes this late.
    static constexpr int kKeepCheckMs = int(kKeepMs) + 1000;

    // players may be null: nothing ever plays. The first read starts here; later ones follow the
    // players' own change notices.
    MediaService(MediaPlayers* players, Clock& clock, TickerFactory& tickers, QObject* parent = nullptr);
    explicit MediaService(QObject* parent = nullptr); // no players: nothing ever plays
    ~MediaService() override;

    const std::optional<MediaTrack>& track() const { return m_track; }
    bool isLoading() const { return m_isLoading; }
    int elapsedSeconds() const { return m_elapsedSeconds; }

    // Starts one read in the background unless one is under way (then the request is dropped).
    void refresh();
    void playPause();
    void previousTrack();
    void nextTrack();
    // Brings the current track's player forward.
    void openSource();
    // The 1 s elapsed tick.
    void tickElapsed();
    // Whether the elapsed time is on screen. The tick runs only while it is and a track plays; the
    // seconds that passed meanwhile are counted in when it shows again.
    void setElapsedShown(bool shown);
    // Publish a value directly; for observers' tests, the reads use them too.
    void setTrack(std::optional<MediaTrack> track);
    void setElapsedSeconds(int seconds);

    // The read itself: the first player that plays, else the first that answers with a title; players
    // before browsers in either case. Blocks.
    static std::optional<Read> readTrack(MediaPlayers& players);
    // The application name a browser player goes by, or empty when the player is no browser.
    static QString browserName(const MediaPlayerInfo& info);
    // A video title without the site's suffix; a title made only of it becomes a generic one.
    static QString cleanVideoTitle(const QString& title);
    // Whether an address is a video page of the video site (any letter case).
    static bool isVideoPage(const QUrl& url);

signals:
    // Sent after any of the published values changed.
    void changed();
    void trackChanged();
    void isLoadingChanged();
    void elapsedSecondsChanged();

private:
    // A player reported a change: read now, or right after the read under way, which may have missed it.
    void onPlayersChanged();
    void finishRead(std::optional<Read> read);
    void apply(Read read);
    void setLoading(bool loading);
    void sendCommand(MediaPlayers::Command command, bool refreshAfter);
    void updateElapsedTick();

    MediaPlayers* m_players;
    Clock* m_clock;
    std::optional<MediaTrack> m_track;
    bool m_isLoading = false;
    bool m_refreshAgain = false; // a change was reported while a read ran
    int m_elapsedSeconds = 0;
    QString m_busName;
    std::optional<bool> m_browserPlaybackOverride;
    std::optional<qint64> m_lastSuccessfulReadMs;
    QThreadPool m_pool; // reads and commands; drained before the service goes
    bool m_elapsedShown = true;
    std::optional<qint64> m_untickedSinceMs; // playing while the tick rests for want of a viewer
    std::unique_ptr<Ticker> m_keepCheck;
    std::unique_ptr<Ticker> m_elapsedTimer;
};
