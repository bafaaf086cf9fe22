// When the island's pointer tick has to run and when it may rest. An island under a still pointer
// cannot change, collapsed or open, so the tick then stops altogether; any announced motion, a change
// of the island or a playing animation brings it back. Motion is looked at as it arrives (at most one
// tick per kMotionGapMs), so opening does not wait for the next regular tick. A pointer that a program
// warps announces nothing: it is seen at the next wake-up (an open island also hears the pointer
// leave its window), since asking the server now and then for it would wake an idle program for
// nothing.
#pragma once

#include <QtGlobal>

#include <optional>

class TickGate {
public:
    enum class Pace {
        Off,     // tracking is off: no tick at all
        Resting, // no tick until a wake-up
        Running, // the full rate
    };

    static constexpr int kRunningMs = 33; // 30 ticks a second
    // The least time between two ticks that motion asks for; faster motion is looked at this often.
    static constexpr int kMotionGapMs = 8;

    // What the gate weighs after each tick.
    struct Conditions {
        bool tracking = true;       // false while the island is held open from the environment
        bool motionReported = true; // the pointer source announces every physical move
        bool animating = false;     // a spring or a transition of the island is playing
    };

    // Something happened that a tick must look at: the pointer moved, a button changed, or the
    // island's shape or state changed. Gives how long until a tick should look: 0 for at once, a
    // short delay while the last tick is too recent, nothing while tracking is off.
    std::optional<int> wake(qint64 nowMs);

    // A tick has just run; gives the pace until the next one.
    Pace ticked(const Conditions& conditions, qint64 nowMs);

    Pace pace() const { return m_pace; }
    // The timer interval of a pace; 0 (no timer) for Off and Resting.
    static int intervalMs(Pace pace);

private:
    Pace m_pace = Pace::Running;
    bool m_woken = false; // since the last tick
    std::optional<qint64> m_lastTickMs;
};
