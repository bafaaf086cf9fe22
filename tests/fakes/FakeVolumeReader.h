// An output volume a test sets, or takes away, and announces as the sound server would.
#pragma once

#include "platform/VolumeReader.h"

class FakeVolumeReader final : public VolumeReader {
public:
    std::optional<double> readVolume() override {
        ++reads;
        return value;
    }
    // The server reports a new level (none: it went away).
    void change(std::optional<double> to) {
        value = to;
        notifyChanged();
    }
    std::optional<double> value;
    int reads = 0;
};
