// The desktop's windows as the island's panel needs them beyond what Qt offers: where clicks land,
// who holds the keyboard, what is stacked above the panel, and whether a compositor draws
// transparency. Away from a desktop that can be asked (offscreen, Wayland) every call is a no-op.
#pragma once

#include <QList>
#include <QRect>
#include <QtGlobal>
#include <qwindowdefs.h>

#include <functional>
#include <optional>

class DesktopWindows {
public:
    DesktopWindows() = default;
    virtual ~DesktopWindows() = default;
    Q_DISABLE_COPY_MOVE(DesktopWindows)

    // Whether the windows can be asked about and arranged at all; when false, the callers fall back
    // to what Qt alone does.
    virtual bool available() const = 0;

    // Whether a compositing manager runs; without one, transparent pixels of a window show black.
    virtual bool compositorRunning() const = 0;

    // Where clicks on the window land: inside `region` (window pixels); an empty rectangle lets
    // every click through to the windows below. Whether the desktop took it.
    virtual bool setInputShape(WId window, const QRect& region) = 0;

    // Hides every pixel of the window without unmapping it; whether the desktop took it.
    virtual bool clearBoundingShape(WId window) = 0;

    // Whether a window of some other program that the window manager stacks (not an unmanaged
    // popup) lies above the top-level `window`; the top-level windows in `except` do not count.
    virtual bool managedWindowAbove(WId window, const QList<WId>& except) const = 0;

    // The top-level window that holds `window`: the window manager's frame around it, or the window
    // itself when it is unmanaged. 0 when the window is gone.
    virtual WId topLevelOf(WId window) const = 0;

    // Stacks the unmanaged top-level `window` directly under the top-level `sibling`, unless it is
    // there already; whether it was moved.
    virtual bool stackDirectlyBelow(WId window, WId sibling) = 0;

    // Whether the window and all its ancestors are shown, so that it can take the keyboard.
    virtual bool isViewable(WId window) const = 0;

    // The window holding the keyboard focus (0 = none, 1 = whichever window is under the pointer);
    // empty when it cannot be asked.
    virtual std::optional<quint32> inputFocus() const = 0;
    virtual void setInputFocus(quint32 window) = 0;
    virtual bool windowExists(quint32 window) const = 0;
    // The root window of the screen; a focus left there reaches no window. 0 when it cannot be asked.
    virtual quint32 rootWindow() const = 0;

    // From now on, Escape, Return or the keypad's Enter pressed while `window` holds the keyboard stops
    // the keyboard at that press: what is typed after it waits in the server until passHeldKeys(), so
    // that it reaches whichever window has the keyboard by then instead of the one the key closed.
    // Asked again at every use, so that a changed keyboard is followed. Whether the desktop took it.
    virtual bool holdKeysAfter(WId window) = 0;
    // Lets what waits go on to the window holding the keyboard now; nothing when the keyboard runs.
    // The desktop lets go by itself after a while, in case nobody asks.
    virtual void passHeldKeys() = 0;

    // Asks the window manager to show the top-level `window` on every virtual desktop; called before
    // the window is first shown. Whether the desktop took it.
    virtual bool showOnAllDesktops(WId window) = 0;

    // Calls `changed` on the main thread soon after a window was shown or restacked, or the
    // compositing manager came or went; false when this desktop cannot tell, and the caller has to
    // look for itself from time to time. Replaces an earlier handler; an empty one stops the calls.
    virtual bool watchChanges(std::function<void()> changed) = 0;
};
