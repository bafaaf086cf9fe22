// The desktop's windows through xcb; see X11DesktopWindows.h.
#include "platform/x11/X11DesktopWindows.h"

#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11KeyHold.h"

X11DesktopWindows::X11DesktopWindows() = default;

X11DesktopWindows::~X11DesktopWindows() = default;

bool X11DesktopWindows::available() const {
    return X11Desktop::connection() != nullptr;
}

bool X11DesktopWindows::showOnAllDesktops(WId window) {
    return X11Desktop::showOnAllDesktops(window);
}

bool X11DesktopWindows::compositorRunning() const {
    return X11Desktop::compositorRunning(m_facts);
}

bool X11DesktopWindows::setInputShape(WId window, const QRect& region) {
    return X11Desktop::setInputShape(window, region, m_facts);
}

bool X11DesktopWindows::clearBoundingShape(WId window) {
    return X11Desktop::clearBoundingShape(window);
}

bool X11DesktopWindows::managedWindowAbove(WId window, const QList<WId>& except) const {
    return X11Desktop::managedWindowAbove(window, except);
}

WId X11DesktopWindows::topLevelOf(WId window) const {
    return X11Desktop::topLevelOf(window);
}

bool X11DesktopWindows::stackDirectlyBelow(WId window, WId sibling) {
    return X11Desktop::stackDirectlyBelow(window, sibling);
}

bool X11DesktopWindows::isViewable(WId window) const {
    return X11Desktop::isViewable(window);
}

std::optional<quint32> X11DesktopWindows::inputFocus() const {
    return X11Desktop::inputFocus();
}

void X11DesktopWindows::setInputFocus(quint32 window) {
    X11Desktop::setInputFocus(window);
}

bool X11DesktopWindows::windowExists(quint32 window) const {
    return X11Desktop::windowExists(window);
}

quint32 X11DesktopWindows::rootWindow() const {
    return quint32(X11Desktop::rootWindow());
}

bool X11DesktopWindows::holdKeysAfter(WId window) {
    if (!m_keyHold) {
        xcb_connection_t* c = X11Desktop::connection();
        if (!c)
            return false;
        m_keyHold = std::make_unique<X11KeyHold>(c);
    }
    return m_keyHold->holdOn(xcb_window_t(window));
}

void X11DesktopWindows::passHeldKeys() {
    if (m_keyHold)
        m_keyHold->pass();
}

bool X11DesktopWindows::watchChanges(std::function<void()> changed) {
    m_changed = std::move(changed);
    // The watch listens on a connection of its own; one is enough however often this is asked.
    if (!m_watch) {
        m_watch = X11DesktopWatch::create();
        if (m_watch)
            QObject::connect(m_watch.get(), &X11DesktopWatch::changed, [this] {
                if (m_changed)
                    m_changed();
            });
    }
    return m_watch != nullptr;
}
