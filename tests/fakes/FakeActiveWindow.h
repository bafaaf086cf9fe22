// An active window a test sets by hand; activations are recorded and, unless held back, take effect.
#pragma once

#include "platform/ActiveWindow.h"

#include <QHash>
#include <QList>

class FakeActiveWindow final : public ActiveWindow {
public:
    std::optional<WindowRef> active() override { return current; }
    void activate(const WindowRef& window) override {
        activations.append(window);
        if (!refuseActivation)
            current = window;
    }

    WindowClass windowClass(quint32 window) override { return classes.value(window); }

    std::optional<WindowRef> current;
    QHash<quint32, WindowClass> classes;
    QList<WindowRef> activations;
    bool refuseActivation = false;
};
