// Brightness keys a test presses; a press is heard only while someone listens.
#pragma once

#include "platform/BrightnessKeys.h"

class FakeBrightnessKeys final : public BrightnessKeys {
public:
    void setListening(bool on) override { listening = on; }
    void setPressedHandler(std::function<void()> handler) override { m_pressed = std::move(handler); }
    void press() {
        if (listening && m_pressed)
            m_pressed();
    }
    bool listening = false;

private:
    std::function<void()> m_pressed;
};
