// The main display's backlight level.
#pragma once

#include <QtGlobal>

#include <optional>

class BrightnessReader {
public:
    BrightnessReader() = default;
    virtual ~BrightnessReader() = default;
    Q_DISABLE_COPY_MOVE(BrightnessReader)

    // The level from 0 to 1, or nothing when the display has no backlight this program can read.
    // Called on the main thread several times a second: it must cost no more than a small file read.
    virtual std::optional<double> readBrightness() = 0;
};
