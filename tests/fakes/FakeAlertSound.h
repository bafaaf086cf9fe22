// An alert sound that only counts how often it was asked to play.
#pragma once

#include "platform/AlertSound.h"

class FakeAlertSound final : public AlertSound {
public:
    FakeAlertSound() = default;
    void play() override { ++plays; }
    int plays = 0;
};
