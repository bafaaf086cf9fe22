// Tickers that tick only when the test fires them, so that timed refreshes are driven without waiting.
#pragma once

#include "platform/Ticker.h"

#include <QList>

#include <algorithm>
#include <memory>

class FakeTickerFactory final : public TickerFactory {
public:
    FakeTickerFactory() = default;

    std::unique_ptr<Ticker> make(int intervalMs, std::function<void()> onTick) override {
        auto state = std::make_shared<State>(State{intervalMs, false, std::move(onTick)});
        m_states.append(state);
        return std::make_unique<FakeTicker>(state);
    }

    // Ticks every running ticker of `intervalMs` once (as if that much time had passed); returns how
    // many ticked.
    int fire(int intervalMs) {
        int fired = 0;
        const QList<std::weak_ptr<State>> states = m_states;
        for (const auto& weak : states) {
            const auto s = weak.lock();
            if (s && s->active && s->intervalMs == intervalMs) {
                s->onTick();
                ++fired;
            }
        }
        return fired;
    }
    // Whether any ticker of `intervalMs` runs.
    bool isRunning(int intervalMs) const {
        return std::any_of(m_states.cbegin(), m_states.cend(), [&](const std::weak_ptr<State>& weak) {
            const auto s = weak.lock();
            return s && s->active && s->intervalMs == intervalMs;
        });
    }

private:
    struct State {
        int intervalMs;
        bool active;
        std::function<void()> onTick;
    };
    class FakeTicker final : public Ticker {
    public:
        explicit FakeTicker(std::shared_ptr<State> state)
            : m_state(std::move(state)) {}
        void start() override { m_state->active = true; }
        void stop() override { m_state->active = false; }
        bool isActive() const override { return m_state->active; }

    private:
        std::shared_ptr<State> m_state;
    };

    QList<std::weak_ptr<State>> m_states;
};
