// What a media player reports as playing now.
#pragma once

#include <QString>
#include <QUrl>

#include <optional>

struct MediaTrack {
    QString app;
    QString title;
    QString artist;
    QString album;
    bool isPlaying = false;
    std::optional<QUrl> sourceURL;
    bool operator==(const MediaTrack&) const = default;
};
