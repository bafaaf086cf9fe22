#include "views/MediaTab.h"
#include "views/KitPanelStyle.h"

#include "services/MediaService.h"
#include "views/ElidedLabel.h"
#include "views/IconButton.h"
#include "views/Icons.h"
#include "views/SystemColors.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

using KitPanelStyle::pixelFont;

QLabel* textLabel(int px, QFont::Weight weight, double opacity, QWidget* parent) {
    auto* label = new ElidedLabel(Qt::ElideRight, parent); // a long title ends in "…", not mid-letter
    label->setFont(pixelFont(px, weight));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, SystemColors::white(opacity));
    label->setPalette(palette);
    label->setTextFormat(Qt::PlainText); // titles are shown verbatim, never as markup
    return label;
}

QPixmap symbolPixmap(const QString& symbol, int px, QColor color, qreal dpr) {
    return Icons::pixmap(symbol, QSize(px, px), color, dpr);
}

// The play/pause control: a bold symbol centred in a 38 × 38 circle of faint white.
class CircleButton : public QAbstractButton {
public:
    explicit CircleButton(QWidget* parent)
        : QAbstractButton(parent) {
        setFixedSize(38, 38);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
    }
    void setSymbol(const QString& symbol) {
        if (symbol == m_symbol)
            return;
        m_symbol = symbol;
        setObjectName(symbol);
        update();
    }
    QString symbol() const { return m_symbol; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(SystemColors::white(0.16));
        p.drawEllipse(rect());
        const QSize icon(16, 16);
        p.drawPixmap(QRect(QPoint((width() - 16) / 2, (height() - 16) / 2), icon),
                     symbolPixmap(m_symbol, 16, Qt::white, devicePixelRatioF()));
    }

private:
    QString m_symbol;
};

} // namespace

MediaTab::MediaTab(MediaService& service, QWidget* parent)
    : QWidget(parent)
    , m_service(service) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_pages = new QStackedWidget(this);
    outer->addWidget(m_pages);

    // With a track.
    auto* playing = new QWidget(m_pages);
    auto* column = new QVBoxLayout(playing);
    column->setSpacing(12);
    column->addStretch();
    auto* trackRow = new QHBoxLayout;
    trackRow->setSpacing(10);
    trackRow->addStretch();
    m_symbol = new QLabel(playing);
    m_symbol->setObjectName(QStringLiteral("symbol"));
    m_symbol->setFixedSize(26, 26);
    trackRow->addWidget(m_symbol, 0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_title = textLabel(15, QFont::Bold, 1.0, playing);
    m_title->setObjectName(QStringLiteral("title"));
    m_artist = textLabel(11, QFont::Normal, 0.65, playing);
    m_artist->setObjectName(QStringLiteral("artist"));
    m_album = textLabel(9, QFont::Normal, 0.35, playing);
    m_album->setObjectName(QStringLiteral("album"));
    for (QLabel* label : {m_title, m_artist, m_album}) {
        label->setMaximumWidth(440);
        texts->addWidget(label);
    }
    trackRow->addLayout(texts);
    trackRow->addStretch();
    column->addLayout(trackRow);

    auto* controls = new QHBoxLayout;
    controls->setSpacing(18);
    controls->addStretch();
    auto* previous = new IconButton(
        QStringLiteral("backward.fill"), QStringLiteral("Previous track"), Qt::white,
        [this] { m_service.previousTrack(); }, playing);
    previous->setObjectName(QStringLiteral("previous"));
    auto* circle = new CircleButton(playing);
    connect(circle, &QAbstractButton::clicked, this, [this] { m_service.playPause(); });
    m_playPause = circle;
    m_playPause->setAccessibleName(QStringLiteral("playPause"));
    auto* next = new IconButton(
        QStringLiteral("forward.fill"), QStringLiteral("Next track"), Qt::white,
        [this] { m_service.nextTrack(); }, playing);
    next->setObjectName(QStringLiteral("next"));
    controls->addWidget(previous, 0, Qt::AlignVCenter);
    controls->addWidget(m_playPause, 0, Qt::AlignVCenter);
    controls->addWidget(next, 0, Qt::AlignVCenter);
    controls->addStretch();
    column->addLayout(controls);

    m_caption = textLabel(10, QFont::Normal, 0.4, playing);
    m_caption->setObjectName(QStringLiteral("caption"));
    m_caption->setAlignment(Qt::AlignHCenter);
    column->addWidget(m_caption);
    column->addStretch();
    m_pages->addWidget(playing);

    // Without a track.
    auto* idle = new QWidget(m_pages);
    auto* idleColumn = new QVBoxLayout(idle);
    idleColumn->setSpacing(12);
    idleColumn->addStretch();
    auto* idleSymbol = new QLabel(idle);
    idleSymbol->setPixmap(
        symbolPixmap(QStringLiteral("music.note.list"), 28, SystemColors::white(0.35), devicePixelRatioF()));
    idleSymbol->setAlignment(Qt::AlignHCenter);
    idleColumn->addWidget(idleSymbol);
    auto* nothing = textLabel(13, QFont::DemiBold, 0.65, idle);
    nothing->setObjectName(QStringLiteral("nothingPlaying"));
    nothing->setText(tr("Nothing playing"));
    nothing->setAlignment(Qt::AlignHCenter);
    idleColumn->addWidget(nothing);
    auto* hint = textLabel(10, QFont::Normal, 0.4, idle);
    hint->setText(tr("Open Spotify or Music to control playback here."));
    hint->setAlignment(Qt::AlignHCenter);
    idleColumn->addWidget(hint);
    idleColumn->addStretch();
    m_pages->addWidget(idle);

    connect(&m_service, &MediaService::trackChanged, this, &MediaTab::showTrack);
    showTrack();
}

void MediaTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_service.refresh();
}

void MediaTab::showTrack() {
    const std::optional<MediaTrack>& track = m_service.track();
    if (!track) {
        m_pages->setCurrentIndex(1);
        return;
    }
    m_pages->setCurrentIndex(0);
    const bool spotify = track->app == QLatin1String("Spotify");
    const QString symbol = spotify ? QStringLiteral("waveform") : QStringLiteral("music.note");
    m_symbol->setPixmap(symbolPixmap(symbol, 26, spotify ? SystemColors::green() : SystemColors::pink(),
                                     devicePixelRatioF()));
    m_symbol->setAccessibleName(symbol);
    m_title->setText(track->title);
    m_artist->setText(track->artist);
    m_album->setText(track->album);
    m_album->setVisible(!track->album.isEmpty());
    static_cast<CircleButton*>(m_playPause)
        ->setSymbol(track->isPlaying ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"));
    m_caption->setText((track->isPlaying ? tr("Tocando no ") : tr("Pausado no ")) + track->app);
}
