// An output volume a test sets, or takes away.
#pragma once

#include "platform/VolumeReader.h"

class FakeVolumeReader final : public VolumeReader {
public:
    std::optional<double> readVolume() override {
        ++reads;
        return value;
    }
    std::optional<double> value;
    int reads = 0;
};
