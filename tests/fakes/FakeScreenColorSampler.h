// A screen colour sampler that answers at once with the colour a test chose (none: cancelled).
#pragma once

#include "platform/ScreenColorSampler.h"

class FakeScreenColorSampler final : public ScreenColorSampler {
public:
    void sample(std::function<void(std::optional<QColor>)> done) override {
        ++calls;
        done(answer);
    }
    std::optional<QColor> answer;
    int calls = 0;
};
