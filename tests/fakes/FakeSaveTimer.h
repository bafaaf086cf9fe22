// A save timer that fires only when the test says so, and remembers the delay it was started with.
#pragma once

#include "services/Defaults.h"

class FakeSaveTimer final : public Defaults::SaveTimer {
public:
    void start(int ms, std::function<void()> fire) override {
        lastDelayMs = ms;
        ++starts;
        m_fire = std::move(fire);
    }
    void stop() override { m_fire = nullptr; }
    bool isActive() const override { return bool(m_fire); }

    // Runs the pending callback as the end of the delay would; false when nothing was pending.
    bool fire() {
        if (!m_fire)
            return false;
        auto fire = std::move(m_fire);
        m_fire = nullptr;
        fire();
        return true;
    }

    int lastDelayMs = -1;
    int starts = 0;

private:
    std::function<void()> m_fire;
};
