// The keyboard as a whole desktop sees it: whether a modifier is held anywhere, and a synthesised paste
// key press delivered to whatever window has the focus.
#pragma once

#include <QtGlobal>

#include "platform/PasteKeys.h"

class KeyEvents {
public:
    KeyEvents() = default;
    virtual ~KeyEvents() = default;
    Q_DISABLE_COPY_MOVE(KeyEvents)

    // Shift, Control, Alt or the Super key is held down (Caps Lock and Num Lock do not count).
    virtual bool modifiersHeld() = 0;

    // Presses and releases a paste combination as if typed; false when the window system refuses
    // synthesised input.
    virtual bool postPaste(PasteKeys keys) = 0;
};

class NoKeyEvents final : public KeyEvents {
public:
    bool modifiersHeld() override { return false; }
    bool postPaste(PasteKeys) override { return false; }
};
