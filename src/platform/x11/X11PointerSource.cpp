// Global pointer position and primary button via xcb_query_pointer on the root window.
#include "platform/x11/X11PointerSource.h"

#include "platform/x11/X11Desktop.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>

namespace {

// X reports device pixels; Qt keeps each screen's origin in device pixels and scales the rest.
QPointF toLogical(const QPoint& native) {
    // The usual case, and the cheap one: no screen is scaled (the largest ratio is cached by Qt).
    if (qGuiApp->devicePixelRatio() == 1.0)
        return QPointF(native);
    for (const QScreen* s : QGuiApplication::screens()) {
        const QRect g = s->geometry();
        const qreal dpr = s->devicePixelRatio();
        const QRectF nativeRect(g.topLeft(), QSizeF(g.size()) * dpr);
        if (nativeRect.contains(native))
            return QPointF(g.topLeft()) + (QPointF(native) - QPointF(g.topLeft())) / dpr;
    }
    return QPointF(native);
}

} // namespace

X11PointerSource::~X11PointerSource() {
    if (m_connection)
        xcb_disconnect(m_connection);
}

void X11PointerSource::connect() {
    m_connectTried = true;
    xcb_connection_t* c = X11Desktop::openPrivateConnection();
    if (!c)
        return;
    m_connection = c;
    m_root = quint32(X11Desktop::rootWindow());

    // XInput 2 raw events report motion and buttons anywhere, whoever's window is under the pointer;
    // from version 2.1 on also while another program holds a grab, as during a drag.
    xcb_input_xi_query_version_reply_t* v =
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr);
    const bool xi21 = v && (v->major_version > 2 || (v->major_version == 2 && v->minor_version >= 1));
    free(v);
    if (!xi21)
        return;
    struct {
        xcb_input_event_mask_t head;
        uint32_t mask;
    } select{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
             XCB_INPUT_XI_EVENT_MASK_RAW_MOTION | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS |
                 XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE};
    xcb_generic_error_t* error =
        xcb_request_check(c, xcb_input_xi_select_events_checked(c, m_root, 1, &select.head));
    m_rawEvents = !error;
    free(error);
}

bool X11PointerSource::pointerActive() {
    // Any raw event since the last sample means the pointer moved or a button changed. A pointer
    // moved by a program (a warp) sends none, so the server is asked now and then all the same.
    const bool active = X11Desktop::drainEvents(m_connection);
    if (!active && ++m_quiet < kQuietSamples)
        return false;
    m_quiet = 0;
    return true;
}

PointerSample X11PointerSource::sample() {
    if (!m_connectTried)
        connect();
    if (m_rawEvents && m_haveLast && !xcb_connection_has_error(m_connection) && !pointerActive())
        return {toLogical(m_lastNative), m_lastButton};
    xcb_connection_t* c = m_connection ? m_connection : X11Desktop::connection();
    if (c && !m_root)
        m_root = quint32(X11Desktop::rootWindow());
    const quint32 root = m_root;
    if (!c || !root)
        return {QPointF(QCursor::pos()), false};
    xcb_query_pointer_reply_t* r =
        xcb_query_pointer_reply(c, xcb_query_pointer(c, xcb_window_t(root)), nullptr);
    if (!r)
        return {QPointF(QCursor::pos()), false};
    m_lastNative = QPoint(r->root_x, r->root_y);
    m_lastButton = (r->mask & XCB_BUTTON_MASK_1) != 0;
    m_haveLast = true;
    free(r);
    return {toLogical(m_lastNative), m_lastButton};
}
