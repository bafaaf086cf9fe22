// When the island's pointer tick has to run at its full rate and when it may rest. A collapsed
// island under a still pointer cannot change, so the tick then stops altogether; any announced
// motion, an open island or a playing animation brings the full rate back. A pointer that a program
// warps announces nothing: it is seen at the next wake-up, since asking the server now and then for
// it would wake an idle program for nothing.
#pragma once

class TickGate {
public:
    enum class Pace {
        Off,     // tracking is off: no tick at all
        Resting, // no tick until a wake-up
        Running, // the full rate
    };

    static constexpr int kRunningMs = 33; // 30 ticks a second

    // What the gate weighs after each tick.
    struct Conditions {
        bool tracking = true;       // false while the island is held open from the environment
        bool motionReported = true; // the pointer source announces every physical move
        bool expanded = false;
        bool animating = false; // a spring or a transition of the island is playing
    };

    // Something happened that a tick must look at: the pointer moved, a button changed, or the
    // island's shape or state changed. True when a resting tick should run at once.
    bool wake();

    // A tick has just run; gives the pace until the next one.
    Pace ticked(const Conditions& conditions);

    Pace pace() const { return m_pace; }
    // The timer interval of a pace; 0 (no timer) for Off and Resting.
    static int intervalMs(Pace pace);

private:
    Pace m_pace = Pace::Running;
    bool m_woken = false; // since the last tick
};
