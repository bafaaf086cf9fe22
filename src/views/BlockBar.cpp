// Painting of the block bar: equal blocks sharing the full width with 2 px gaps.
#include "views/BlockBar.h"

#include "views/SystemColors.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
constexpr double kSpacing = 2.0;
constexpr double kRadius = 1.5;
} // namespace

BlockBar::BlockBar(double fraction, int blocks, QWidget* parent)
    : QWidget(parent)
    , m_fraction(fraction)
    , m_blocks(std::max(0, blocks)) {
    setFixedHeight(13);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void BlockBar::setFraction(double fraction) {
    if (fraction == m_fraction)
        return;
    m_fraction = fraction;
    update();
}

int BlockBar::filledCount(double fraction, int blocks) {
    if (blocks <= 0 || std::isnan(fraction) || fraction <= 0.0)
        return 0;
    if (fraction >= 1.0)
        return blocks;
    // std::round rounds halves away from zero; the product stays within [0, blocks] here.
    return std::clamp(int(std::round(fraction * blocks)), 0, blocks);
}

QColor BlockBar::fillColor(double fraction) {
    if (fraction > 0.85)
        return SystemColors::red();
    if (fraction > 0.6)
        return SystemColors::orange();
    return SystemColors::green();
}

void BlockBar::paintEvent(QPaintEvent*) {
    if (m_blocks == 0)
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);

    const double blockWidth = std::max(0.0, (width() - kSpacing * (m_blocks - 1)) / m_blocks);
    const double top = (height() - 13.0) / 2.0;
    const int filled = filledCount(m_fraction, m_blocks);
    const QColor on = fillColor(m_fraction);
    const QColor off = SystemColors::white(0.12);
    for (int i = 0; i < m_blocks; ++i) {
        const QRectF r(i * (blockWidth + kSpacing), top, blockWidth, 13.0);
        p.setBrush(i < filled ? on : off);
        p.drawRoundedRect(r, kRadius, kRadius);
    }
}
