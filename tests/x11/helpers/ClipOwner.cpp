// A second X client for the clipboard tests: owns the CLIPBOARD selection in one of several manners, or
// reads it. Prints "ready" once it owns the selection.
//   clip-owner own TEXT [--hint]   answers with TEXT (and, with --hint, a password manager's hint)
//   clip-owner primary TEXT        the same for the PRIMARY selection
//   clip-owner silent              owns the selection and never answers; prints "asked" once a request
//                                  has come
//   clip-owner huge BYTES          answers with BYTES bytes of "a", in parts; prints "sent all" once
//                                  the empty part that ends a transfer has gone out
//   clip-owner vanish BYTES        the same, but quits once BYTES bytes went out, before the ending part,
//                                  and prints "vanished" as it goes
//   clip-owner read                prints the clipboard's text and exits
#include <xcb/xcb.h>

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

xcb_connection_t* c;
xcb_window_t win;

xcb_atom_t atom(const char* name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, strlen(name), name), nullptr);
    const xcb_atom_t a = r ? r->atom : 0;
    free(r);
    return a;
}

xcb_timestamp_t serverTime() {
    const xcb_atom_t stamp = atom("CLIP_OWNER_STAMP");
    xcb_change_property(c, XCB_PROP_MODE_APPEND, win, stamp, XCB_ATOM_STRING, 8, 0, "");
    xcb_flush(c);
    while (xcb_generic_event_t* e = xcb_wait_for_event(c)) {
        if ((e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const xcb_timestamp_t t = reinterpret_cast<xcb_property_notify_event_t*>(e)->time;
            free(e);
            return t;
        }
        free(e);
    }
    return XCB_CURRENT_TIME;
}

struct Incr {
    xcb_window_t requestor;
    xcb_atom_t property;
    size_t sent;
    bool ended;
};

int readClipboard() {
    const xcb_atom_t clipboard = atom("CLIPBOARD"), utf8 = atom("UTF8_STRING"),
                     prop = atom("CLIP_OWNER_READ");
    xcb_convert_selection(c, win, clipboard, utf8, prop, XCB_CURRENT_TIME);
    xcb_flush(c);
    pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
    for (int waited = 0; waited < 3000;) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            if ((e->response_type & 0x7f) == XCB_SELECTION_NOTIFY) {
                auto* n = reinterpret_cast<xcb_selection_notify_event_t*>(e);
                if (n->property == XCB_NONE) {
                    puts("refused");
                    return 1;
                }
                xcb_get_property_reply_t* r = xcb_get_property_reply(
                    c, xcb_get_property(c, 1, win, prop, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 24), nullptr);
                if (r)
                    fwrite(xcb_get_property_value(r), 1, xcb_get_property_value_length(r), stdout);
                fflush(stdout);
                return 0;
            }
            free(e);
        }
        poll(&fd, 1, 50);
        waited += 50;
    }
    puts("timeout");
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const std::string mode = argv[1];
    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 3;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    win = xcb_generate_id(c);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, win, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    if (mode == "read")
        return readClipboard();

    const xcb_atom_t clipboard = atom("CLIPBOARD"), targets = atom("TARGETS"), utf8 = atom("UTF8_STRING"),
                     hint = atom("x-kde-passwordManagerHint"), incr = atom("INCR");
    const std::string text = ((mode == "own" || mode == "primary") && argc > 2) ? argv[2] : std::string();
    const xcb_atom_t selection = mode == "primary" ? xcb_atom_t(XCB_ATOM_PRIMARY) : clipboard;
    const bool withHint = argc > 3 && std::string(argv[3]) == "--hint";
    const bool vanish = mode == "vanish";
    const size_t hugeBytes = (mode == "huge" || vanish) && argc > 2 ? size_t(std::atoll(argv[2])) : 0;
    const size_t chunk = 256 * 1024;
    const std::vector<char> filler(chunk, 'a');

    xcb_set_selection_owner(c, win, selection, serverTime());
    xcb_flush(c);
    puts("ready");
    fflush(stdout);
    if (mode == "silent") {
        // Reads requests only to say that one came ("asked", once); never answers any.
        bool told = false;
        while (xcb_generic_event_t* e = xcb_wait_for_event(c)) {
            if ((e->response_type & 0x7f) == XCB_SELECTION_REQUEST && !told) {
                puts("asked");
                fflush(stdout);
                told = true;
            }
            free(e);
        }
        while (true)
            pause(); // the server went: stays until stopped, as before
    }

    std::vector<Incr> transfers;
    while (xcb_generic_event_t* e = xcb_wait_for_event(c)) {
        const uint8_t type = e->response_type & 0x7f;
        if (type == XCB_SELECTION_CLEAR) {
            free(e);
            return 0;
        }
        if (type == XCB_PROPERTY_NOTIFY) {
            auto* p = reinterpret_cast<xcb_property_notify_event_t*>(e);
            for (Incr& t : transfers) {
                if (t.requestor == p->window && t.property == p->atom && p->state == XCB_PROPERTY_DELETE &&
                    !t.ended) {
                    const size_t n = std::min(chunk, hugeBytes - t.sent);
                    if (n == 0 && vanish) {
                        puts("vanished");
                        fflush(stdout);
                        return 0;
                    }
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, t.requestor, t.property, utf8, 8, n,
                                        filler.data());
                    t.sent += n;
                    xcb_flush(c);
                    if (n == 0) {
                        t.ended = true;
                        puts("sent all");
                        fflush(stdout);
                    }
                }
            }
        }
        if (type == XCB_SELECTION_REQUEST) {
            auto* r = reinterpret_cast<xcb_selection_request_event_t*>(e);
            xcb_selection_notify_event_t n{};
            n.response_type = XCB_SELECTION_NOTIFY;
            n.time = r->time;
            n.requestor = r->requestor;
            n.selection = r->selection;
            n.target = r->target;
            n.property = r->property;
            if (r->target == targets) {
                std::vector<xcb_atom_t> list{targets, utf8};
                if (withHint)
                    list.push_back(hint);
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, r->requestor, r->property, XCB_ATOM_ATOM, 32,
                                    list.size(), list.data());
            } else if (r->target == utf8 && hugeBytes) {
                const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
                xcb_change_window_attributes(c, r->requestor, XCB_CW_EVENT_MASK, &events);
                const uint32_t size = uint32_t(std::min<size_t>(hugeBytes, 0xffffffffu));
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, r->requestor, r->property, incr, 32, 1, &size);
                transfers.push_back({r->requestor, r->property, 0, false});
            } else if (r->target == utf8) {
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, r->requestor, r->property, utf8, 8, text.size(),
                                    text.data());
            } else if (r->target == hint && withHint) {
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, r->requestor, r->property, XCB_ATOM_STRING, 8,
                                    6, "secret");
            } else {
                n.property = XCB_NONE;
            }
            xcb_send_event(c, 0, r->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&n));
            xcb_flush(c);
        }
        free(e);
    }
    return 0;
}
