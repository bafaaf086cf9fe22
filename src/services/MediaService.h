// What is playing now, and its play/pause and open controls.
#pragma once

#include "model/MediaTrack.h"

#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

class MediaService : public QObject {
    Q_OBJECT
    Q_PROPERTY(int elapsedSeconds READ elapsedSeconds NOTIFY elapsedSecondsChanged)
public:
    explicit MediaService(QObject* parent = nullptr);

    const std::optional<MediaTrack>& track() const { return m_track; }
    void setTrack(std::optional<MediaTrack> track);
    int elapsedSeconds() const { return m_elapsedSeconds; }
    void setElapsedSeconds(int seconds);

    void playPause();
    void openSource();

signals:
    // Sent after any of the published values changed.
    void changed();
    void trackChanged();
    void elapsedSecondsChanged();

private:
    std::optional<MediaTrack> m_track;
    int m_elapsedSeconds = 0;
};
