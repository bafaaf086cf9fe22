// Tickers backed by QTimer, coarse so that idle wake-ups can be shared.
#pragma once

#include "platform/Ticker.h"

class QtTickerFactory final : public TickerFactory {
public:
    QtTickerFactory() = default;
    std::unique_ptr<Ticker> make(int intervalMs, std::function<void()> onTick) override;
};
