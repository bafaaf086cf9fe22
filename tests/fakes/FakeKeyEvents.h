// Modifier state set by the test, and the paste key presses sent.
#pragma once

#include "platform/KeyEvents.h"

#include <QList>

class FakeKeyEvents final : public KeyEvents {
public:
    bool modifiersHeld() override { return held; }
    bool postPaste(PasteKeys keys) override {
        ++pastes;
        sent.append(keys);
        return accepts;
    }

    bool held = false;
    bool accepts = true;
    int pastes = 0;
    QList<PasteKeys> sent;
};
