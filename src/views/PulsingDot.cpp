// The pulse: 0.7 s ease-in-out from 1 to 0.25 and back, repeated; frames only while visible.
#include "views/PulsingDot.h"

#include "views/Spring.h"

#include <QEasingCurve>
#include <QPainter>

#include <cmath>

namespace {
constexpr double kHalfPeriodMs = 700.0;
constexpr double kLow = 0.25;
} // namespace

PulsingDot::PulsingDot(QColor color, QWidget* parent)
    : QWidget(parent)
    , m_color(color) {
    setFixedSize(6, 6);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // A fade this slow on a dot this small needs few frames, and each puts only the dot's pixels: the
    // pulse costs what its few pixels cost.
    m_frames.setInterval(kFrameMs);
    connect(&m_frames, &QTimer::timeout, this, [this] { m_repaint.repaint(look()); });
}

double PulsingDot::currentOpacity() const {
    return double(look()) / kLooks;
}

int PulsingDot::look() const {
    if (!m_pulsing)
        return kLooks;
    if (!Animations::enabled() || !m_clock.isValid())
        return int(std::lround(kLow * kLooks));
    const double t = std::fmod(double(m_clock.elapsed()), 2.0 * kHalfPeriodMs);
    const double leg = t < kHalfPeriodMs ? t / kHalfPeriodMs : 2.0 - t / kHalfPeriodMs;
    static const QEasingCurve ease(QEasingCurve::InOutQuad);
    // In steps finer than the eye tells apart on a dot this size, so that each is drawn once.
    return int(std::lround((1.0 + (kLow - 1.0) * ease.valueForProgress(leg)) * kLooks));
}

void PulsingDot::showEvent(QShowEvent*) {
    if (!m_pulsing) {
        m_pulsing = true;
        m_clock.start();
    }
    if (Animations::enabled())
        m_frames.start();
}

void PulsingDot::hideEvent(QHideEvent*) {
    m_frames.stop();
}

void PulsingDot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setOpacity(currentOpacity());
    p.setBrush(m_color);
    p.drawEllipse(rect());
}
