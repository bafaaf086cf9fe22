// The main display's backlight level.
#pragma once

#include <QtGlobal>

#include <functional>
#include <optional>

class BrightnessReader {
public:
    BrightnessReader() = default;
    virtual ~BrightnessReader() = default;
    Q_DISABLE_COPY_MOVE(BrightnessReader)

    // The level from 0 to 1, or nothing when the display has no backlight this program can read.
    // Costs no more than a small file read.
    virtual std::optional<double> readBrightness() = 0;

    // Whether there is a backlight to read at all; without one nothing needs reading until the change
    // handler says that one came.
    virtual bool present() const = 0;

    // Whether changes of the level are announced through the change handler. A device whose changes
    // are not (or whose announcements are lost) can only be read now and then.
    virtual bool announcesChanges() const = 0;

    // Called on the main thread soon after the level changed or a backlight came or went; never from
    // inside readBrightness(). Replaces an earlier handler; an empty one stops the calls.
    virtual void setChangeHandler(std::function<void()> handler) = 0;
};

// A display without a backlight this program can read, now or later.
class NoBrightnessReader final : public BrightnessReader {
public:
    std::optional<double> readBrightness() override { return std::nullopt; }
    bool present() const override { return false; }
    bool announcesChanges() const override { return false; }
    void setChangeHandler(std::function<void()>) override {}
};
