// Closed-form damped spring; see Spring.h. Solving exactly instead of integrating keeps the motion
// the same at any frame rate and stable for a long frame.
#include "views/Spring.h"

#include <atomic>
#include <cmath>

namespace {

std::atomic<bool> g_animationsEnabled{true};

// Close enough, in the animated unit (pixels, opacity) and per second, to call it at rest.
constexpr qreal kRestDistance = 0.001;
constexpr qreal kRestSpeed = 0.01;

} // namespace

Spring::Spring(qreal response, qreal damping, qreal value)
    : m_response(response)
    , m_damping(damping)
    , m_value(value)
    , m_target(value) {}

void Spring::setAnimationsEnabled(bool enabled) {
    g_animationsEnabled = enabled;
}

bool Spring::animationsEnabled() {
    return g_animationsEnabled;
}

void Spring::setParameters(qreal response, qreal damping) {
    m_response = response;
    m_damping = damping;
}

void Spring::setTarget(qreal target) {
    if (!std::isfinite(target))
        return;
    m_target = target;
    if (!g_animationsEnabled || !(m_response > 0) || !(m_damping > 0))
        jumpTo(target);
}

void Spring::jumpTo(qreal value) {
    if (!std::isfinite(value))
        return;
    m_value = m_target = value;
    m_velocity = 0;
}

bool Spring::step(qreal t) {
    if (isSettled())
        return false;
    if (!(t > 0) || !std::isfinite(t))
        return true;
    const qreal w0 = 2 * M_PI / m_response;
    const qreal z = m_damping;
    const qreal x0 = m_value - m_target;
    const qreal v0 = m_velocity;
    qreal x, v;
    if (z < 1) {
        const qreal a = z * w0;
        const qreal wd = w0 * std::sqrt(1 - z * z);
        const qreal c = (v0 + a * x0) / wd;
        const qreal e = std::exp(-a * t);
        const qreal cs = std::cos(wd * t), sn = std::sin(wd * t);
        x = e * (x0 * cs + c * sn);
        v = -a * x + e * (-x0 * wd * sn + c * wd * cs);
    } else if (z == 1) {
        const qreal b = v0 + w0 * x0;
        const qreal e = std::exp(-w0 * t);
        x = e * (x0 + b * t);
        v = e * (v0 - w0 * b * t);
    } else {
        const qreal s = std::sqrt(z * z - 1);
        const qreal r1 = -w0 * (z - s), r2 = -w0 * (z + s);
        const qreal c2 = (v0 - r1 * x0) / (r2 - r1);
        const qreal c1 = x0 - c2;
        const qreal e1 = std::exp(r1 * t), e2 = std::exp(r2 * t);
        x = c1 * e1 + c2 * e2;
        v = c1 * r1 * e1 + c2 * r2 * e2;
    }
    if (std::abs(x) < kRestDistance && std::abs(v) < kRestSpeed) {
        jumpTo(m_target);
        return false;
    }
    m_value = m_target + x;
    m_velocity = v;
    return true;
}
