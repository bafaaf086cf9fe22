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

PointerSample X11PointerSource::sample() {
    xcb_connection_t* c = X11Desktop::connection();
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
