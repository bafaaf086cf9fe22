// The palette over the dashboard and its fade.
#include "views/PaletteOverlay.h"

#include "views/PaletteView.h"
#include "views/Spring.h"

#include <QCoreApplication>
#include <QEasingCurve>
#include <QEvent>
#include <QPainter>
#include <QVariantAnimation>

PaletteOverlay::PaletteOverlay(std::function<CommandPalette::State()> state,
                               CommandPalette::Operations operations, std::function<void()> close,
                               QWidget* host)
    : QWidget(host) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
    m_palette = new PaletteView(std::move(state), std::move(operations), std::move(close), host);
    m_palette->hide();
    host->installEventFilter(this);
}

void PaletteOverlay::setOpen(bool open) {
    QWidget* host = parentWidget();
    const bool fading = !isHidden();
    const qreal from = fading ? m_progress : (open ? 0.0 : 1.0);
    if (m_fade)
        m_fade->stop();
    hide();
    if (open) {
        // Every opening starts afresh, also after a close by the hot key or the island collapsing,
        // which do not go through the palette.
        m_palette->setQuery(QString());
        m_palette->setGeometry(host->rect());
        m_palette->raise();
    } else if (m_palette->isHidden() && !fading) {
        // Not isVisible(): with the island collapsed first, the palette is unseen yet still shown, and
        // would come back with the next opening.
        return;
    }
    if (!Animations::enabled() || !host->isVisible()) {
        // Hidden, never deleted: this may run inside one of the palette's own handlers.
        m_palette->setVisible(open);
        // The host may still be off screen (the island opening): the field takes the keys typed meanwhile.
        if (open)
            m_palette->takeKeyboard();
        return;
    }

    const QRect area(host->mapTo(host->window(), QPoint(0, 0)), host->size());
    if (open) {
        m_palette->hide();
        m_under = host->window()->grab(area);
        m_palette->show(); // takes the keyboard at once, so nothing typed meanwhile is lost
        // The rows were just filled in: lay them out before the picture is taken.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        m_picture = m_palette->grab();
    } else {
        m_picture = m_palette->grab();
        m_palette->hide();
        m_under = host->window()->grab(area);
    }
    setGeometry(host->rect());
    setProgress(from);
    show();
    raise();

    m_fade = new QVariantAnimation(this);
    m_fade->setDuration(150);
    m_fade->setEasingCurve(QEasingCurve::OutCubic);
    m_fade->setStartValue(from);
    m_fade->setEndValue(open ? 1.0 : 0.0);
    connect(m_fade, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setProgress(value.toReal()); });
    connect(m_fade, &QAbstractAnimation::finished, this, [this] {
        hide();
        m_under = QPixmap();
        m_picture = QPixmap();
    });
    m_fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void PaletteOverlay::bringToFront() {
    m_palette->raise();
    raise();
}

void PaletteOverlay::setProgress(qreal progress) {
    m_progress = progress;
    update();
}

bool PaletteOverlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        const QRect r = parentWidget()->rect();
        m_palette->setGeometry(r);
        setGeometry(r);
    }
    return QWidget::eventFilter(watched, event);
}

void PaletteOverlay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(QPointF(0, 0), m_under);
    const qreal scale = 0.96 + 0.04 * m_progress;
    const QPointF centre = QRectF(rect()).center();
    p.setOpacity(m_progress);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.translate(centre);
    p.scale(scale, scale);
    p.translate(-centre);
    p.drawPixmap(QPointF(0, 0), m_picture);
}
