// The active window read from the window manager's _NET_ACTIVE_WINDOW, and its process from _NET_WM_PID;
// without such a window manager, the window holding the keyboard focus.
#pragma once

#include "platform/ActiveWindow.h"

#include <memory>

struct xcb_connection_t;

class X11ActiveWindow final : public ActiveWindow {
public:
    // Null away from X11.
    static std::unique_ptr<X11ActiveWindow> create();

    std::optional<WindowRef> active() override;
    void activate(const WindowRef& window) override;
    WindowClass windowClass(quint32 window) override;

private:
    X11ActiveWindow(xcb_connection_t* connection, quint32 root);
    bool managerSupportsActive();
    quint32 topLevel(quint32 window);
    std::optional<WindowClass> readClass(quint32 window);

    xcb_connection_t* m_c;
    quint32 m_root;
    quint32 m_netActive = 0, m_netSupported = 0, m_netPid = 0;
};
