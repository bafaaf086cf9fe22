// The on/off switch; see Switch.h.
#include "views/settings/Switch.h"

#include <QPainter>
#include <QPainterPath>

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

QSize Switch::sizeHint() const {
    return m_size == Size::small ? QSize(32, 18) : QSize(40, 22);
}

void Switch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    const qreal radius = track.height() / 2;
    QColor on = palette().color(QPalette::Highlight);
    QColor off = palette().color(QPalette::Mid);
    QColor fill = isChecked() ? on : off;
    if (!isEnabled())
        fill.setAlphaF(0.4f);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(track, radius, radius);

    const qreal d = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - d : track.left() + 2;
    p.setBrush(isEnabled() ? QColor(Qt::white) : QColor(240, 240, 240));
    p.drawEllipse(QRectF(x, track.top() + 2, d, d));

    if (hasFocus()) {
        QPen ring(palette().color(QPalette::Highlight));
        ring.setWidthF(1.5);
        p.setPen(ring);
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75), radius + 1, radius + 1);
    }
}
