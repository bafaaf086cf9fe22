// The keyboard's brightness keys as this program hears them: pressed anywhere, and still left to the
// desktop that acts on them.
#pragma once

#include <QtGlobal>

#include <functional>
#include <utility>

class BrightnessKeys {
public:
    BrightnessKeys() = default;
    virtual ~BrightnessKeys() = default;
    Q_DISABLE_COPY_MOVE(BrightnessKeys)

    // Starts or stops listening. Listening may cost a wake-up at every key press on the desktop, so it
    // is on only while a backlight needs it.
    virtual void setListening(bool on) = 0;

    // Called on the main thread soon after a brightness key was pressed while listening; never from
    // inside setListening(). Replaces an earlier handler; an empty one stops the calls.
    virtual void setPressedHandler(std::function<void()> handler) = 0;
};

// A desktop whose brightness keys cannot be heard.
class NoBrightnessKeys final : public BrightnessKeys {
public:
    void setListening(bool) override {}
    void setPressedHandler(std::function<void()>) override {}
};
