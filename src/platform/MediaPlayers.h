// The media players running on this desktop: what each plays, and play-pause, previous, next and raise.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QtGlobal>

#include <functional>
#include <optional>

// One player as it names itself.
struct MediaPlayerInfo {
    QString busName;      // the address commands go to
    QString identity;     // the player's own name, e.g. "Spotify", "Chromium"
    QString desktopEntry; // its desktop file's base name, e.g. "spotify", "firefox"; may be empty
    bool operator==(const MediaPlayerInfo&) const = default;
};

// What one player reports now.
struct MediaPlayerState {
    QString playbackStatus; // "Playing", "Paused" or "Stopped" as sent
    QString title;
    QStringList artists;
    QString album;
    std::optional<QUrl> url;              // the page or file address, when the player publishes one
    std::optional<qint64> positionMicros; // playback position, when the player gives it
    bool operator==(const MediaPlayerState&) const = default;
};

class MediaPlayers {
public:
    enum class Command { playPause, previous, next, raise };

    MediaPlayers() = default;
    virtual ~MediaPlayers() = default;
    Q_DISABLE_COPY_MOVE(MediaPlayers)

    // Every player present now, proxies that repeat other players left out. Blocks up to its
    // time-out; called from worker threads only.
    virtual QList<MediaPlayerInfo> players() = 0;
    // The state of one player, or nothing when it does not answer within the time-out. Worker threads only.
    virtual std::optional<MediaPlayerState> state(const QString& busName) = 0;
    // Sends one command; true when the player accepted it. Worker threads only.
    virtual bool send(const QString& busName, Command command) = 0;
    // Called on the main thread whenever a player reports a change of its state, or a player comes or
    // goes. Set once, from the main thread; an empty function stops the notices.
    virtual void setChangeHandler(std::function<void()> handler) = 0;
};
