// The pulse: 0.7 s ease-in-out from 1 to 0.25 and back, repeated; frames only while visible.
#include "views/PulsingDot.h"

#include "views/Spring.h"

#include <QPainter>

#include <array>
#include <cmath>

namespace {
constexpr double kHalfPeriodMs = PulsingDot::kPeriodMs / 2.0;
constexpr double kLow = 0.25;
// A timer that fires a little late still finds the new step; one that fired early would wake twice.
constexpr double kLateMs = 1.0;

// Ease-in-out (quadratic) and its inverse, on 0…1.
double ease(double p) {
    return p < 0.5 ? 2.0 * p * p : 1.0 - 2.0 * (1.0 - p) * (1.0 - p);
}
double uneased(double y) {
    return y < 0.5 ? std::sqrt(y / 2.0) : 1.0 - std::sqrt((1.0 - y) / 2.0);
}

// How far the fade has gone (0 full, 1 lowest) `ms` into a period.
double depthAt(double ms) {
    const double t = std::fmod(ms, PulsingDot::kPeriodMs);
    return ease(t < kHalfPeriodMs ? t / kHalfPeriodMs : 2.0 - t / kHalfPeriodMs);
}

// The moments in a period where the shown step changes: where the depth crosses a point halfway
// between two steps, going down and then coming back.
const std::array<double, 2 * PulsingDot::kSteps>& changes() {
    static const auto times = [] {
        std::array<double, 2 * PulsingDot::kSteps> t{};
        for (int k = 0; k < PulsingDot::kSteps; ++k) {
            const double p = uneased((k + 0.5) / PulsingDot::kSteps);
            t[size_t(k)] = p * kHalfPeriodMs;
            t[size_t(2 * PulsingDot::kSteps - 1 - k)] = PulsingDot::kPeriodMs - p * kHalfPeriodMs;
        }
        return t;
    }();
    return times;
}
} // namespace

PulsingDot::PulsingDot(QColor color, QWidget* parent)
    : QWidget(parent)
    , m_color(color) {
    setFixedSize(6, 6);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    // A fade this slow on a dot this small needs few frames, and each puts only the dot's pixels: the
    // pulse costs what its few pixels cost.
    m_frames.setSingleShot(true);
    m_frames.setTimerType(Qt::PreciseTimer);
    connect(&m_frames, &QTimer::timeout, this, [this] {
        m_repaint.repaint(look());
        scheduleNextFrame();
    });
}

int PulsingDot::lookAt(double ms) {
    return int(std::lround(depthAt(ms) * kSteps));
}

double PulsingDot::nextChangeAfter(double ms) {
    const double base = std::floor(ms / kPeriodMs) * kPeriodMs;
    const double t = ms - base;
    for (double c : changes())
        if (c > t)
            return base + c;
    return base + kPeriodMs + changes().front();
}

double PulsingDot::opacityOf(int look) {
    return 1.0 + (kLow - 1.0) * double(look) / kSteps;
}

double PulsingDot::currentOpacity() const {
    return opacityOf(look());
}

int PulsingDot::look() const {
    if (!m_pulsing)
        return 0;
    if (!Animations::enabled() || !m_clock.isValid())
        return kSteps;
    return lookAt(double(m_clock.elapsed()));
}

void PulsingDot::scheduleNextFrame() {
    if (!isVisible() || !Animations::enabled())
        return;
    const double now = double(m_clock.elapsed());
    m_frames.start(int(std::ceil(nextChangeAfter(now) - now + kLateMs)));
}

void PulsingDot::showEvent(QShowEvent*) {
    if (!m_pulsing) {
        m_pulsing = true;
        m_clock.start();
    }
    scheduleNextFrame();
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
