// Moves the pointer through the input devices, as a mouse does, so that listeners of raw motion hear
// it. `xdotool mousemove` warps it instead, as a program does, which a resting island does not notice.
#pragma once

#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>

inline void moveLikeAMouse(int x, int y) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, int16_t(x), int16_t(y), 0);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); // the server has it
}
