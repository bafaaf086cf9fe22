// See TickGate.h.
#include "app/TickGate.h"

std::optional<int> TickGate::wake(qint64 nowMs) {
    m_woken = true;
    if (m_pace == Pace::Off)
        return std::nullopt;
    if (m_pace == Pace::Resting || !m_lastTickMs)
        return 0;
    const qint64 since = nowMs - *m_lastTickMs;
    // A clock that went backwards says nothing about the last tick: look at once.
    if (since < 0 || since >= kMotionGapMs)
        return 0;
    return int(kMotionGapMs - since);
}

TickGate::Pace TickGate::ticked(const Conditions& c, qint64 nowMs) {
    const bool woken = m_woken;
    m_woken = false;
    m_lastTickMs = nowMs;
    if (!c.tracking)
        m_pace = Pace::Off;
    // The tick that follows a wake-up read the newest position; only a tick without one may rest.
    else if (!c.motionReported || c.animating || woken)
        m_pace = Pace::Running;
    else
        m_pace = Pace::Resting;
    return m_pace;
}

int TickGate::intervalMs(Pace pace) {
    switch (pace) {
    case Pace::Off:
    case Pace::Resting:
        return 0;
    case Pace::Running:
        break;
    }
    return kRunningMs;
}
