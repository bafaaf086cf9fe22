// Moves the pointer through the input devices, as a mouse does, so that listeners of raw motion hear
// it. `xdotool mousemove` warps it instead, as a program does, which a resting island does not notice.
#pragma once

#include <QGuiApplication>
#include <QPoint>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>

// One event of the pointer or its buttons (XCB_MOTION_NOTIFY to x, y; XCB_BUTTON_PRESS or
// XCB_BUTTON_RELEASE of button `detail`), returned once the server has it.
inline void fakePointerInput(uint8_t type, uint8_t detail, int x = 0, int y = 0) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_test_fake_input(c, type, detail, XCB_CURRENT_TIME, type == XCB_MOTION_NOTIFY ? root : XCB_NONE,
                        int16_t(x), int16_t(y), 0);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); // the server has it
}

inline void moveLikeAMouse(int x, int y) {
    fakePointerInput(XCB_MOTION_NOTIFY, 0, x, y);
}
inline void moveLikeAMouse(QPoint p) {
    moveLikeAMouse(p.x(), p.y());
}
