// Which window of which program has the user's focus, and handing the focus back to it: what the
// quick-paste picker needs to paste where the user was working.
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

struct WindowRef {
    quint32 window = 0;
    std::optional<qint64> pid; // the owning process, when the window says

    bool operator==(const WindowRef&) const = default;
};

// What a program calls its window (WM_CLASS): the instance and the class name; empty when it says nothing.
struct WindowClass {
    QString instance;
    QString className;

    bool operator==(const WindowClass&) const = default;
};

class ActiveWindow {
public:
    ActiveWindow() = default;
    virtual ~ActiveWindow() = default;
    Q_DISABLE_COPY_MOVE(ActiveWindow)

    // The top-level window the window manager calls active (or, without one, the one holding the
    // keyboard focus); nothing when no window has it.
    virtual std::optional<WindowRef> active() = 0;

    // Asks for `window` to become the active window again; the answer shows later in active().
    virtual void activate(const WindowRef& window) = 0;

    // The class of a top-level window, as its program set it.
    virtual WindowClass windowClass(quint32 window) = 0;
};

// A desktop without windows to speak of: nothing is active and nothing can be activated.
class NoActiveWindow final : public ActiveWindow {
public:
    std::optional<WindowRef> active() override { return std::nullopt; }
    void activate(const WindowRef&) override {}
    WindowClass windowClass(quint32) override { return {}; }
};
