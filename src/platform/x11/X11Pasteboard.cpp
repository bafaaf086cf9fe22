// The CLIPBOARD selection on a thread of its own; see X11Pasteboard.h. The thread learns of new owners
// from XFixes, reads each new content at once (formats, then text) within a time and size limit, and
// publishes it under a lock; it also owns the selection for text written by the program and answers the
// requests of other programs for it.
#include "platform/x11/X11Pasteboard.h"

#include "platform/x11/X11Desktop.h"

#include <QMutexLocker>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
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
    xcb_connection_t* c = nullptr;
    int wakeFd = -1;
    xcb_window_t window = XCB_NONE; // listens for owner changes, owns our own content
    uint8_t xfixesEvent = 0;
    xcb_atom_t clipboard = 0, targets = 0, utf8 = 0, textPlainUtf8 = 0, textAtom = 0, incr = 0, timestamp = 0,
               property = 0, stamp = 0;

    // Shared with the main thread.
    mutable QMutex mutex;
    std::atomic<quint64> count{0};
    QStringList types;
    std::optional<QString> text;
    qsizetype lastBytes = 0;
    QString outgoing;
    bool writePending = false;
    std::atomic<bool> stop{false};

    // The thread's own.
    bool ownerChanged = false;
    xcb_window_t newOwner = XCB_NONE;
    xcb_timestamp_t changeTime = XCB_CURRENT_TIME;
    bool owning = false;
    QByteArray ownedUtf8;
    QString ownedText;
    xcb_timestamp_t ownedSince = 0;

    ~Worker() {
        if (c)
            xcb_disconnect(c);
        if (wakeFd >= 0)
            ::close(wakeFd);
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

    // Waits for input on the connection or a wake-up; false once the deadline has passed or the
    // thread must stop.
    bool waitForInput(std::optional<SteadyClock::time_point> deadline) {
        xcb_flush(c);
        pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {wakeFd, POLLIN, 0}};
        int timeout = -1;
        if (deadline) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - SteadyClock::now()).count();
            if (left <= 0)
                return false;
            timeout = int(left);
        }
        const int n = ::poll(fds, 2, timeout);
        if (fds[1].revents & POLLIN) {
            uint64_t value;
            [[maybe_unused]] const ssize_t r = ::read(wakeFd, &value, sizeof value);
        }
        if (stop || xcb_connection_has_error(c))
            return false;
        return n > 0 || !deadline;
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
            if (!waitForInput(deadline))
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
            if (clear->owner == window && clear->selection == clipboard) {
                owning = false;
                ownedUtf8.clear();
                ownedText.clear();
            }
        }
    }

    // Another program asks for the text we own.
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
        const bool ours = owning && req->selection == clipboard && req->owner == window &&
                          (req->time == XCB_CURRENT_TIME || req->time >= ownedSince);
        if (ours) {
            if (req->target == targets) {
                const xcb_atom_t list[] = {targets,       timestamp, utf8,
                                           textPlainUtf8, textAtom,  XCB_ATOM_STRING};
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, prop, XCB_ATOM_ATOM, 32,
                                    uint32_t(std::size(list)), list);
                reply.property = prop;
            } else if (req->target == timestamp) {
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, prop, XCB_ATOM_INTEGER, 32, 1,
                                    &ownedSince);
                reply.property = prop;
            } else if (req->target == utf8 || req->target == textPlainUtf8 || req->target == textAtom) {
                if (ownedUtf8.size() <= room) {
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, prop,
                                        req->target == textAtom ? utf8 : req->target, 8,
                                        uint32_t(ownedUtf8.size()), ownedUtf8.constData());
                    reply.property = prop;
                }
            } else if (req->target == XCB_ATOM_STRING) {
                const QByteArray latin1 = ownedText.toLatin1();
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

    struct Transfer {
        bool answered = false; // the owner answered (perhaps with a refusal)
        bool refused = false;
        xcb_atom_t type = XCB_NONE;
        QByteArray data;
    };

    // One conversion of the selection to `target` into a window of its own, at most `limit` bytes.
    Transfer convert(xcb_atom_t target, qsizetype limit, SteadyClock::time_point deadline) {
        Transfer t;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        // A fresh window per transfer: what a slow owner still sends after we gave up lands nowhere.
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
            deadline);
        if (notified) {
            t.answered = true;
            const auto* n = reinterpret_cast<const xcb_selection_notify_event_t*>(notified.get());
            if (n->property == XCB_NONE)
                t.refused = true;
            else
                receive(requestor, limit, deadline, t);
        }
        xcb_destroy_window(c, requestor);
        xcb_flush(c);
        return t;
    }

    void receive(xcb_window_t requestor, qsizetype limit, SteadyClock::time_point deadline, Transfer& t) {
        const uint32_t words = uint32_t((limit + 3) / 4);
        XPtr<xcb_get_property_reply_t> first(xcb_get_property_reply(
            c, xcb_get_property(c, 0, requestor, property, XCB_GET_PROPERTY_TYPE_ANY, 0, words), nullptr));
        if (!first)
            return;
        if (first->type != incr) {
            t.type = first->type;
            const int length = xcb_get_property_value_length(first.get());
            t.data = QByteArray(static_cast<const char*>(xcb_get_property_value(first.get())),
                                std::min<qsizetype>(length, limit));
            return;
        }
        // Incremental transfer: every deletion of the property asks the owner for the next part; a
        // part of length 0 ends it. Past the limit we stop asking, so the rest is never sent.
        first.reset();
        xcb_delete_property(c, requestor, property);
        while (t.data.size() < limit) {
            Event part = waitFor(
                [&](const xcb_generic_event_t* e) {
                    if ((e->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                        return false;
                    const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
                    return p->window == requestor && p->atom == property &&
                           p->state == XCB_PROPERTY_NEW_VALUE;
                },
                deadline);
            if (!part)
                return;
            const uint32_t left = uint32_t((limit - t.data.size() + 3) / 4);
            XPtr<xcb_get_property_reply_t> chunk(xcb_get_property_reply(
                c, xcb_get_property(c, 1, requestor, property, XCB_GET_PROPERTY_TYPE_ANY, 0, left), nullptr));
            if (!chunk)
                return;
            const int length = xcb_get_property_value_length(chunk.get());
            if (length == 0)
                return;
            t.type = chunk->type;
            t.data.append(static_cast<const char*>(xcb_get_property_value(chunk.get())),
                          std::min<qsizetype>(length, limit - t.data.size()));
            if (chunk->bytes_after > 0)
                xcb_delete_property(c, requestor, property); // a part longer than we took: ask no more
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

    // Reads the content of a new owner and publishes it: as the next change, or, for what was there
    // before we started, as the content of the first count.
    void readContent(bool isChange = true) {
        ownerChanged = false;
        QStringList readTypes;
        std::optional<QString> readText;
        qsizetype bytes = 0;
        if (newOwner != XCB_NONE) {
            const auto deadline = SteadyClock::now() + std::chrono::milliseconds(kReadTimeoutMs);
            const Transfer list = convert(targets, 64 * 1024, deadline);
            if (list.answered && list.type == XCB_ATOM_ATOM)
                readTypes = atomNames(list.data);
            xcb_atom_t want = XCB_NONE;
            if (list.answered && !readTypes.isEmpty()) {
                for (const char* name : {"UTF8_STRING", "text/plain;charset=utf-8", "STRING", "TEXT"}) {
                    if (readTypes.contains(QLatin1String(name))) {
                        want = strcmp(name, "STRING") == 0 ? xcb_atom_t(XCB_ATOM_STRING) : intern(c, name);
                        break;
                    }
                }
            } else if (list.answered) {
                want = utf8; // an owner that lists nothing may still give text
            }
            if (want != XCB_NONE && !stop) {
                Transfer t = convert(want, kMaxTextBytes, deadline);
                bytes = t.data.size();
                if (t.answered && !t.refused) {
                    if (t.type == XCB_ATOM_STRING) {
                        readText = QString::fromLatin1(t.data);
                    } else {
                        dropPartialUtf8(t.data);
                        readText = QString::fromUtf8(t.data);
                    }
                }
            }
        }
        QMutexLocker lock(&mutex);
        types = readTypes;
        text = readText;
        lastBytes = bytes;
        if (isChange)
            count.fetch_add(1);
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
        QString value;
        {
            QMutexLocker lock(&mutex);
            value = outgoing;
            outgoing.clear();
            writePending = false;
        }
        const xcb_timestamp_t time = serverTime();
        xcb_set_selection_owner(c, window, clipboard, time);
        XPtr<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr));
        if (!owner || owner->owner != window)
            return;
        owning = true;
        ownedSince = time;
        ownedText = value;
        ownedUtf8 = value.toUtf8();
        QMutexLocker lock(&mutex);
        types = QStringList{QStringLiteral("UTF8_STRING"), QStringLiteral("text/plain;charset=utf-8"),
                            QStringLiteral("STRING")};
        text = value;
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
            {
                QMutexLocker lock(&mutex);
                writeNow = writePending;
            }
            if (writeNow) {
                write();
                continue;
            }
            if (ownerChanged) {
                readContent();
                continue;
            }
            if (!waitForInput(std::nullopt))
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

void X11Pasteboard::writeText(const QString& text) {
    {
        QMutexLocker lock(&m_worker->mutex);
        m_worker->outgoing = text;
        m_worker->writePending = true;
    }
    m_worker->wake();
}

qsizetype X11Pasteboard::lastReadBytes() const {
    QMutexLocker lock(&m_worker->mutex);
    return m_worker->lastBytes;
}
