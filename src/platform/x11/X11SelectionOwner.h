// Holds the CLIPBOARD and PRIMARY selections for text (or files) this program writes, on the clipboard
// thread, and answers other programs' requests for them.
#pragma once

#include "platform/Pasteboard.h"
#include "platform/x11/X11SelectionLink.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <xcb/xcb.h>

#include <optional>

class X11SelectionOwner {
public:
    enum Selection { kClipboard = 0, kPrimary = 1 };

    explicit X11SelectionOwner(X11SelectionLink& link)
        : m_link(link) {}
    X11SelectionOwner(const X11SelectionOwner&) = delete;
    X11SelectionOwner& operator=(const X11SelectionOwner&) = delete;

    // Takes the events that concern what this program owns (requests for it, its loss); whether `e` was
    // one of them.
    bool handle(const xcb_generic_event_t* e);

    // A server time stamp, as taking over a selection wants one: the time of a property change.
    xcb_timestamp_t serverTime();
    // What one selection is given: a text, or files to paste as copies.
    struct Content {
        QString text;
        QStringList files; // absolute paths; when set, `text` is not offered
    };

    // Takes `which` over for `content` as of `time`; whether the server now names us its owner.
    bool take(Selection which, const Content& content, xcb_timestamp_t time);

    // What a whole read of the clipboard finds while we own it; nothing when another program does.
    std::optional<Pasteboard::WholeText> wholeText(qsizetype maxBytes) const;

private:
    // What this program owns in one selection, as served to other programs.
    struct Owned {
        bool owning = false;
        xcb_timestamp_t since = 0;
        QString text;
        QByteArray utf8;
        bool files = false;
        QByteArray uriList;     // text/uri-list: one file URL a line, CRLF-ended
        QByteArray copiedFiles; // x-special/gnome-copied-files: "copy", then one URL a line
    };

    xcb_atom_t selectionAtom(Selection which) const;
    int selectionIndex(xcb_atom_t selection) const;
    void answer(const xcb_selection_request_event_t* req);

    X11SelectionLink& m_link;
    Owned m_owned[2];
};
