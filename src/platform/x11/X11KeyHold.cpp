// Held keys on X11; see X11KeyHold.h.
#include "platform/x11/X11KeyHold.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb_keysyms.h>

#define XK_MISCELLANY
#include <X11/keysymdef.h>

#include <algorithm>
#include <cstdlib>

namespace {

// Every keycode that carries one of the closing keys, in order and without repeats.
std::vector<xcb_keycode_t> closingKeys(xcb_connection_t* c) {
    std::vector<xcb_keycode_t> keys;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
    if (!symbols)
        return keys;
    for (xcb_keysym_t sym : {xcb_keysym_t(XK_Escape), xcb_keysym_t(XK_Return), xcb_keysym_t(XK_KP_Enter)}) {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, sym);
        for (xcb_keycode_t* k = codes; k && *k != XCB_NO_SYMBOL; ++k)
            keys.push_back(*k);
        std::free(codes);
    }
    xcb_key_symbols_free(symbols);
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

} // namespace

X11KeyHold::X11KeyHold(xcb_connection_t* connection, QObject* parent)
    : QObject(parent)
    , m_connection(connection) {
    m_limit.setSingleShot(true);
    m_limit.setInterval(kHoldLimitMs);
    connect(&m_limit, &QTimer::timeout, this, &X11KeyHold::pass);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11KeyHold::~X11KeyHold() {
    if (auto* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
    pass();
    ungrabAll();
    xcb_flush(m_connection);
}

void X11KeyHold::ungrabAll() {
    if (m_window == XCB_NONE)
        return;
    for (xcb_keycode_t key : m_keys)
        xcb_ungrab_key(m_connection, key, m_window, XCB_MOD_MASK_ANY);
    m_keys.clear();
    m_window = XCB_NONE;
}

bool X11KeyHold::holdOn(xcb_window_t window) {
    if (window == XCB_NONE)
        return false;
    std::vector<xcb_keycode_t> keys = closingKeys(m_connection);
    if (window == m_window && keys == m_keys)
        return !m_keys.empty();
    pass(); // a key held on the old window: the focus has moved on since
    ungrabAll();
    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_keycode_t key : keys)
        // Reported to our windows as usual (owner events); the keyboard stops until pass().
        cookies.push_back(xcb_grab_key_checked(m_connection, 1, window, XCB_MOD_MASK_ANY, key,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC));
    m_window = window;
    for (size_t i = 0; i < cookies.size(); ++i) {
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookies[i]))
            std::free(error); // that key simply closes without holding
        else
            m_keys.push_back(keys[i]);
    }
    return !m_keys.empty();
}

bool X11KeyHold::focusIsOurs() const {
    xcb_get_input_focus_reply_t* r =
        xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr);
    if (!r)
        return true; // cannot tell: the gentler way, which never ends a grab of someone else's
    const xcb_window_t focus = r->focus;
    std::free(r);
    if (focus == m_window)
        return true;
    for (QWindow* w : QGuiApplication::allWindows())
        if (w->handle() && w->isVisible() && xcb_window_t(w->winId()) == focus)
            return true;
    return false;
}

void X11KeyHold::pass() {
    m_limit.stop();
    if (!m_frozen)
        return;
    m_frozen = false;
    if (focusIsOurs())
        xcb_allow_events(m_connection, XCB_ALLOW_ASYNC_KEYBOARD, XCB_CURRENT_TIME);
    else
        xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME); // also lets the waiting keys go on
    xcb_flush(m_connection);
}

bool X11KeyHold::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || m_window == XCB_NONE)
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS)
        return false;
    auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
    // Reported on the grab's window with one of its keys: the grab fired (another grab of ours, a menu's,
    // reports on its own window).
    if (key->event == m_window && std::binary_search(m_keys.begin(), m_keys.end(), key->detail)) {
        m_frozen = true;
        m_limit.start();
    }
    return false;
}
