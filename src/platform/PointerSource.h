// The global pointer as the island's tracker sees it, wherever the pointer is on the desktop.
#pragma once

#include <QPointF>
#include <QtGlobal>

#include <functional>
#include <utility>

struct PointerSample {
    QPointF position;               // global, device-independent pixels
    bool primaryButtonDown = false; // held over any window, not only ours
};

class PointerSource {
public:
    PointerSource() = default;
    virtual ~PointerSource() = default;
    Q_DISABLE_COPY_MOVE(PointerSource)

    // Where the pointer is now and whether the primary button is held.
    virtual PointerSample sample() = 0;

    // True when every move of a physical pointer and every button change is announced through the
    // moved handler. Without that the caller has to keep sampling at its full rate.
    virtual bool reportsMotion() { return false; }

    // The next sample() asks the device itself instead of trusting that no announcement means no
    // change: a pointer that a program warps is never announced.
    virtual void forgetCached() {}

    // Called on the main thread soon after the pointer moved or a button changed; never from inside
    // sample(). Replaces an earlier handler; an empty one stops the calls.
    virtual void setMovedHandler(std::function<void()> handler) = 0;
};
