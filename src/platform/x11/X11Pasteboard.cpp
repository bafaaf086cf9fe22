// The CLIPBOARD selection on a thread of its own; see X11Pasteboard.h. The thread learns of new owners
// from XFixes, reads each new content at once (formats, then text) within a time and size limit, and
// publishes it under a lock; it also owns the selections for text written by the program and answers the
// requests of other programs for it.
#include "platform/x11/X11Pasteboard.h"

#include "platform/x11/X11Desktop.h"

#include <QMutexLocker>
#include <QPointer>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using XPtr = std::unique_ptr<T, FreeDeleter>;
using Event = XPtr<xcb_generic_event_t>;

xcb_atom_t intern(xcb_connection_t* c, const char* name) {
    XPtr<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// Drops the end of `bytes` when a transfer cut it inside a UTF-8 sequence.
void dropPartialUtf8(QByteArray& bytes) {
    qsizetype i = bytes.size();
    int continuation = 0;
    while (i > 0 && continuation < 4 && (uchar(bytes.at(i - 1)) & 0xC0) == 0x80) {
        --i;
        ++continuation;
    }
    if (i == 0)
        return;
    const uchar lead = uchar(bytes.at(i - 1));
    const int need = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (need > continuation)
        bytes.truncate(i - 1);
}

} // namespace

struct X11Pasteboard::Worker {
    enum Selection { kClipboard = 0, kPrimary = 1 };

    // Text this program owns in one selection, as served to other programs.
    struct Owned {
        bool owning = false;
        xcb_timestamp_t since = 0;
        QString text;
        QByteArray utf8;
    };

    // The requestor window of a transfer we no longer want, kept until the owner is done with it.
    struct Drain {
        xcb_window_t window = XCB_NONE;
        bool incremental = false; // the owner sends in parts and ends with an empty one
        SteadyClock::time_point lastActivity;
    };

    struct WholeRequest {
        qsizetype maxBytes = 0;
        std::function<void(WholeText)> deliver; // safe to call from this thread
    };

    xcb_connection_t* c = nullptr;
    int wakeFd = -1;
    xcb_window_t window = XCB_NONE; // listens for owner changes, owns our own content
    uint8_t xfixesEvent = 0;
    xcb_atom_t clipboard = 0, targets = 0, utf8 = 0, textPlainUtf8 = 0, textAtom = 0, incr = 0, timestamp = 0,
               property = 0, stamp = 0;

    // Shared with the main thread.
    mutable QMutex mutex;
    std::atomic<quint64> count{0};
    std::function<void()> changed; // set before the thread starts; runs on it, with the lock held
    QStringList types;
    std::optional<QString> text;
    bool textCut = false;
    qsizetype lastBytes = 0;
    std::optional<QString> outgoing[2];
    bool writingNow = false;
    std::vector<WholeRequest> wholeRequests;
    std::atomic<int> drainCount{0};
    std::atomic<bool> stop{false};

    // The thread's own.
    bool ownerChanged = false;
    xcb_window_t newOwner = XCB_NONE;
    xcb_timestamp_t changeTime = XCB_CURRENT_TIME;
    Owned owned[2];
    std::vector<Drain> draining;

    ~Worker() {
        if (c)
            xcb_disconnect(c);
        if (wakeFd >= 0)
            ::close(wakeFd);
    }

    xcb_atom_t selectionAtom(int which) const {
        return which == kClipboard ? clipboard : xcb_atom_t(XCB_ATOM_PRIMARY);
    }
    int selectionIndex(xcb_atom_t selection) const {
        return selection == clipboard ? kClipboard : selection == XCB_ATOM_PRIMARY ? kPrimary : -1;
    }

    bool setUp() {
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

    void wake() const {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
    }

    bool broken() const { return stop || xcb_connection_has_error(c); }

    // Waits for input on the connection or a wake-up, at most until the deadline; false when the thread
    // must stop or the connection broke.
    bool waitForInput(std::optional<SteadyClock::time_point> deadline) {
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

    // The next event that `wanted` accepts; every other event is handled on the way. Null at the
    // deadline, on a broken connection, or when the thread must stop.
    Event waitFor(const std::function<bool(const xcb_generic_event_t*)>& wanted,
                  SteadyClock::time_point deadline) {
        while (true) {
            while (xcb_generic_event_t* raw = xcb_poll_for_event(c)) {
                Event e(raw);
                if (wanted(e.get()))
                    return e;
                handle(e.get());
            }
            if (SteadyClock::now() >= deadline || !waitForInput(deadline))
                return nullptr;
        }
    }

    void handle(const xcb_generic_event_t* e) {
        const uint8_t type = e->response_type & 0x7f;
        if (type == xfixesEvent + XCB_XFIXES_SELECTION_NOTIFY) {
            const auto* n = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(e);
            if (n->selection != clipboard || n->owner == window)
                return; // our own write is no change of somebody else's
            ownerChanged = true;
            newOwner = n->owner;
            changeTime = n->selection_timestamp;
        } else if (type == XCB_SELECTION_REQUEST) {
            answer(reinterpret_cast<const xcb_selection_request_event_t*>(e));
        } else if (type == XCB_SELECTION_CLEAR) {
            const auto* clear = reinterpret_cast<const xcb_selection_clear_event_t*>(e);
            const int which = selectionIndex(clear->selection);
            if (clear->owner == window && which >= 0)
                owned[which] = Owned();
        } else if (type == XCB_PROPERTY_NOTIFY) {
            const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
            if (p->atom == property && p->state == XCB_PROPERTY_NEW_VALUE)
                drainPart(p->window);
        } else if (type == XCB_SELECTION_NOTIFY) {
            const auto* n = reinterpret_cast<const xcb_selection_notify_event_t*>(e);
            if (n->property == XCB_NONE) {
                endDrain(n->requestor); // a late refusal: nothing will come
            } else if (const Drain* d = findDrain(n->requestor); d && !d->incremental) {
                drainPart(n->requestor); // a late answer whose property change went by unseen
            }
        }
    }

    // Another program asks for a text we own.
    void answer(const xcb_selection_request_event_t* req) {
        xcb_selection_notify_event_t reply{};
        reply.response_type = XCB_SELECTION_NOTIFY;
        reply.time = req->time;
        reply.requestor = req->requestor;
        reply.selection = req->selection;
        reply.target = req->target;
        reply.property = XCB_NONE;
        const xcb_atom_t prop = req->property != XCB_NONE ? req->property : req->target;
        // Room for one property in one request; longer texts are refused rather than sent in part.
        const qsizetype room = qsizetype(xcb_get_maximum_request_length(c)) * 4 - 64;
        const int which = selectionIndex(req->selection);
        const Owned* mine = which >= 0 ? &owned[which] : nullptr;
        const bool ours = mine && mine->owning && req->owner == window &&
                          (req->time == XCB_CURRENT_TIME || req->time >= mine->since);
        if (ours) {
            if (req->target == targets) {
                const xcb_atom_t list[] = {targets,       timestamp, utf8,
                                           textPlainUtf8, textAtom,  XCB_ATOM_STRING};
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, prop, XCB_ATOM_ATOM, 32,
                                    uint32_t(std::size(list)), list);
                reply.property = prop;
            } else if (req->target == timestamp) {
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, prop, XCB_ATOM_INTEGER, 32, 1,
                                    &mine->since);
                reply.property = prop;
            } else if (req->target == utf8 || req->target == textPlainUtf8 || req->target == textAtom) {
                if (mine->utf8.size() <= room) {
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, prop,
                                        req->target == textAtom ? utf8 : req->target, 8,
                                        uint32_t(mine->utf8.size()), mine->utf8.constData());
                    reply.property = prop;
                }
            } else if (req->target == XCB_ATOM_STRING) {
                const QByteArray latin1 = mine->text.toLatin1();
                if (latin1.size() <= room) {
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, prop, XCB_ATOM_STRING, 8,
                                        uint32_t(latin1.size()), latin1.constData());
                    reply.property = prop;
                }
            }
        }
        xcb_send_event(c, 0, req->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&reply));
        xcb_flush(c);
    }

    // Draining: an owner that has started sending expects its requestor to take every part, up to the
    // empty one that ends the transfer. A window destroyed under it makes its next write fail, which
    // kills owners that treat X errors as fatal (xclip among them) and with them the clipboard.
    void startDrain(xcb_window_t requestor, bool incremental) {
        constexpr std::size_t kMostDrains = 16;
        if (draining.size() >= kMostDrains) {
            xcb_destroy_window(c, draining.front().window); // idle the longest
            draining.erase(draining.begin());
        }
        draining.push_back({requestor, incremental, SteadyClock::now()});
        drainCount = int(draining.size());
    }

    Drain* findDrain(xcb_window_t requestor) {
        const auto it = std::find_if(draining.begin(), draining.end(),
                                     [&](const Drain& d) { return d.window == requestor; });
        return it == draining.end() ? nullptr : &*it;
    }

    void endDrain(xcb_window_t requestor) {
        const auto it = std::find_if(draining.begin(), draining.end(),
                                     [&](const Drain& d) { return d.window == requestor; });
        if (it == draining.end())
            return;
        xcb_destroy_window(c, requestor);
        xcb_flush(c);
        draining.erase(it);
        drainCount = int(draining.size());
    }

    // The owner put a part on a drained window: drop it, and by that ask for the next.
    void drainPart(xcb_window_t requestor) {
        Drain* it = findDrain(requestor);
        if (!it)
            return;
        it->lastActivity = SteadyClock::now();
        // Only the size is asked for: the surplus never crosses the connection.
        XPtr<xcb_get_property_reply_t> head(xcb_get_property_reply(
            c, xcb_get_property(c, 0, requestor, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr));
        if (!head) {
            endDrain(requestor);
            return;
        }
        const bool startsParts = head->type == incr && !it->incremental;
        const bool ends = !it->incremental || (head->bytes_after == 0 && head->type != XCB_NONE);
        xcb_delete_property(c, requestor, property);
        if (startsParts) {
            it->incremental = true; // the deletion asked for the first part
        } else if (ends) {
            endDrain(requestor); // a whole late answer, or the empty part that ends the transfer
        }
        xcb_flush(c);
    }

    // Gives up on drains whose owner has gone quiet; the earliest time another may go quiet.
    std::optional<SteadyClock::time_point> expireDrains() {
        const auto now = SteadyClock::now();
        const auto idle = std::chrono::milliseconds(kDrainIdleMs);
        std::vector<xcb_window_t> quiet;
        std::optional<SteadyClock::time_point> next;
        for (const Drain& d : draining) {
            if (now - d.lastActivity >= idle)
                quiet.push_back(d.window);
            else if (!next || d.lastActivity + idle < *next)
                next = d.lastActivity + idle;
        }
        for (xcb_window_t w : quiet)
            endDrain(w);
        return next;
    }

    struct Transfer {
        bool answered = false; // the owner answered (perhaps with a refusal)
        bool refused = false;
        bool complete = false;  // the owner's whole answer arrived
        bool overLimit = false; // it was longer than the limit: data holds its start
        xcb_atom_t type = XCB_NONE;
        QByteArray data;
    };

    // One conversion of the selection to `target` into a window of its own, at most `limit` bytes:
    // the first answer by `answerBy`, each later part within the read time-out of the one before,
    // everything by `cap`. A transfer left unfinished is drained afterwards.
    Transfer convert(xcb_atom_t target, qsizetype limit, SteadyClock::time_point answerBy,
                     SteadyClock::time_point cap) {
        Transfer t;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const xcb_window_t requestor = xcb_generate_id(c);
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, requestor, screen->root, -1, -1, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
        xcb_convert_selection(c, requestor, clipboard, target, property, changeTime);
        Event notified = waitFor(
            [&](const xcb_generic_event_t* e) {
                return (e->response_type & 0x7f) == XCB_SELECTION_NOTIFY &&
                       reinterpret_cast<const xcb_selection_notify_event_t*>(e)->requestor == requestor;
            },
            std::min(answerBy, cap));
        bool over = true;
        if (!notified) {
            // The owner may still answer: whatever it sends then is taken and dropped.
            if (!broken()) {
                startDrain(requestor, false);
                over = false;
            }
        } else {
            t.answered = true;
            const auto* n = reinterpret_cast<const xcb_selection_notify_event_t*>(notified.get());
            if (n->property == XCB_NONE)
                t.refused = true;
            else
                over = receive(requestor, limit, cap, t);
            if (!over)
                startDrain(requestor, true);
        }
        if (over)
            xcb_destroy_window(c, requestor);
        xcb_flush(c);
        return t;
    }

    // Reads the answer on `requestor` into `t`; whether the transfer is over (otherwise the owner is
    // still sending and the window must be drained).
    bool receive(xcb_window_t requestor, qsizetype limit, SteadyClock::time_point cap, Transfer& t) {
        // One byte more than the limit tells a text of exactly the limit from a longer one.
        const qsizetype room = limit + 1;
        XPtr<xcb_get_property_reply_t> first(
            xcb_get_property_reply(c,
                                   xcb_get_property(c, 0, requestor, property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                                                    uint32_t((room + 3) / 4)),
                                   nullptr));
        if (!first)
            return true;
        if (first->type != incr) {
            t.type = first->type;
            const int length = xcb_get_property_value_length(first.get());
            t.data = QByteArray(static_cast<const char*>(xcb_get_property_value(first.get())),
                                std::min<qsizetype>(length, limit));
            t.overLimit = length > limit || first->bytes_after > 0;
            t.complete = !t.overLimit;
            return true;
        }
        // Incremental transfer: every deletion of the property asks the owner for the next part; a
        // part of length 0 ends it.
        first.reset();
        xcb_delete_property(c, requestor, property);
        const auto partTimeout = std::chrono::milliseconds(kReadTimeoutMs);
        auto lastPart = SteadyClock::now();
        while (true) {
            Event part = waitFor(
                [&](const xcb_generic_event_t* e) {
                    if ((e->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                        return false;
                    const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
                    return p->window == requestor && p->atom == property &&
                           p->state == XCB_PROPERTY_NEW_VALUE;
                },
                std::min(lastPart + partTimeout, cap));
            if (!part)
                return broken(); // timed out: what is there is kept, the rest drained
            lastPart = SteadyClock::now();
            const uint32_t words = uint32_t((room - t.data.size() + 3) / 4);
            XPtr<xcb_get_property_reply_t> chunk(xcb_get_property_reply(
                c, xcb_get_property(c, 1, requestor, property, XCB_GET_PROPERTY_TYPE_ANY, 0, words),
                nullptr));
            if (!chunk)
                return true;
            const int length = xcb_get_property_value_length(chunk.get());
            if (length == 0 && chunk->bytes_after == 0) {
                t.complete = true; // the end; the server deleted the empty property
                return true;
            }
            t.type = chunk->type;
            t.data.append(static_cast<const char*>(xcb_get_property_value(chunk.get())), length);
            // A part longer than was asked for stays on the window until deleted by hand.
            if (chunk->bytes_after > 0)
                xcb_delete_property(c, requestor, property);
            if (t.data.size() > limit || chunk->bytes_after > 0) {
                t.overLimit = true;
                t.data.truncate(limit);
                return false; // the deletion asked for the next part: the drain takes it
            }
        }
    }

    QStringList atomNames(const QByteArray& list) {
        const auto* atoms = reinterpret_cast<const xcb_atom_t*>(list.constData());
        const qsizetype n = std::min<qsizetype>(list.size() / qsizetype(sizeof(xcb_atom_t)), 512);
        std::vector<xcb_get_atom_name_cookie_t> cookies;
        cookies.reserve(size_t(n));
        for (qsizetype i = 0; i < n; ++i)
            cookies.push_back(xcb_get_atom_name(c, atoms[i]));
        QStringList names;
        for (const xcb_get_atom_name_cookie_t& cookie : cookies) {
            XPtr<xcb_get_atom_name_reply_t> reply(xcb_get_atom_name_reply(c, cookie, nullptr));
            if (reply)
                names << QString::fromLatin1(xcb_get_atom_name_name(reply.get()),
                                             xcb_get_atom_name_name_length(reply.get()));
        }
        return names;
    }

    // The target to ask for text in, from the formats an owner listed; none when it lists no text.
    xcb_atom_t textTarget(const QStringList& offered) {
        if (offered.isEmpty())
            return utf8; // an owner that lists nothing may still give text
        for (const char* name : {"UTF8_STRING", "text/plain;charset=utf-8", "STRING", "TEXT"}) {
            if (offered.contains(QLatin1String(name)))
                return strcmp(name, "STRING") == 0 ? xcb_atom_t(XCB_ATOM_STRING) : intern(c, name);
        }
        return XCB_NONE;
    }

    static QString decode(const Transfer& t) {
        if (t.type == XCB_ATOM_STRING)
            return QString::fromLatin1(t.data);
        QByteArray bytes = t.data;
        dropPartialUtf8(bytes);
        return QString::fromUtf8(bytes);
    }

    // Reads the content of a new owner and publishes it: as the next change, or, for what was there
    // before we started, as the content of the first count.
    void readContent(bool isChange = true) {
        ownerChanged = false;
        QStringList readTypes;
        std::optional<QString> readText;
        bool cut = false;
        qsizetype bytes = 0;
        if (newOwner != XCB_NONE) {
            const auto now = SteadyClock::now();
            const auto answerBy = now + std::chrono::milliseconds(kReadTimeoutMs);
            const auto cap = now + std::chrono::milliseconds(kReadCapMs);
            const Transfer list = convert(targets, 64 * 1024, answerBy, cap);
            if (list.answered && list.type == XCB_ATOM_ATOM)
                readTypes = atomNames(list.data);
            const xcb_atom_t want = list.answered ? textTarget(readTypes) : xcb_atom_t(XCB_NONE);
            if (want != XCB_NONE && !stop) {
                const Transfer t = convert(want, kMaxTextBytes, answerBy, cap);
                bytes = t.data.size();
                if (t.answered && !t.refused) {
                    readText = decode(t);
                    cut = !t.complete;
                }
            }
        }
        QMutexLocker lock(&mutex);
        types = readTypes;
        text = readText;
        textCut = cut;
        lastBytes = bytes;
        if (isChange) {
            count.fetch_add(1);
            if (changed)
                changed();
        }
    }

    WholeText readWhole(qsizetype maxBytes) {
        WholeText whole;
        if (owned[kClipboard].owning) {
            if (owned[kClipboard].utf8.size() > maxBytes)
                whole.tooLarge = true;
            else
                whole.text = owned[kClipboard].text;
            return whole;
        }
        XPtr<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr));
        if (!owner || owner->owner == XCB_NONE)
            return whole;
        QStringList offered;
        {
            QMutexLocker lock(&mutex);
            offered = types;
        }
        const xcb_atom_t want = textTarget(offered);
        if (want == XCB_NONE)
            return whole;
        const auto cap = SteadyClock::now() + std::chrono::milliseconds(kWholeReadCapMs);
        finishDrains(cap);
        const Transfer t =
            convert(want, maxBytes,
                    std::min(SteadyClock::now() + std::chrono::milliseconds(kReadTimeoutMs), cap), cap);
        if (t.overLimit)
            whole.tooLarge = true;
        else if (t.complete)
            whole.text = decode(t);
        return whole;
    }

    // An owner may serve one transfer at a time (xclip does): while the rest of an earlier read still
    // comes in, a new request would go unanswered past its time-out, so that transfer ends first. Drains
    // that only wait for a late answer are not waited for.
    void finishDrains(SteadyClock::time_point cap) {
        const auto sending = [this] {
            return std::any_of(draining.begin(), draining.end(),
                               [](const Drain& d) { return d.incremental; });
        };
        while (sending() && !broken()) {
            while (xcb_generic_event_t* raw = xcb_poll_for_event(c)) {
                Event e(raw);
                handle(e.get());
            }
            if (!sending() || SteadyClock::now() >= cap)
                return;
            const std::optional<SteadyClock::time_point> expiry = expireDrains();
            if (!waitForInput(expiry ? std::min(*expiry, cap) : cap))
                return;
        }
    }

    // A server time stamp, as taking over a selection wants one: the time of a property change.
    xcb_timestamp_t serverTime() {
        xcb_change_property(c, XCB_PROP_MODE_APPEND, window, stamp, XCB_ATOM_STRING, 8, 0, nullptr);
        Event e = waitFor(
            [&](const xcb_generic_event_t* ev) {
                if ((ev->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                    return false;
                const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(ev);
                return p->window == window && p->atom == stamp;
            },
            SteadyClock::now() + std::chrono::seconds(1));
        return e ? reinterpret_cast<const xcb_property_notify_event_t*>(e.get())->time : XCB_CURRENT_TIME;
    }

    void write() {
        std::optional<QString> values[2];
        {
            QMutexLocker lock(&mutex);
            for (int i : {kClipboard, kPrimary})
                values[i] = std::exchange(outgoing[i], std::nullopt);
            writingNow = true;
        }
        const xcb_timestamp_t time = serverTime();
        for (int i : {kClipboard, kPrimary}) {
            if (!values[i])
                continue;
            const xcb_atom_t selection = selectionAtom(i);
            xcb_set_selection_owner(c, window, selection, time);
            XPtr<xcb_get_selection_owner_reply_t> owner(
                xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
            if (!owner || owner->owner != window)
                continue;
            owned[i] = Owned{true, time, *values[i], values[i]->toUtf8()};
            if (i == kClipboard) {
                QMutexLocker lock(&mutex);
                types = QStringList{QStringLiteral("UTF8_STRING"), QStringLiteral("text/plain;charset=utf-8"),
                                    QStringLiteral("STRING")};
                text = *values[i];
                textCut = false;
            }
        }
        QMutexLocker lock(&mutex);
        writingNow = false;
    }

    void run() {
        XPtr<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr));
        if (owner && owner->owner != XCB_NONE) {
            newOwner = owner->owner;
            readContent(false);
        }
        while (!stop) {
            while (xcb_generic_event_t* raw = xcb_poll_for_event(c)) {
                Event e(raw);
                handle(e.get());
            }
            bool writeNow = false;
            std::vector<WholeRequest> requests;
            {
                QMutexLocker lock(&mutex);
                writeNow = outgoing[kClipboard] || outgoing[kPrimary];
                requests.swap(wholeRequests);
            }
            if (writeNow) {
                write();
                continue;
            }
            for (WholeRequest& r : requests)
                r.deliver(readWhole(r.maxBytes));
            if (!requests.empty())
                continue;
            if (ownerChanged) {
                readContent();
                continue;
            }
            if (!waitForInput(expireDrains()))
                break;
        }
    }
};

std::unique_ptr<X11Pasteboard> X11Pasteboard::create() {
    xcb_connection_t* c = X11Desktop::openPrivateConnection();
    if (!c)
        return nullptr;
    auto worker = std::make_unique<Worker>();
    worker->c = c;
    if (!worker->setUp())
        return nullptr;
    std::unique_ptr<X11Pasteboard> board(new X11Pasteboard);
    board->m_relay = std::make_unique<QObject>();
    // Each new content is announced from the main thread; a notice still queued when the board goes
    // dies with the relay.
    X11Pasteboard* self = board.get();
    worker->changed = [relay = board->m_relay.get(), self] {
        QMetaObject::invokeMethod(
            relay, [self] { self->notifyChanged(); }, Qt::QueuedConnection);
    };
    board->m_worker = std::move(worker);
    board->m_thread = std::thread([w = board->m_worker.get()] { w->run(); });
    return board;
}

X11Pasteboard::X11Pasteboard() = default;

X11Pasteboard::~X11Pasteboard() {
    if (m_worker) {
        m_worker->stop = true;
        m_worker->wake();
    }
    if (m_thread.joinable())
        m_thread.join();
}

quint64 X11Pasteboard::changeCount() const {
    return m_worker->count.load(std::memory_order_acquire);
}

QStringList X11Pasteboard::types() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->types;
}

std::optional<QString> X11Pasteboard::text() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->text;
}

bool X11Pasteboard::textIsCut() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->textCut;
}

void X11Pasteboard::readWholeText(qsizetype maxBytes, QObject* context, std::function<void(WholeText)> done) {
    // The answer crosses to the main thread through the relay, which outlives the thread; the caller's
    // context is looked at only there.
    QObject* relay = m_relay.get();
    auto deliver = [relay, context = QPointer<QObject>(context), done = std::move(done)](WholeText whole) {
        QMetaObject::invokeMethod(
            relay,
            [context, done, whole = std::move(whole)] {
                if (context)
                    done(whole);
            },
            Qt::QueuedConnection);
    };
    {
        QMutexLocker lock(&m_worker->mutex);
        m_worker->wholeRequests.push_back({maxBytes, std::move(deliver)});
    }
    m_worker->wake();
}

void X11Pasteboard::writeText(const QString& text) {
    {
        QMutexLocker lock(&m_worker->mutex);
        m_worker->outgoing[Worker::kClipboard] = text;
    }
    m_worker->wake();
}

void X11Pasteboard::writePrimary(const QString& text) {
    {
        QMutexLocker lock(&m_worker->mutex);
        m_worker->outgoing[Worker::kPrimary] = text;
    }
    m_worker->wake();
}

bool X11Pasteboard::writing() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->writingNow || m_worker->outgoing[Worker::kClipboard] ||
           m_worker->outgoing[Worker::kPrimary];
}

qsizetype X11Pasteboard::lastReadBytes() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->lastBytes;
}

int X11Pasteboard::drainingTransfers() const {
    return m_worker->drainCount.load();
}
