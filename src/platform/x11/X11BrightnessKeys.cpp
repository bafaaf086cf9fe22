// See X11BrightnessKeys.h. Raw key events say only which key went down, whoever has the keyboard; they
// are asked for only while listening, so the rest of the time no key press wakes the program.
#include "platform/x11/X11BrightnessKeys.h"

#include "platform/x11/X11Desktop.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xinput.h>

#include <cstdlib>

namespace {

constexpr xcb_keysym_t kBrightnessUp = 0x1008FF02;   // XF86MonBrightnessUp
constexpr xcb_keysym_t kBrightnessDown = 0x1008FF03; // XF86MonBrightnessDown

} // namespace

std::unique_ptr<X11BrightnessKeys> X11BrightnessKeys::create() {
    xcb_connection_t* c = X11Desktop::openPrivateConnection();
    if (!c)
        return nullptr;
    std::unique_ptr<X11BrightnessKeys> keys(new X11BrightnessKeys);
    keys->m_connection = c;
    keys->m_root = quint32(X11Desktop::rootWindow());
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_input_id);
    xcb_input_xi_query_version_reply_t* v =
        ext && ext->present
            ? xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr)
            : nullptr;
    const bool xi2 = v && v->major_version >= 2;
    free(v);
    if (!xi2 || !keys->m_root)
        return nullptr;
    keys->m_xinput = ext->major_opcode;
    if (xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c)) {
        for (const xcb_keysym_t sym : {kBrightnessUp, kBrightnessDown}) {
            if (xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, sym)) {
                for (xcb_keycode_t* k = codes; *k != XCB_NO_SYMBOL; ++k)
                    keys->m_keycodes << quint8(*k);
                free(codes);
            }
        }
        xcb_key_symbols_free(symbols);
    }
    if (keys->m_keycodes.isEmpty())
        return nullptr;
    keys->m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
    QObject::connect(keys->m_notifier.get(), &QSocketNotifier::activated, keys->m_notifier.get(),
                     [k = keys.get()] { k->readEvents(); });
    return keys;
}

X11BrightnessKeys::~X11BrightnessKeys() {
    m_notifier.reset();
    if (m_connection)
        xcb_disconnect(m_connection);
}

void X11BrightnessKeys::setListening(bool on) {
    if (on == m_listening || xcb_connection_has_error(m_connection))
        return;
    m_listening = on;
    struct {
        xcb_input_event_mask_t head;
        uint32_t mask;
    } select{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, on ? uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS) : 0u};
    xcb_input_xi_select_events(m_connection, xcb_window_t(m_root), 1, &select.head);
    xcb_flush(m_connection);
}

void X11BrightnessKeys::readEvents() {
    bool pressed = false;
    while (xcb_generic_event_t* e = xcb_poll_for_event(m_connection)) {
        if ((e->response_type & 0x7f) == XCB_GE_GENERIC) {
            const auto* ge = reinterpret_cast<const xcb_ge_generic_event_t*>(e);
            if (ge->extension == m_xinput && ge->event_type == XCB_INPUT_RAW_KEY_PRESS) {
                const auto* raw = reinterpret_cast<const xcb_input_raw_key_press_event_t*>(e);
                // A press that arrives just after listening stopped is dropped with the rest.
                pressed = pressed || (m_listening && m_keycodes.contains(quint8(raw->detail)));
            }
        }
        free(e);
    }
    if (xcb_connection_has_error(m_connection))
        m_notifier->setEnabled(false); // the server is gone; Qt notices that on its own
    if (pressed)
        notifyPressed();
}
