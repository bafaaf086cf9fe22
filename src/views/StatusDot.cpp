// Painting of the status dot.
#include "views/StatusDot.h"

#include "views/SystemColors.h"

#include <QPainter>

StatusDot::StatusDot(QWidget* parent)
    : QWidget(parent)
    , m_color(SystemColors::white(0.25)) {
    setFixedSize(7, 7);
}

void StatusDot::setColor(QColor color) {
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void StatusDot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(m_color);
    p.drawEllipse(rect());
}
