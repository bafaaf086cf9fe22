// A colour taken from anywhere on the screen with a magnifying loupe.
#pragma once

#include <QColor>
#include <QtGlobal>

#include <functional>
#include <optional>

class ScreenColorSampler {
public:
    ScreenColorSampler() = default;
    virtual ~ScreenColorSampler() = default;
    Q_DISABLE_COPY_MOVE(ScreenColorSampler)

    // Lets the user point at one pixel of the screen. `done` runs once, on the main thread, with that
    // pixel's device RGB colour, or with nothing when the user cancels. Returns at once.
    virtual void sample(std::function<void(std::optional<QColor>)> done) = 0;
};

// A desktop whose screen cannot be read: every sample ends as a cancel would.
class NoScreenColorSampler final : public ScreenColorSampler {
public:
    void sample(std::function<void(std::optional<QColor>)> done) override { done(std::nullopt); }
};
