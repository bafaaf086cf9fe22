// Global pointer position and primary button via xcb_query_pointer on the root window. XInput 2 raw
// events, read as they arrive, say when the position can have changed, so that a still pointer costs
// neither a round trip to the server nor a wake-up.
#include "platform/x11/X11PointerSource.h"

#include "platform/x11/X11Desktop.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>
#include <xcb/xinput.h>

#include <cstdlib>

#include <sched.h>

namespace {

constexpr qint64 kSpinNs = 500'000;

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

X11PointerSource::X11PointerSource() = default;

X11PointerSource::~X11PointerSource() {
    m_notifier.reset();
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
    if (!m_rawEvents)
        return;
    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { readEvents(); });
}

bool X11PointerSource::reportsMotion() {
    if (!m_connectTried)
        connect();
    return m_rawEvents && m_connection && !xcb_connection_has_error(m_connection);
}

void X11PointerSource::readEvents() {
    const bool any = X11Desktop::drainEvents(m_connection);
    if (xcb_connection_has_error(m_connection)) {
        // The server is gone; Qt notices that on its own. Every sample falls back to asking.
        m_notifier->setEnabled(false);
        m_moved = true;
        notifyMoved();
        return;
    }
    if (!any)
        return;
    m_moved = true;
    notifyMoved();
}

void X11PointerSource::announceLater() {
    // Events read while waiting for a reply never make the socket readable again; announce them
    // from the event loop, not from inside sample().
    m_moved = true;
    if (m_announcing || !m_notifier)
        return;
    m_announcing = true;
    QMetaObject::invokeMethod(
        m_notifier.get(),
        [this] {
            m_announcing = false;
            notifyMoved();
        },
        Qt::QueuedConnection);
}

bool X11PointerSource::waitForReply(unsigned int sequence, void** reply, bool spin) {
    // A resting check waits a moment for a local server's answer awake, yielding the processor
    // meanwhile: going to sleep for it would double the wake-ups of an idle program. A server slower
    // than that is waited for asleep.
    if (spin) {
        QElapsedTimer waited;
        waited.start();
        do {
            xcb_generic_error_t* error = nullptr;
            if (xcb_poll_for_reply(m_connection, sequence, reply, &error)) {
                free(error);
                return *reply != nullptr;
            }
            if (xcb_connection_has_error(m_connection))
                return false;
            sched_yield();
        } while (waited.nsecsElapsed() < kSpinNs);
    }
    *reply = xcb_wait_for_reply(m_connection, sequence, nullptr);
    return *reply != nullptr;
}

PointerSample X11PointerSource::sample() {
    if (!m_connectTried)
        connect();
    const bool usable = m_rawEvents && !xcb_connection_has_error(m_connection);
    const bool resting = m_stale;
    if (usable && m_haveLast) {
        // Anything the notifier has not read yet counts as well.
        if (X11Desktop::drainEvents(m_connection))
            announceLater();
        // A pointer moved by a program (a warp) sends no event: the server is asked now and then.
        if (!m_moved && !m_stale && ++m_quiet < kQuietSamples)
            return {toLogical(m_lastNative), m_lastButton};
    }
    m_quiet = 0;
    m_moved = false;
    m_stale = false;
    if (usable) {
        void* reply = nullptr;
        const xcb_query_pointer_cookie_t cookie = xcb_query_pointer(m_connection, xcb_window_t(m_root));
        xcb_flush(m_connection);
        if (waitForReply(cookie.sequence, &reply, resting)) {
            auto* r = static_cast<xcb_query_pointer_reply_t*>(reply);
            m_lastNative = QPoint(r->root_x, r->root_y);
            m_lastButton = (r->mask & XCB_BUTTON_MASK_1) != 0;
            m_haveLast = true;
            free(r);
            if (xcb_generic_event_t* e = xcb_poll_for_queued_event(m_connection)) {
                free(e);
                X11Desktop::drainEvents(m_connection);
                announceLater();
            }
            return {toLogical(m_lastNative), m_lastButton};
        }
    }
    xcb_connection_t* c =
        m_connection && !xcb_connection_has_error(m_connection) ? m_connection : X11Desktop::connection();
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
