// A damped spring for view animations, described as response and damping fraction, solved in closed form.
#pragma once

namespace Animations {
// One switch for every view animation; off, springs jump to their target (used by tests).
void setEnabled(bool enabled);
bool enabled();
} // namespace Animations

class Spring {
public:
    // `precision` is the distance from the target (in the value's own unit) below which motion stops
    // being visible: half a pixel for sizes, a thousandth for a 0–1 progress.
    explicit Spring(double value = 0.0, double precision = 0.5)
        : m_from(value)
        , m_to(value)
        , m_precision(precision) {}

    // Moves towards `to` from wherever the spring is at `now` (seconds), keeping its velocity.
    // `response` is the period of the undamped oscillation; `damping` 1 is critical.
    void retarget(double to, double response, double damping, double now);
    // Puts the spring at rest on `value`.
    void jump(double value);

    double target() const { return m_to; }
    double value(double now) const;
    double velocity(double now) const;
    // Close enough to the target and slow enough that further frames change nothing visible.
    bool settled(double now) const;

private:
    double offset(double t) const;
    double offsetVelocity(double t) const;

    double m_from;
    double m_to;
    double m_precision;
    double m_v0 = 0.0;
    double m_start = 0.0;
    double m_omega = 0.0;
    double m_zeta = 1.0;
    bool m_moving = false;
};
