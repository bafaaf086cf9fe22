// A pointer that tests move by hand; counts how often it was read.
#pragma once

#include "platform/PointerSource.h"

class FakePointerSource final : public PointerSource {
public:
    PointerSample sample() override {
        ++reads;
        return current;
    }

    PointerSample current;
    int reads = 0;
};
