// The dashboard's Media tab: the track playing now with previous, play/pause and next, or a hint when
// nothing plays.
#pragma once

#include <QWidget>

class IconButton;
class MediaService;
class QAbstractButton;
class QLabel;
class QStackedWidget;

class MediaTab : public QWidget {
    Q_OBJECT
public:
    explicit MediaTab(MediaService& service, QWidget* parent = nullptr);

protected:
    // Each showing reads at once, so a track that began a moment ago shows without waiting for the timer.
    void showEvent(QShowEvent* event) override;

private:
    void showTrack();

    MediaService& m_service;
    QStackedWidget* m_pages;
    QLabel* m_symbol;
    QLabel* m_title;
    QLabel* m_artist;
    QLabel* m_album;
    QAbstractButton* m_playPause;
    QLabel* m_caption;
};
