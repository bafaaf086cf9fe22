// The now-playing service.
#include "services/MediaService.h"

#include "platform/Clock.h"
#include "platform/Ticker.h"
#include "services/Published.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <algorithm>
#include <array>
#include <utility>

const QString MediaService::kVideoArtist = QStringLiteral("YouTube");

namespace {

struct BrowserRow {
    const char* key; // matched against the desktop entry and the identity, lower-cased
    const char* app;
};
// In the order they are asked; the first browser with a video wins.
constexpr std::array kBrowsers{
    BrowserRow{"google-chrome", "Google Chrome"},
    BrowserRow{"microsoft-edge", "Microsoft Edge"},
    BrowserRow{"brave", "Brave Browser"},
    BrowserRow{"opera", "Opera"},
    BrowserRow{"vivaldi", "Vivaldi"},
    BrowserRow{"chromium", "Chromium"},
    BrowserRow{"firefox", "Firefox"},
};

int browserRank(const QString& app) {
    for (std::size_t i = 0; i < kBrowsers.size(); ++i)
        if (app == QLatin1String(kBrowsers[i].app))
            return int(i);
    return int(kBrowsers.size());
}

bool isSpotify(const MediaPlayerInfo& info) {
    return info.identity.compare(QLatin1String("Spotify"), Qt::CaseInsensitive) == 0 ||
           info.desktopEntry.compare(QLatin1String("spotify"), Qt::CaseInsensitive) == 0 ||
           info.busName == QLatin1String("org.mpris.MediaPlayer2.spotify");
}

} // namespace

MediaService::MediaService(QObject* parent)
    : QObject(parent)
    , m_players(nullptr)
    , m_clock(nullptr) {}

MediaService::MediaService(MediaPlayers* players, Clock& clock, TickerFactory& tickers, QObject* parent)
    : QObject(parent)
    , m_players(players)
    , m_clock(&clock) {
    m_pool.setMaxThreadCount(2);
    if (!m_players)
        return; // nothing can ever play: no timers to wake the processor for
    // No timer reads the players: their notices say when something changed.
    m_keepCheck = tickers.make(kKeepCheckMs, [this] {
        m_keepCheck->stop();
        refresh();
    });
    m_elapsedTimer = tickers.make(kTickMs, [this] { tickElapsed(); }); // starts with a playing track
    QPointer<MediaService> self(this);
    m_players->setChangeHandler([self] {
        if (self)
            self->onPlayersChanged();
    });
    refresh();
}

MediaService::~MediaService() {
    if (m_players)
        m_players->setChangeHandler({});
    // Workers hold the players seam, which may go right after this service.
    m_pool.waitForDone();
}

QString MediaService::browserName(const MediaPlayerInfo& info) {
    const QString entry = info.desktopEntry.toLower();
    const QString identity = info.identity.toLower();
    for (const BrowserRow& row : kBrowsers) {
        const QLatin1String key(row.key);
        // Identities read "Google Chrome", desktop entries "google-chrome": compare both spellings.
        QString spaced = QString(key);
        spaced.replace(QLatin1Char('-'), QLatin1Char(' '));
        if (entry.contains(key) || identity.contains(key) || identity.contains(spaced))
            return QLatin1String(row.app);
    }
    return {};
}

QString MediaService::cleanVideoTitle(const QString& title) {
    QString cleaned = title;
    cleaned.remove(QStringLiteral(" - YouTube"));
    if (cleaned.isEmpty())
        return QStringLiteral("Vídeo do YouTube");
    return cleaned;
}

bool MediaService::isVideoPage(const QUrl& url) {
    const QString lower = url.toString().toLower();
    return lower.contains(QLatin1String("youtube.com/watch")) || lower.contains(QLatin1String("youtu.be/")) ||
           lower.contains(QLatin1String("youtube.com/shorts/"));
}

std::optional<MediaService::Read> MediaService::readTrack(MediaPlayers& players) {
    QList<MediaPlayerInfo> music;
    QList<std::pair<MediaPlayerInfo, QString>> browsers;
    for (const MediaPlayerInfo& info : players.players()) {
        const QString browser = browserName(info);
        if (!browser.isEmpty())
            browsers.append({info, browser});
        else
            music.append(info);
    }
    // Spotify first, then the other players in the order of their addresses.
    std::stable_sort(music.begin(), music.end(), [](const MediaPlayerInfo& a, const MediaPlayerInfo& b) {
        if (isSpotify(a) != isSpotify(b))
            return isSpotify(a);
        return a.busName < b.busName;
    });
    std::stable_sort(browsers.begin(), browsers.end(), [](const auto& a, const auto& b) {
        return browserRank(a.second) < browserRank(b.second);
    });

    // A desktop has many players at once (every browser tab may publish one): one that plays wins over
    // those that do not, and among equals the order above decides. The first that plays ends the search.
    std::optional<Read> firstAnswer;
    auto take = [&firstAnswer](Read read) {
        if (read.track.isPlaying)
            return std::optional<Read>(std::move(read));
        if (!firstAnswer)
            firstAnswer = std::move(read);
        return std::optional<Read>();
    };
    for (const MediaPlayerInfo& info : std::as_const(music)) {
        const auto s = players.state(info.busName);
        if (!s || s->title.isEmpty())
            continue;
        MediaTrack t;
        t.app = isSpotify(info) ? QStringLiteral("Spotify")
                                : (info.identity.isEmpty() ? info.busName.section(QLatin1Char('.'), 3, 3)
                                                           : info.identity);
        t.title = s->title;
        t.artist = s->artists.join(QStringLiteral(", "));
        t.album = s->album;
        t.isPlaying = s->playbackStatus.compare(QLatin1String("playing"), Qt::CaseInsensitive) == 0;
        if (auto playing = take(Read{t, info.busName, s->positionMicros}))
            return playing;
    }
    for (const auto& [info, app] : std::as_const(browsers)) {
        const auto s = players.state(info.busName);
        if (!s || s->title.isEmpty())
            continue;
        // A page that names its address must be a video page; most browsers name none, and then the
        // session itself is the video.
        if (s->url && !isVideoPage(*s->url))
            continue;
        MediaTrack t;
        t.app = app;
        t.title = cleanVideoTitle(s->title);
        t.artist = kVideoArtist;
        t.album = QStringLiteral("Navegador");
        t.isPlaying = s->playbackStatus.compare(QLatin1String("playing"), Qt::CaseInsensitive) == 0;
        t.sourceURL = s->url;
        if (auto playing = take(Read{t, info.busName, s->positionMicros}))
            return playing;
    }
    return firstAnswer;
}

void MediaService::onPlayersChanged() {
    if (m_isLoading)
        m_refreshAgain = true;
    else
        refresh();
}

void MediaService::refresh() {
    if (m_isLoading || !m_players)
        return;
    setLoading(true);
    QPointer<MediaService> self(this);
    MediaPlayers* players = m_players;
    m_pool.start([self, players] {
        std::optional<Read> read = readTrack(*players);
        QMetaObject::invokeMethod(
            qApp,
            [self, read = std::move(read)]() mutable {
                if (self)
                    self->finishRead(std::move(read));
            },
            Qt::QueuedConnection);
    });
}

void MediaService::finishRead(std::optional<Read> read) {
    const qint64 now = m_clock->monotonicMs();
    if (read) {
        apply(std::move(*read));
        m_lastSuccessfulReadMs = now;
    } else if (!m_lastSuccessfulReadMs || now - *m_lastSuccessfulReadMs > kKeepMs) {
        setTrack(std::nullopt);
    } else if (m_track && !m_keepCheck->isActive()) {
        m_keepCheck->start(); // nothing else may ever read again to let the kept track go
    }
    setLoading(false);
    if (std::exchange(m_refreshAgain, false))
        refresh();
}

void MediaService::apply(Read read) {
    MediaTrack next = std::move(read.track);
    if (!m_track || m_track->title != next.title || m_track->app != next.app) {
        // A new track counts from where the player is, when it says.
        setElapsedSeconds(read.positionMicros ? int(*read.positionMicros / 1'000'000) : 0);
        if (m_untickedSinceMs)
            m_untickedSinceMs = m_clock->monotonicMs();
        m_browserPlaybackOverride.reset();
    }
    if (next.artist == kVideoArtist && m_browserPlaybackOverride)
        next.isPlaying = *m_browserPlaybackOverride;
    m_busName = read.busName;
    setTrack(std::move(next));
}

void MediaService::tickElapsed() {
    if (m_track && m_track->isPlaying)
        setElapsedSeconds(m_elapsedSeconds + 1);
}

void MediaService::playPause() {
    if (!m_track || !m_players)
        return;
    if (m_track->artist != kVideoArtist) {
        sendCommand(MediaPlayers::Command::playPause, true);
        return;
    }
    // A browser's own report may lag the user's press: remember what was asked for this video.
    QPointer<MediaService> self(this);
    MediaPlayers* players = m_players;
    const QString busName = m_busName;
    const MediaTrack pressed = *m_track;
    m_pool.start([self, players, busName, pressed] {
        const bool ok = players->send(busName, MediaPlayers::Command::playPause);
        QMetaObject::invokeMethod(
            qApp,
            [self, ok, pressed] {
                // The track may have changed while the command ran: then the press no longer applies.
                if (!self || !ok || self->m_track != pressed)
                    return;
                self->m_browserPlaybackOverride = !pressed.isPlaying;
                MediaTrack flipped = pressed;
                flipped.isPlaying = !pressed.isPlaying;
                self->setTrack(flipped);
            },
            Qt::QueuedConnection);
    });
}

void MediaService::previousTrack() {
    sendCommand(MediaPlayers::Command::previous, true);
}

void MediaService::nextTrack() {
    sendCommand(MediaPlayers::Command::next, true);
}

void MediaService::openSource() {
    // The player raises its own window; for a browser that is the window that plays the media.
    sendCommand(MediaPlayers::Command::raise, false);
}

void MediaService::sendCommand(MediaPlayers::Command command, bool refreshAfter) {
    if (!m_track || !m_players)
        return;
    QPointer<MediaService> self(this);
    MediaPlayers* players = m_players;
    const QString busName = m_busName;
    m_pool.start([self, players, busName, command, refreshAfter] {
        players->send(busName, command);
        if (!refreshAfter)
            return;
        // The refresh belongs to the main thread, like every other change of what is published.
        QMetaObject::invokeMethod(
            qApp,
            [self] {
                if (self)
                    self->refresh();
            },
            Qt::QueuedConnection);
    });
}

void MediaService::setTrack(std::optional<MediaTrack> track) {
    if (assignPublished(this, m_track, std::move(track), &MediaService::trackChanged))
        emit changed();
    updateElapsedTick();
}

void MediaService::setElapsedShown(bool shown) {
    if (shown == m_elapsedShown)
        return;
    m_elapsedShown = shown;
    updateElapsedTick();
}

void MediaService::updateElapsedTick() {
    if (!m_elapsedTimer)
        return;
    // The tick counts nothing unless a track plays, and shows nothing unless it is seen: it rests
    // meanwhile, so an idle program is not woken every second for it.
    const bool playing = m_track && m_track->isPlaying;
    const bool ticking = playing && m_elapsedShown;
    if (m_untickedSinceMs && (ticking || !playing)) {
        // The seconds it played unseen (up to now, or up to its pause) count as ticks would have.
        const qint64 unseenMs = m_clock->monotonicMs() - *m_untickedSinceMs;
        m_untickedSinceMs.reset();
        if (unseenMs >= 1000)
            setElapsedSeconds(m_elapsedSeconds + int(unseenMs / 1000));
    }
    if (playing && !ticking && !m_untickedSinceMs)
        m_untickedSinceMs = m_clock->monotonicMs();
    if (ticking)
        m_elapsedTimer->start();
    else
        m_elapsedTimer->stop();
}

void MediaService::setLoading(bool loading) {
    if (assignPublished(this, m_isLoading, loading, &MediaService::isLoadingChanged))
        emit changed();
}

void MediaService::setElapsedSeconds(int seconds) {
    if (assignPublished(this, m_elapsedSeconds, seconds, &MediaService::elapsedSecondsChanged))
        emit changed();
}
