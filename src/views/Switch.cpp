// The on/off switch; see Switch.h.
#include "views/Switch.h"

#include "views/SystemColors.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

// The island's track, and the gap between it and the text drawn beside it.
constexpr QSizeF kIslandTrack(32, 18);
constexpr int kIslandTextGap = 8;

} // namespace

Switch::Switch(QWidget* parent)
    : Switch(QString(), Size::regular, parent) {}

Switch::Switch(const QString& accessibleName, Size size, QWidget* parent)
    : QAbstractButton(parent)
    , m_size(size) {
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setText(accessibleName);
    setAccessibleName(accessibleName);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

Switch::Switch(Look look, QWidget* parent)
    : QAbstractButton(parent)
    , m_look(look) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
}

Switch* Switch::onIsland(QWidget* parent) {
    return new Switch(Look::island, parent);
}

QSize Switch::sizeHint() const {
    if (m_look == Look::island) {
        const int textWidth = text().isEmpty() ? 0 : fontMetrics().horizontalAdvance(text()) + kIslandTextGap;
        return QSize(int(kIslandTrack.width()) + textWidth,
                     std::max(int(kIslandTrack.height()), fontMetrics().height()));
    }
    return m_size == Size::small ? QSize(32, 18) : QSize(40, 22);
}

QRectF Switch::track() const {
    if (m_look == Look::island)
        return QRectF(QPointF(0, (height() - kIslandTrack.height()) / 2.0), kIslandTrack);
    return QRectF(rect()).adjusted(1, 1, -1, -1);
}

void Switch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool island = m_look == Look::island;
    const QRectF track = this->track();
    const qreal radius = track.height() / 2;
    QColor fill;
    if (island)
        fill = isChecked() ? SystemColors::green() : SystemColors::white(0.2);
    else
        fill = palette().color(isChecked() ? QPalette::Highlight : QPalette::Mid);
    if (!isEnabled())
        fill.setAlphaF(0.4f);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(track, radius, radius);

    const qreal d = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - d : track.left() + 2;
    p.setBrush(isEnabled() ? QColor(Qt::white) : QColor(240, 240, 240));
    p.drawEllipse(QRectF(x, track.top() + 2, d, d));

    if (island) {
        if (!text().isEmpty()) {
            const int textLeft = int(track.right()) + kIslandTextGap;
            p.setPen(SystemColors::white(0.8));
            p.setFont(font());
            p.drawText(QRect(textLeft, 0, width() - textLeft, height()), Qt::AlignVCenter | Qt::AlignLeft,
                       text());
        }
        return;
    }
    if (hasFocus()) {
        QPen ring(palette().color(QPalette::Highlight));
        ring.setWidthF(1.5);
        p.setPen(ring);
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), radius + 1, radius + 1);
    }
}
