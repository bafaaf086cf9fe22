// Modifier state set by the test, and a count of the paste key presses sent.
#pragma once

#include "platform/KeyEvents.h"

class FakeKeyEvents final : public KeyEvents {
public:
    bool modifiersHeld() override { return held; }
    bool postPaste() override {
        ++pastes;
        return accepts;
    }

    bool held = false;
    bool accepts = true;
    int pastes = 0;
};
