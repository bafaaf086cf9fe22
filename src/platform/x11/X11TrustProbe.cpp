// XTEST presence on the display that Qt is connected to.
#include "platform/x11/X11TrustProbe.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <xcb/xtest.h>

X11TrustProbe::X11TrustProbe() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        m_connection = x11->connection();
}

bool X11TrustProbe::isTrusted() const {
    if (!m_connection || xcb_connection_has_error(m_connection))
        return false;
    // xcb caches the answer after the first query.
    const xcb_query_extension_reply_t* data = xcb_get_extension_data(m_connection, &xcb_test_id);
    return data && data->present;
}
