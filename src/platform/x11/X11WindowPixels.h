// WindowPixels through a plain PutImage on the toolkit's own X connection, so that the pixels keep
// their place among the toolkit's requests for the same window.
#pragma once

#include "platform/WindowPixels.h"

#include <QHash>

#include <cstdint>

class X11WindowPixels final : public WindowPixels {
public:
    X11WindowPixels() = default;
    ~X11WindowPixels() override;

    bool put(QWindow* window, QPoint at, const QImage& pixels) override;

    // The largest image put this way, in bytes; larger ones take the toolkit's shared-memory path, which
    // is the cheaper one for them.
    static constexpr int kMaxBytes = 16 * 1024;

private:
    struct Target {
        uint32_t gc = 0;
        uint8_t depth = 0;
        bool usable = false;
    };
    const Target* targetFor(uint32_t window);

    QHash<uint32_t, Target> m_targets; // by X window, learnt once each
};
