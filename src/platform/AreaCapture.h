// The user's choice of an area of the screen, taken from a still picture of it.
#pragma once

#include <QImage>
#include <QtGlobal>

#include <functional>
#include <optional>

class AreaCapture {
public:
    AreaCapture() = default;
    virtual ~AreaCapture() = default;
    Q_DISABLE_COPY_MOVE(AreaCapture)

    // Freezes the screen and lets the user drag out an area. `done` runs once, on the main thread, with the
    // area's pixels (device pixels), or with nothing when the user cancels, the area is empty or the time
    // runs out. Returns at once; a call while a selection is open is answered with nothing.
    virtual void selectArea(std::function<void(std::optional<QImage>)> done) = 0;
};

// A desktop where no area can be taken: every selection ends as a cancel would.
class NoAreaCapture final : public AreaCapture {
public:
    void selectArea(std::function<void(std::optional<QImage>)> done) override { done(std::nullopt); }
};
