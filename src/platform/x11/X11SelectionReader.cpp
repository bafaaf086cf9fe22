// Another program's clipboard content read on the clipboard thread; see X11SelectionReader.h. Each read
// converts the selection into a window of its own; a transfer given up on keeps its window until the owner
// has sent the last part.
#include "platform/x11/X11SelectionReader.h"

#include "platform/LogCategories.h"
#include "platform/x11/X11Pasteboard.h"

#include <xcb/xfixes.h>

#include <algorithm>
#include <chrono>
#include <cstring>

using X11Xcb::Event;
using X11Xcb::intern;
using X11Xcb::XPtr;

namespace {

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

bool X11SelectionReader::handle(const xcb_generic_event_t* e) {
    const uint8_t type = e->response_type & 0x7f;
    if (type == m_link.xfixesEvent + XCB_XFIXES_SELECTION_NOTIFY) {
        const auto* n = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(e);
        if (n->selection != m_link.clipboard || n->owner == m_link.window)
            return true; // our own write is no change of somebody else's
        m_ownerChanged = true;
        m_newOwner = n->owner;
        m_changeTime = n->selection_timestamp;
        qCDebug(lcClipboard, "clipboard owner is now window 0x%x", unsigned(n->owner));
    } else if (type == XCB_PROPERTY_NOTIFY) {
        const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
        if (p->atom == m_link.property && p->state == XCB_PROPERTY_NEW_VALUE)
            drainPart(p->window);
    } else if (type == XCB_SELECTION_NOTIFY) {
        const auto* n = reinterpret_cast<const xcb_selection_notify_event_t*>(e);
        if (n->property == XCB_NONE) {
            endDrain(n->requestor); // a late refusal: nothing will come
        } else if (const Drain* d = findDrain(n->requestor); d && !d->incremental) {
            drainPart(n->requestor); // a late answer whose property change went by unseen
        }
    } else {
        return false;
    }
    return true;
}

// Draining: an owner that has started sending expects its requestor to take every part, up to the
// empty one that ends the transfer. A window destroyed under it makes its next write fail, which
// kills owners that treat X errors as fatal (xclip among them) and with them the clipboard.
void X11SelectionReader::startDrain(xcb_window_t requestor, bool incremental) {
    constexpr std::size_t kMostDrains = 16;
    if (m_draining.size() >= kMostDrains) {
        xcb_destroy_window(m_link.c, m_draining.front().window); // idle the longest
        m_draining.erase(m_draining.begin());
    }
    m_draining.push_back({requestor, incremental, SteadyClock::now()});
    m_drainCount = int(m_draining.size());
}

X11SelectionReader::Drain* X11SelectionReader::findDrain(xcb_window_t requestor) {
    const auto it = std::find_if(m_draining.begin(), m_draining.end(),
                                 [&](const Drain& d) { return d.window == requestor; });
    return it == m_draining.end() ? nullptr : &*it;
}

void X11SelectionReader::endDrain(xcb_window_t requestor) {
    const auto it = std::find_if(m_draining.begin(), m_draining.end(),
                                 [&](const Drain& d) { return d.window == requestor; });
    if (it == m_draining.end())
        return;
    xcb_destroy_window(m_link.c, requestor);
    xcb_flush(m_link.c);
    m_draining.erase(it);
    m_drainCount = int(m_draining.size());
}

// The owner put a part on a drained window: drop it, and by that ask for the next.
void X11SelectionReader::drainPart(xcb_window_t requestor) {
    Drain* it = findDrain(requestor);
    if (!it)
        return;
    xcb_connection_t* c = m_link.c;
    it->lastActivity = SteadyClock::now();
    // Only the size is asked for: the surplus never crosses the connection.
    XPtr<xcb_get_property_reply_t> head(xcb_get_property_reply(
        c, xcb_get_property(c, 0, requestor, m_link.property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr));
    if (!head) {
        endDrain(requestor);
        return;
    }
    const bool startsParts = head->type == m_link.incr && !it->incremental;
    const bool ends = !it->incremental || (head->bytes_after == 0 && head->type != XCB_NONE);
    xcb_delete_property(c, requestor, m_link.property);
    if (startsParts) {
        it->incremental = true; // the deletion asked for the first part
    } else if (ends) {
        endDrain(requestor); // a whole late answer, or the empty part that ends the transfer
    }
    xcb_flush(c);
}

std::optional<X11SelectionReader::SteadyClock::time_point> X11SelectionReader::expireDrains() {
    const auto now = SteadyClock::now();
    const auto idle = std::chrono::milliseconds(X11Pasteboard::kDrainIdleMs);
    std::vector<xcb_window_t> quiet;
    std::optional<SteadyClock::time_point> next;
    for (const Drain& d : m_draining) {
        if (now - d.lastActivity >= idle)
            quiet.push_back(d.window);
        else if (!next || d.lastActivity + idle < *next)
            next = d.lastActivity + idle;
    }
    for (xcb_window_t w : quiet)
        endDrain(w);
    return next;
}

// One conversion of the selection to `target` into a window of its own, at most `limit` bytes:
// the first answer by `answerBy`, each later part within the read time-out of the one before,
// everything by `cap`. A transfer left unfinished is drained afterwards.
X11SelectionReader::Transfer X11SelectionReader::convert(xcb_atom_t target, qsizetype limit,
                                                         SteadyClock::time_point answerBy,
                                                         SteadyClock::time_point cap) {
    xcb_connection_t* c = m_link.c;
    Transfer t;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t requestor = xcb_generate_id(c);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, requestor, screen->root, -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    xcb_convert_selection(c, requestor, m_link.clipboard, target, m_link.property, m_changeTime);
    Event notified = m_link.waitFor(
        [&](const xcb_generic_event_t* e) {
            return (e->response_type & 0x7f) == XCB_SELECTION_NOTIFY &&
                   reinterpret_cast<const xcb_selection_notify_event_t*>(e)->requestor == requestor;
        },
        std::min(answerBy, cap));
    bool over = true;
    if (!notified) {
        // The owner may still answer: whatever it sends then is taken and dropped.
        if (!m_link.broken()) {
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
bool X11SelectionReader::receive(xcb_window_t requestor, qsizetype limit, SteadyClock::time_point cap,
                                 Transfer& t) {
    xcb_connection_t* c = m_link.c;
    const xcb_atom_t property = m_link.property;
    // One byte more than the limit tells a text of exactly the limit from a longer one.
    const qsizetype room = limit + 1;
    XPtr<xcb_get_property_reply_t> first(xcb_get_property_reply(
        c,
        xcb_get_property(c, 0, requestor, property, XCB_GET_PROPERTY_TYPE_ANY, 0, uint32_t((room + 3) / 4)),
        nullptr));
    if (!first)
        return true;
    if (first->type != m_link.incr) {
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
    const auto partTimeout = std::chrono::milliseconds(X11Pasteboard::kReadTimeoutMs);
    auto lastPart = SteadyClock::now();
    while (true) {
        Event part = m_link.waitFor(
            [&](const xcb_generic_event_t* e) {
                if ((e->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                    return false;
                const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(e);
                return p->window == requestor && p->atom == property && p->state == XCB_PROPERTY_NEW_VALUE;
            },
            std::min(lastPart + partTimeout, cap));
        if (!part)
            return m_link.broken(); // timed out: what is there is kept, the rest drained
        lastPart = SteadyClock::now();
        const uint32_t words = uint32_t((room - t.data.size() + 3) / 4);
        XPtr<xcb_get_property_reply_t> chunk(xcb_get_property_reply(
            c, xcb_get_property(c, 1, requestor, property, XCB_GET_PROPERTY_TYPE_ANY, 0, words), nullptr));
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

QStringList X11SelectionReader::atomNames(const QByteArray& list) {
    xcb_connection_t* c = m_link.c;
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
xcb_atom_t X11SelectionReader::textTarget(const QStringList& offered) {
    if (offered.isEmpty())
        return m_link.utf8; // an owner that lists nothing may still give text
    for (const char* name : {"UTF8_STRING", "text/plain;charset=utf-8", "STRING", "TEXT"}) {
        if (offered.contains(QLatin1String(name)))
            return std::strcmp(name, "STRING") == 0 ? xcb_atom_t(XCB_ATOM_STRING) : intern(m_link.c, name);
    }
    return XCB_NONE;
}

QString X11SelectionReader::decode(const Transfer& t) {
    if (t.type == XCB_ATOM_STRING)
        return QString::fromLatin1(t.data);
    QByteArray bytes = t.data;
    dropPartialUtf8(bytes);
    return QString::fromUtf8(bytes);
}

std::optional<X11SelectionReader::Content> X11SelectionReader::readFirst() {
    XPtr<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        m_link.c, xcb_get_selection_owner(m_link.c, m_link.clipboard), nullptr));
    if (!owner || owner->owner == XCB_NONE)
        return std::nullopt;
    m_newOwner = owner->owner;
    return read();
}

X11SelectionReader::Content X11SelectionReader::readChange() {
    return read();
}

// Reads the content of the newest owner: its formats, then its text.
X11SelectionReader::Content X11SelectionReader::read() {
    m_ownerChanged = false;
    Content content;
    if (m_newOwner != XCB_NONE) {
        const auto now = SteadyClock::now();
        const auto answerBy = now + std::chrono::milliseconds(X11Pasteboard::kReadTimeoutMs);
        const auto cap = now + std::chrono::milliseconds(X11Pasteboard::kReadCapMs);
        const Transfer list = convert(m_link.targets, 64 * 1024, answerBy, cap);
        if (list.answered && list.type == XCB_ATOM_ATOM)
            content.types = atomNames(list.data);
        const xcb_atom_t want = list.answered ? textTarget(content.types) : xcb_atom_t(XCB_NONE);
        if (want != XCB_NONE && !m_link.stop) {
            const Transfer t = convert(want, X11Pasteboard::kMaxTextBytes, answerBy, cap);
            content.bytes = t.data.size();
            if (t.answered && !t.refused) {
                content.text = decode(t);
                content.textCut = !t.complete;
            }
        }
    }
    qCDebug(lcClipboard, "window 0x%x offered %d types and %lld bytes of text%s", unsigned(m_newOwner),
            int(content.types.size()), qlonglong(content.bytes), content.textCut ? " (cut)" : "");
    return content;
}

Pasteboard::WholeText X11SelectionReader::readWhole(qsizetype maxBytes, const QStringList& offered) {
    Pasteboard::WholeText whole;
    XPtr<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        m_link.c, xcb_get_selection_owner(m_link.c, m_link.clipboard), nullptr));
    if (!owner || owner->owner == XCB_NONE)
        return whole;
    const xcb_atom_t want = textTarget(offered);
    if (want == XCB_NONE)
        return whole;
    const auto cap = SteadyClock::now() + std::chrono::milliseconds(X11Pasteboard::kWholeReadCapMs);
    finishDrains(cap);
    const Transfer t = convert(
        want, maxBytes,
        std::min(SteadyClock::now() + std::chrono::milliseconds(X11Pasteboard::kReadTimeoutMs), cap), cap);
    if (t.overLimit)
        whole.tooLarge = true;
    else if (t.complete)
        whole.text = decode(t);
    return whole;
}

// An owner may serve one transfer at a time (xclip does): while the rest of an earlier read still
// comes in, a new request would go unanswered past its time-out, so that transfer ends first. Drains
// that only wait for a late answer are not waited for.
void X11SelectionReader::finishDrains(SteadyClock::time_point cap) {
    const auto sending = [this] {
        return std::any_of(m_draining.begin(), m_draining.end(),
                           [](const Drain& d) { return d.incremental; });
    };
    while (sending() && !m_link.broken()) {
        m_link.dispatchPending();
        if (!sending() || SteadyClock::now() >= cap)
            return;
        const std::optional<SteadyClock::time_point> expiry = expireDrains();
        // The last sending drain may have just run out of time: the read goes ahead at once.
        if (!sending())
            return;
        if (!m_link.waitForInput(expiry ? std::min(*expiry, cap) : cap))
            return;
    }
}
