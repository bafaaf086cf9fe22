// Repeating timers that services take from a factory, so that tests can fire them by hand instead of
// waiting for them.
#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>

class Ticker {
public:
    Ticker() = default;
    virtual ~Ticker() = default;
    Q_DISABLE_COPY_MOVE(Ticker)

    // Starts ticking every interval the factory was given; a running ticker keeps its phase.
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

class TickerFactory {
public:
    TickerFactory() = default;
    virtual ~TickerFactory() = default;
    Q_DISABLE_COPY_MOVE(TickerFactory)

    // A stopped ticker that calls `onTick` on the calling thread every `intervalMs` while it runs.
    virtual std::unique_ptr<Ticker> make(int intervalMs, std::function<void()> onTick) = 0;
};
