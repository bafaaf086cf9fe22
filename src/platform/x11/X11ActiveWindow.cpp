// _NET_ACTIVE_WINDOW and _NET_WM_PID on Qt's own connection: short round trips to the server only, never
// a wait on another program.
#include "platform/x11/X11ActiveWindow.h"

#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11Xcb.h"

#include <QByteArray>
#include <QList>

#include <xcb/xcb.h>

using X11Xcb::intern;
using X11Xcb::XPtr;

namespace {

// The first 32-bit value of a property, if it has one of type `type`.
std::optional<quint32> cardinal(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type) {
    XPtr<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, type, 0, 1), nullptr));
    if (!reply || reply->type != type || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) < 4)
        return std::nullopt;
    return *static_cast<const quint32*>(xcb_get_property_value(reply.get()));
}

} // namespace

std::unique_ptr<X11ActiveWindow> X11ActiveWindow::create() {
    xcb_connection_t* c = X11Desktop::connection();
    const WId root = X11Desktop::rootWindow();
    if (!c || !root)
        return nullptr;
    return std::unique_ptr<X11ActiveWindow>(new X11ActiveWindow(c, quint32(root)));
}

X11ActiveWindow::X11ActiveWindow(xcb_connection_t* connection, quint32 root)
    : m_c(connection)
    , m_root(root) {
    m_netActive = intern(m_c, "_NET_ACTIVE_WINDOW");
    m_netSupported = intern(m_c, "_NET_SUPPORTED");
    m_netPid = intern(m_c, "_NET_WM_PID");
}

bool X11ActiveWindow::managerSupportsActive() {
    XPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_c, xcb_get_property(m_c, 0, m_root, m_netSupported, XCB_ATOM_ATOM, 0, 1024), nullptr));
    if (!reply || reply->format != 32)
        return false;
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    const int n = xcb_get_property_value_length(reply.get()) / 4;
    for (int i = 0; i < n; ++i) {
        if (atoms[i] == m_netActive)
            return true;
    }
    return false;
}

quint32 X11ActiveWindow::topLevel(quint32 window) {
    // Climb to the child of the root: the focus often sits on an inner window of a program.
    for (int depth = 0; depth < 64 && window > 1 && window != m_root; ++depth) {
        XPtr<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(m_c, xcb_query_tree(m_c, window), nullptr));
        if (!tree)
            return 0;
        if (tree->parent == m_root || tree->parent == XCB_NONE)
            return window;
        window = tree->parent;
    }
    return window == m_root ? 0 : window;
}

std::optional<WindowRef> X11ActiveWindow::active() {
    quint32 window = 0;
    if (managerSupportsActive()) {
        window = cardinal(m_c, m_root, m_netActive, XCB_ATOM_WINDOW).value_or(0);
    } else if (const std::optional<quint32> focus = X11Desktop::inputFocus()) {
        window = topLevel(*focus);
    }
    if (window <= 1)
        return std::nullopt;
    WindowRef ref{window, std::nullopt};
    if (const std::optional<quint32> pid = cardinal(m_c, window, m_netPid, XCB_ATOM_CARDINAL))
        ref.pid = qint64(*pid);
    return ref;
}

void X11ActiveWindow::activate(const WindowRef& target) {
    if (!X11Desktop::windowExists(target.window))
        return;
    if (managerSupportsActive()) {
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = target.window;
        ev.type = m_netActive;
        ev.data.data32[0] = 2; // a pager's request: not subject to focus-stealing prevention
        ev.data.data32[1] = XCB_CURRENT_TIME;
        ev.data.data32[2] = cardinal(m_c, m_root, m_netActive, XCB_ATOM_WINDOW).value_or(0);
        xcb_send_event(m_c, 0, m_root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&ev));
    } else {
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(m_c, target.window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        X11Desktop::setInputFocus(target.window);
    }
    xcb_flush(m_c);
}

std::optional<WindowClass> X11ActiveWindow::readClass(quint32 window) {
    XPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_c, xcb_get_property(m_c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256), nullptr));
    if (!reply || reply->type != XCB_ATOM_STRING || reply->format != 8)
        return std::nullopt;
    // Two strings, each ended by a NUL: the instance, then the class.
    const QByteArray value(static_cast<const char*>(xcb_get_property_value(reply.get())),
                           xcb_get_property_value_length(reply.get()));
    const QList<QByteArray> parts = value.split('\0');
    WindowClass wc;
    wc.instance = QString::fromLatin1(parts.value(0));
    wc.className = QString::fromLatin1(parts.value(1));
    return wc;
}

WindowClass X11ActiveWindow::windowClass(quint32 window) {
    // Without a window manager's word the focus may name a frame or an inner window: the class sits on
    // the program's top-level window, a few levels down at most.
    QList<quint32> level{window};
    for (int depth = 0; depth < 3 && !level.isEmpty(); ++depth) {
        QList<quint32> below;
        for (quint32 w : std::as_const(level)) {
            if (const std::optional<WindowClass> wc = readClass(w))
                return *wc;
            XPtr<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(m_c, xcb_query_tree(m_c, w), nullptr));
            if (!tree)
                continue;
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            for (int i = 0; i < xcb_query_tree_children_length(tree.get()) && below.size() < 64; ++i)
                below << children[i];
        }
        level = below;
    }
    return {};
}
