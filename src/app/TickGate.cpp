// See TickGate.h.
#include "app/TickGate.h"

bool TickGate::wake() {
    m_woken = true;
    return m_pace == Pace::Resting;
}

TickGate::Pace TickGate::ticked(const Conditions& c) {
    const bool woken = m_woken;
    m_woken = false;
    if (!c.tracking)
        m_pace = Pace::Off;
    // The tick that follows a wake-up read the newest position; only a tick without one may rest.
    else if (!c.motionReported || c.expanded || c.animating || woken)
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
