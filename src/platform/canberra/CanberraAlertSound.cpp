#include "platform/canberra/CanberraAlertSound.h"

#include <QGuiApplication>

#include <canberra.h>
#include <xcb/xcb.h>

namespace {

void ringXBell() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    xcb_bell(x11->connection(), 0);
    xcb_flush(x11->connection());
}

} // namespace

CanberraAlertSound::CanberraAlertSound() = default;

CanberraAlertSound::~CanberraAlertSound() {
    if (m_context)
        ca_context_destroy(m_context);
}

void CanberraAlertSound::play() {
    if (!m_context && !m_failed) {
        if (ca_context_create(&m_context) != CA_SUCCESS) {
            m_context = nullptr;
            m_failed = true;
        } else {
            ca_context_change_props(m_context, CA_PROP_APPLICATION_NAME, "Quillbay", nullptr);
        }
    }
    // The call returns as soon as the sound is queued; it never waits for the sound to end.
    if (m_context && ca_context_play(m_context, 0, CA_PROP_EVENT_ID, "bell", CA_PROP_EVENT_DESCRIPTION,
                                     "Timer finished", nullptr) == CA_SUCCESS)
        return;
    ringXBell();
}
