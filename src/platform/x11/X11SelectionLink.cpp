// The clipboard thread's connection and its waits; see X11SelectionLink.h.
#include "platform/x11/X11SelectionLink.h"

#include <xcb/xfixes.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>

using X11Xcb::Event;
using X11Xcb::intern;
using X11Xcb::XPtr;

X11SelectionLink::~X11SelectionLink() {
    if (c)
        xcb_disconnect(c);
    if (wakeFd >= 0)
        ::close(wakeFd);
}

bool X11SelectionLink::setUp() {
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (!ext || !ext->present)
        return false;
    xfixesEvent = ext->first_event;
    XPtr<xcb_xfixes_query_version_reply_t> version(
        xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
    if (!version)
        return false;
    clipboard = intern(c, "CLIPBOARD");
    targets = intern(c, "TARGETS");
    utf8 = intern(c, "UTF8_STRING");
    textPlainUtf8 = intern(c, "text/plain;charset=utf-8");
    textAtom = intern(c, "TEXT");
    incr = intern(c, "INCR");
    timestamp = intern(c, "TIMESTAMP");
    property = intern(c, "_QUILLBAY_CLIPBOARD");
    stamp = intern(c, "_QUILLBAY_STAMP");
    uriList = intern(c, "text/uri-list");
    copiedFiles = intern(c, "x-special/gnome-copied-files");
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (!screen || !clipboard)
        return false;
    window = xcb_generate_id(c);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    xcb_xfixes_select_selection_input(c, window, clipboard,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_flush(c);
    wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return wakeFd >= 0 && !xcb_connection_has_error(c);
}

void X11SelectionLink::wake() const {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
}

bool X11SelectionLink::waitForInput(std::optional<SteadyClock::time_point> deadline) {
    xcb_flush(c);
    pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {wakeFd, POLLIN, 0}};
    int timeout = -1;
    if (deadline) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(*deadline - SteadyClock::now()).count();
        timeout = int(std::max<long long>(left, 0));
    }
    ::poll(fds, 2, timeout);
    if (fds[1].revents & POLLIN) {
        uint64_t value;
        [[maybe_unused]] const ssize_t r = ::read(wakeFd, &value, sizeof value);
    }
    return !broken();
}

Event X11SelectionLink::waitFor(const std::function<bool(const xcb_generic_event_t*)>& wanted,
                                SteadyClock::time_point deadline) {
    while (true) {
        while (xcb_generic_event_t* raw = xcb_poll_for_event(c)) {
            Event e(raw);
            if (wanted(e.get()))
                return e;
            dispatch(e.get());
        }
        if (SteadyClock::now() >= deadline || !waitForInput(deadline))
            return nullptr;
    }
}

void X11SelectionLink::dispatchPending() {
    while (xcb_generic_event_t* raw = xcb_poll_for_event(c)) {
        Event e(raw);
        dispatch(e.get());
    }
}
