// Global pointer position and primary button via xcb_query_pointer on the root window.
#include "platform/x11/X11PointerSource.h"

#include "platform/x11/X11Desktop.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include <xcb/xcb.h>

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
    // Only where Qt itself talks to an X server, and to the same one.
    xcb_connection_t* qt = X11Desktop::connection();
    if (!qt)
        return;
    int screen = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem && i < screen; ++i)
        xcb_screen_next(&it);
    // $DISPLAY may name another server than Qt was told to use ("-display"): then share Qt's.
    const xcb_screen_t* mine = it.rem ? it.data : nullptr;
    const xcb_setup_t* theirs = xcb_get_setup(qt);
    const bool same = mine && mine->root == xcb_window_t(X11Desktop::rootWindow()) &&
                      xcb_get_setup(c)->release_number == theirs->release_number &&
                      xcb_get_setup(c)->vendor_len == theirs->vendor_len &&
                      xcb_setup_roots_length(xcb_get_setup(c)) == xcb_setup_roots_length(theirs);
    if (!same) {
        xcb_disconnect(c);
        return;
    }
    m_connection = c;
    m_root = it.data->root;
}

PointerSample X11PointerSource::sample() {
    if (!m_connectTried)
        connect();
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
    PointerSample s{toLogical(QPoint(r->root_x, r->root_y)), (r->mask & XCB_BUTTON_MASK_1) != 0};
    free(r);
    return s;
}
