// A damped spring for one animated number (a width, a radius, an opacity), stepped once per frame.
// Response and damping fraction as designers give them: the period of the undamped spring in
// seconds, and 1 for critical damping (below 1 overshoots).
#pragma once

#include <QtGlobal>

class Spring {
public:
    explicit Spring(qreal response = 0.3, qreal damping = 0.8, qreal value = 0);

    // Off (for tests and for users who want no motion), every new target is reached at once.
    static void setAnimationsEnabled(bool enabled);
    static bool animationsEnabled();

    // A new response and damping apply from the current value and velocity on.
    void setParameters(qreal response, qreal damping);
    void setTarget(qreal target);
    void jumpTo(qreal value);

    // Advances by `seconds`; false once the value rests on the target.
    bool step(qreal seconds);

    qreal value() const { return m_value; }
    qreal velocity() const { return m_velocity; }
    qreal target() const { return m_target; }
    bool isSettled() const { return m_value == m_target && m_velocity == 0; }

private:
    qreal m_response;
    qreal m_damping;
    qreal m_value;
    qreal m_velocity = 0;
    qreal m_target;
};
