// A backlight level a test sets, or takes away; announced, or changed silently as some firmware does.
#pragma once

#include "platform/BrightnessReader.h"

class FakeBrightnessReader final : public BrightnessReader {
public:
    std::optional<double> readBrightness() override {
        ++reads;
        return value;
    }
    bool present() const override { return hasDevice; }
    bool announcesChanges() const override { return announces; }

    // The level changes and the device says so.
    void change(std::optional<double> to) {
        value = to;
        notifyChanged();
    }
    // A backlight is plugged in or taken away, and announced.
    void plug(bool present) {
        hasDevice = present;
        notifyChanged();
    }

    std::optional<double> value;
    bool hasDevice = true;
    bool announces = true;
    int reads = 0;
};
