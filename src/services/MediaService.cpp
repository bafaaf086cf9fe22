// The now-playing service.
#include "services/MediaService.h"

MediaService::MediaService(QObject* parent)
    : QObject(parent) {}

void MediaService::setTrack(std::optional<MediaTrack> track) {
    if (track == m_track)
        return;
    m_track = std::move(track);
    emit trackChanged();
    emit changed();
}

void MediaService::setElapsedSeconds(int seconds) {
    if (seconds == m_elapsedSeconds)
        return;
    m_elapsedSeconds = seconds;
    emit elapsedSecondsChanged();
    emit changed();
}

void MediaService::playPause() {}

void MediaService::openSource() {}
