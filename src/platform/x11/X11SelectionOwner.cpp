// Our own text on the X selections, served to other programs; see X11SelectionOwner.h.
#include "platform/x11/X11SelectionOwner.h"

#include <QUrl>

#include <iterator>

using X11Xcb::Event;
using X11Xcb::XPtr;

xcb_atom_t X11SelectionOwner::selectionAtom(Selection which) const {
    return which == kClipboard ? m_link.clipboard : xcb_atom_t(XCB_ATOM_PRIMARY);
}

int X11SelectionOwner::selectionIndex(xcb_atom_t selection) const {
    return selection == m_link.clipboard ? kClipboard : selection == XCB_ATOM_PRIMARY ? kPrimary : -1;
}

bool X11SelectionOwner::handle(const xcb_generic_event_t* e) {
    const uint8_t type = e->response_type & 0x7f;
    if (type == XCB_SELECTION_REQUEST) {
        answer(reinterpret_cast<const xcb_selection_request_event_t*>(e));
        return true;
    }
    if (type == XCB_SELECTION_CLEAR) {
        const auto* clear = reinterpret_cast<const xcb_selection_clear_event_t*>(e);
        const int which = selectionIndex(clear->selection);
        if (clear->owner == m_link.window && which >= 0)
            m_owned[which] = Owned();
        return true;
    }
    return false;
}

// Another program asks for a text we own.
void X11SelectionOwner::answer(const xcb_selection_request_event_t* req) {
    xcb_connection_t* c = m_link.c;
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
    const Owned* mine = which >= 0 ? &m_owned[which] : nullptr;
    const bool ours = mine && mine->owning && req->owner == m_link.window &&
                      (req->time == XCB_CURRENT_TIME || req->time >= mine->since);
    // Sets the property to `data` of type `type` when it fits in one request.
    const auto serve = [&](xcb_atom_t type, const QByteArray& data) {
        if (data.size() > room)
            return;
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, prop, type, 8, uint32_t(data.size()),
                            data.constData());
        reply.property = prop;
    };
    // The formats offered, and since when the selection is held: answered alike for files and text.
    const auto serveTargets = [&](const auto& list) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, prop, XCB_ATOM_ATOM, 32,
                            uint32_t(std::size(list)), list);
        reply.property = prop;
    };
    const auto serveSince = [&] {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, prop, XCB_ATOM_INTEGER, 32, 1,
                            &mine->since);
        reply.property = prop;
    };
    if (ours && mine->files) {
        if (req->target == m_link.targets) {
            const xcb_atom_t list[] = {m_link.targets, m_link.timestamp, m_link.uriList, m_link.copiedFiles};
            serveTargets(list);
        } else if (req->target == m_link.timestamp) {
            serveSince();
        } else if (req->target == m_link.uriList) {
            serve(m_link.uriList, mine->uriList);
        } else if (req->target == m_link.copiedFiles) {
            serve(m_link.copiedFiles, mine->copiedFiles);
        }
    } else if (ours) {
        if (req->target == m_link.targets) {
            const xcb_atom_t list[] = {m_link.targets,       m_link.timestamp, m_link.utf8,
                                       m_link.textPlainUtf8, m_link.textAtom,  XCB_ATOM_STRING};
            serveTargets(list);
        } else if (req->target == m_link.timestamp) {
            serveSince();
        } else if (req->target == m_link.utf8 || req->target == m_link.textPlainUtf8 ||
                   req->target == m_link.textAtom) {
            if (mine->utf8.size() <= room) {
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, req->requestor, prop,
                                    req->target == m_link.textAtom ? m_link.utf8 : req->target, 8,
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

xcb_timestamp_t X11SelectionOwner::serverTime() {
    xcb_change_property(m_link.c, XCB_PROP_MODE_APPEND, m_link.window, m_link.stamp, XCB_ATOM_STRING, 8, 0,
                        nullptr);
    Event e = m_link.waitFor(
        [&](const xcb_generic_event_t* ev) {
            if ((ev->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                return false;
            const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(ev);
            return p->window == m_link.window && p->atom == m_link.stamp;
        },
        X11SelectionLink::SteadyClock::now() + std::chrono::seconds(1));
    return e ? reinterpret_cast<const xcb_property_notify_event_t*>(e.get())->time : XCB_CURRENT_TIME;
}

bool X11SelectionOwner::take(Selection which, const Content& content, xcb_timestamp_t time) {
    xcb_connection_t* c = m_link.c;
    const xcb_atom_t selection = selectionAtom(which);
    xcb_set_selection_owner(c, m_link.window, selection, time);
    XPtr<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    if (!owner || owner->owner != m_link.window)
        return false;
    Owned owned{true, time, {}, {}, false, {}, {}};
    if (content.files.isEmpty()) {
        owned.text = content.text;
        owned.utf8 = content.text.toUtf8();
    } else {
        owned.files = true;
        owned.copiedFiles = "copy";
        for (const QString& path : content.files) {
            const QByteArray url = QUrl::fromLocalFile(path).toEncoded();
            owned.uriList += url + "\r\n";
            owned.copiedFiles += '\n' + url;
        }
    }
    m_owned[which] = std::move(owned);
    return true;
}

std::optional<Pasteboard::WholeText> X11SelectionOwner::wholeText(qsizetype maxBytes) const {
    const Owned& mine = m_owned[kClipboard];
    if (!mine.owning)
        return std::nullopt;
    Pasteboard::WholeText whole;
    if (mine.files)
        return whole; // files have no text
    if (mine.utf8.size() > maxBytes)
        whole.tooLarge = true;
    else
        whole.text = mine.text;
    return whole;
}
