// Small helpers for raw xcb calls: holders for the replies and events xcb hands out to be freed, and atom
// lookup.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace X11Xcb {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using XPtr = std::unique_ptr<T, FreeDeleter>;
using Event = XPtr<xcb_generic_event_t>;

// The atom named `name`, created if need be; XCB_ATOM_NONE when the server does not answer.
inline xcb_atom_t intern(xcb_connection_t* c, const char* name) {
    XPtr<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace X11Xcb
