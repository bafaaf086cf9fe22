// XTEST key presses and the pointer query's modifier mask, on Qt's own connection.
#include "platform/x11/X11KeyEvents.h"

#include "platform/x11/X11Desktop.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

constexpr xcb_keysym_t kControlL = 0xffe3;
constexpr xcb_keysym_t kShiftL = 0xffe1;
constexpr xcb_keysym_t kInsert = 0xff63;
constexpr xcb_keysym_t kLowerV = 0x0076;

xcb_keycode_t keycodeOf(xcb_key_symbols_t* symbols, xcb_keysym_t sym) {
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, sym);
    const xcb_keycode_t code = codes ? codes[0] : 0;
    std::free(codes);
    return code;
}

} // namespace

std::unique_ptr<X11KeyEvents> X11KeyEvents::create() {
    xcb_connection_t* c = X11Desktop::connection();
    const WId root = X11Desktop::rootWindow();
    if (!c || !root)
        return nullptr;
    return std::unique_ptr<X11KeyEvents>(new X11KeyEvents(c, quint32(root)));
}

X11KeyEvents::X11KeyEvents(xcb_connection_t* connection, quint32 root)
    : m_c(connection)
    , m_root(root) {}

bool X11KeyEvents::modifiersHeld() {
    std::unique_ptr<xcb_query_pointer_reply_t, decltype(&std::free)> reply(
        xcb_query_pointer_reply(m_c, xcb_query_pointer(m_c, m_root), nullptr), &std::free);
    if (!reply)
        return false;
    const uint16_t held = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
    return (reply->mask & held) != 0;
}

bool X11KeyEvents::postPaste(PasteKeys keys) {
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(m_c, &xcb_test_id);
    if (!ext || !ext->present)
        return false;
    // Held first, in this order, then the key itself.
    std::vector<xcb_keysym_t> held;
    xcb_keysym_t key = kLowerV;
    switch (keys) {
    case PasteKeys::controlV:
        held = {kControlL};
        break;
    case PasteKeys::controlShiftV:
        held = {kControlL, kShiftL};
        break;
    case PasteKeys::shiftInsert:
        held = {kShiftL};
        key = kInsert;
        break;
    }
    // The keyboard map may change while we run, so it is read at each paste.
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_c);
    if (!symbols)
        return false;
    std::vector<xcb_keycode_t> heldCodes;
    for (xcb_keysym_t sym : held)
        heldCodes.push_back(keycodeOf(symbols, sym));
    const xcb_keycode_t keyCode = keycodeOf(symbols, key);
    xcb_key_symbols_free(symbols);
    if (!keyCode || std::find(heldCodes.begin(), heldCodes.end(), xcb_keycode_t(0)) != heldCodes.end())
        return false;
    for (xcb_keycode_t code : heldCodes)
        xcb_test_fake_input(m_c, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(m_c, XCB_KEY_PRESS, keyCode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(m_c, XCB_KEY_RELEASE, keyCode, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    for (auto it = heldCodes.rbegin(); it != heldCodes.rend(); ++it)
        xcb_test_fake_input(m_c, XCB_KEY_RELEASE, *it, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_flush(m_c);
    return true;
}
