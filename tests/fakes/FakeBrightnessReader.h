// A backlight level a test sets, or takes away.
#pragma once

#include "platform/BrightnessReader.h"

class FakeBrightnessReader final : public BrightnessReader {
public:
    std::optional<double> readBrightness() override {
        ++reads;
        return value;
    }
    std::optional<double> value;
    int reads = 0;
};
