// An active window a test sets by hand; activations are recorded and, unless held back, take effect.
#pragma once

#include "platform/ActiveWindow.h"

#include <QList>

class FakeActiveWindow final : public ActiveWindow {
public:
    std::optional<WindowRef> active() override { return current; }
    void activate(const WindowRef& window) override {
        activations.append(window);
        if (!refuseActivation)
            current = window;
    }

    std::optional<WindowRef> current;
    QList<WindowRef> activations;
    bool refuseActivation = false;
};
