// The private X connection the clipboard thread works on: the window it listens and owns with, the atoms
// its selection owner and reader share, and the waits for events, which hand on every event not waited for.
#pragma once

#include "platform/x11/X11Xcb.h"

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

struct X11SelectionLink {
    using SteadyClock = std::chrono::steady_clock;

    // Takes `connection` over: it ends when the link goes.
    explicit X11SelectionLink(xcb_connection_t* connection)
        : c(connection) {}
    ~X11SelectionLink();
    X11SelectionLink(const X11SelectionLink&) = delete;
    X11SelectionLink& operator=(const X11SelectionLink&) = delete;

    // Interns the atoms and makes the window, which is told of every new owner of the CLIPBOARD; false
    // when the server cannot report owner changes (no XFixes) or the connection failed.
    bool setUp();

    // Interrupts a wait from any thread.
    void wake() const;
    // Whether the thread must stop or the connection broke.
    bool broken() const { return stop || xcb_connection_has_error(c); }

    // Waits for input on the connection or a wake-up, at most until the deadline; false when the thread
    // must stop or the connection broke.
    bool waitForInput(std::optional<SteadyClock::time_point> deadline);
    // The next event that `wanted` accepts; every other event goes to `dispatch` on the way. Null at the
    // deadline, on a broken connection, or when the thread must stop.
    X11Xcb::Event waitFor(const std::function<bool(const xcb_generic_event_t*)>& wanted,
                          SteadyClock::time_point deadline);
    // Hands every event already waiting on the connection to `dispatch`.
    void dispatchPending();

    xcb_connection_t* const c;
    int wakeFd = -1;
    xcb_window_t window = XCB_NONE; // listens for owner changes, owns our own content
    uint8_t xfixesEvent = 0;
    xcb_atom_t clipboard = 0, targets = 0, utf8 = 0, textPlainUtf8 = 0, textAtom = 0, incr = 0, timestamp = 0,
               property = 0, stamp = 0, uriList = 0, copiedFiles = 0;
    // Where the events nobody waits for go; set before the thread starts.
    std::function<void(const xcb_generic_event_t*)> dispatch;
    std::atomic<bool> stop{false};
};
