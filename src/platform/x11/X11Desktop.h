// Small xcb calls the island's panel needs that Qt does not offer: input shapes, keyboard focus
// hand-over and the compositing-manager probe. All are no-ops away from an X11 session.
#pragma once

#include <QList>
#include <QObject>
#include <QRect>
#include <QWindow>

#include <memory>
#include <optional>

class QSocketNotifier;

struct xcb_connection_t;

namespace X11Desktop {

// Qt's own connection, or null when the platform is not xcb (offscreen tests, Wayland).
xcb_connection_t* connection();
WId rootWindow();

// What the calls below learn about one X connection and reuse: whether XFixes was announced (the
// server refuses region requests from a client that never said its version) and the compositing
// manager's selection atom. Starts over when it is handed another connection.
class ConnectionFacts {
public:
    bool xfixes(xcb_connection_t* c);
    quint32 compositorSelection(xcb_connection_t* c);

private:
    void follow(xcb_connection_t* c);

    xcb_connection_t* m_connection = nullptr;
    bool m_fixesAsked = false;
    bool m_fixes = false;
    quint32 m_compositorSelection = 0;
};

// Where clicks on the window land: inside `region` (window pixels); an empty rectangle lets
// every click through to the windows below.
bool setInputShape(WId window, const QRect& region, ConnectionFacts& facts);

// Hides every pixel of the window without unmapping it (an empty bounding shape).
bool clearBoundingShape(WId window);

// Whether a window of some other program that the window manager stacks (not an override-redirect
// popup) lies above `window` among the root's children; the root's children in `except` do not count.
bool managedWindowAbove(WId window, const QList<WId>& except = {});

// The root's child that holds `window`: the window manager's frame around it, or the window itself
// when it is unmanaged. 0 when the window is gone.
WId topLevelOf(WId window);

// Stacks the unmanaged root child `window` directly under the root child `sibling`, unless it is there
// already; whether it was moved. A managed window's place is the window manager's to choose.
bool stackDirectlyBelow(WId window, WId sibling);

// Whether the window and all its ancestors are mapped (it can take the keyboard focus).
bool isViewable(WId window);

// The window holding the X keyboard focus (may be 0 = none or 1 = pointer root).
std::optional<quint32> inputFocus();
void setInputFocus(quint32 window);
bool windowExists(quint32 window);

// Asks the window manager to show the window on every virtual desktop (_NET_WM_DESKTOP = all). Set
// before the window is first mapped; false away from X11.
bool showOnAllDesktops(WId window);

// A connection of the caller's own to the X server Qt talks to, or null (no X11, or $DISPLAY names
// another server than Qt was told to use). The caller owns it and ends it with xcb_disconnect().
xcb_connection_t* openPrivateConnection();

// Reads and drops every event waiting on a connection; whether there was any.
bool drainEvents(xcb_connection_t* connection);

// _NET_WM_CM_S<screen>, interned (created if need be); 0 when the server does not answer.
quint32 internCompositorSelection(xcb_connection_t* connection);

// Whether a compositing manager owns _NET_WM_CM_S<screen>; without one, transparent pixels of
// an ARGB window show black.
bool compositorRunning(ConnectionFacts& facts);

} // namespace X11Desktop

// Tells when a window was mapped or restacked on the desktop, or the compositing manager came or
// went, so that the panel checks its place only then rather than polling. It listens on a connection
// of its own: selecting these events on Qt's would make Qt re-read the screens at every move.
class X11DesktopWatch : public QObject {
    Q_OBJECT
public:
    // Null away from X11, or when the server offers no way to watch.
    static std::unique_ptr<X11DesktopWatch> create(QObject* parent = nullptr);
    ~X11DesktopWatch() override;

signals:
    void changed();

private:
    X11DesktopWatch(xcb_connection_t* connection, QObject* parent);
    void drain();

    xcb_connection_t* m_connection;
    QSocketNotifier* m_notifier;
};
