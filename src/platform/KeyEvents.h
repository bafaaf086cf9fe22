// The keyboard as a whole desktop sees it: whether a modifier is held anywhere, and a synthesised paste
// key press delivered to whatever window has the focus.
#pragma once

class KeyEvents {
public:
    KeyEvents() = default;
    virtual ~KeyEvents() = default;
    KeyEvents(const KeyEvents&) = delete;
    KeyEvents& operator=(const KeyEvents&) = delete;

    // Shift, Control, Alt or the Super key is held down (Caps Lock and Num Lock do not count).
    virtual bool modifiersHeld() = 0;

    // Presses and releases the paste combination (Control+V) as if typed; false when the window system
    // refuses synthesised input.
    virtual bool postPaste() = 0;
};

class NoKeyEvents final : public KeyEvents {
public:
    bool modifiersHeld() override { return false; }
    bool postPaste() override { return false; }
};
