// Closed-form damped oscillator: stiffness (2π/response)², damping 4πζ/response, unit mass.
#include "views/Spring.h"

#include <cmath>
#include <numbers>

namespace {
bool g_enabled = true;
} // namespace

void Animations::setEnabled(bool enabled) {
    g_enabled = enabled;
}
bool Animations::enabled() {
    return g_enabled;
}

void Spring::retarget(double to, double response, double damping, double now) {
    if (!Animations::enabled() || response <= 0.0) {
        jump(to);
        return;
    }
    const double current = value(now);
    const double v = velocity(now);
    m_from = current;
    m_v0 = v;
    m_to = to;
    m_start = now;
    m_omega = 2.0 * std::numbers::pi / response;
    m_zeta = std::max(0.0, damping);
    m_moving = true;
}

void Spring::jump(double value) {
    m_from = m_to = value;
    m_v0 = 0.0;
    m_moving = false;
}

double Spring::offset(double t) const {
    const double a = m_from - m_to;
    const double w = m_omega, z = m_zeta;
    if (z < 1.0) {
        const double wd = w * std::sqrt(1.0 - z * z);
        const double b = (m_v0 + z * w * a) / wd;
        return std::exp(-z * w * t) * (a * std::cos(wd * t) + b * std::sin(wd * t));
    }
    if (z == 1.0)
        return (a + (m_v0 + w * a) * t) * std::exp(-w * t);
    const double s = std::sqrt(z * z - 1.0);
    const double r1 = -w * (z - s), r2 = -w * (z + s);
    const double c2 = (m_v0 - r1 * a) / (r2 - r1);
    const double c1 = a - c2;
    return c1 * std::exp(r1 * t) + c2 * std::exp(r2 * t);
}

double Spring::offsetVelocity(double t) const {
    const double a = m_from - m_to;
    const double w = m_omega, z = m_zeta;
    if (z < 1.0) {
        const double wd = w * std::sqrt(1.0 - z * z);
        const double b = (m_v0 + z * w * a) / wd;
        const double e = std::exp(-z * w * t);
        const double c = std::cos(wd * t), s = std::sin(wd * t);
        return e * (-z * w * (a * c + b * s) + (-a * wd * s + b * wd * c));
    }
    if (z == 1.0) {
        const double k = m_v0 + w * a;
        return (k - w * (a + k * t)) * std::exp(-w * t);
    }
    const double s = std::sqrt(z * z - 1.0);
    const double r1 = -w * (z - s), r2 = -w * (z + s);
    const double c2 = (m_v0 - r1 * a) / (r2 - r1);
    const double c1 = a - c2;
    return c1 * r1 * std::exp(r1 * t) + c2 * r2 * std::exp(r2 * t);
}

double Spring::value(double now) const {
    if (!m_moving)
        return m_to;
    return m_to + offset(std::max(0.0, now - m_start));
}

double Spring::velocity(double now) const {
    if (!m_moving)
        return 0.0;
    return offsetVelocity(std::max(0.0, now - m_start));
}

bool Spring::settled(double now) const {
    if (!m_moving)
        return true;
    const double t = std::max(0.0, now - m_start);
    return std::abs(offset(t)) < m_precision && std::abs(offsetVelocity(t)) < m_precision * 10.0;
}
