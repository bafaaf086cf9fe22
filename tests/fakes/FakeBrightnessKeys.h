// Brightness keys a test presses; a press is heard only while someone listens.
#pragma once

#include "platform/BrightnessKeys.h"

class FakeBrightnessKeys final : public BrightnessKeys {
public:
    void setListening(bool on) override { listening = on; }
    void press() {
        if (listening)
            notifyPressed();
    }
    bool listening = false;
};
