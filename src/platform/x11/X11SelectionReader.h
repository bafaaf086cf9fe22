// Reads the CLIPBOARD selection of another program on the clipboard thread: learns of each new owner, takes
// its formats and text within the time and size limits of X11Pasteboard, reads a text whole on request,
// and takes every transfer it no longer wants to its end, as the owner expects.
#pragma once

#include "platform/Pasteboard.h"
#include "platform/x11/X11SelectionLink.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <xcb/xcb.h>

#include <atomic>
#include <optional>
#include <vector>

class X11SelectionReader {
public:
    using SteadyClock = X11SelectionLink::SteadyClock;

    // What one read of an owner found.
    struct Content {
        QStringList types;
        std::optional<QString> text;
        bool textCut = false;
        qsizetype bytes = 0; // how many bytes of text arrived before the limit or the time-out
    };

    explicit X11SelectionReader(X11SelectionLink& link)
        : m_link(link) {}
    X11SelectionReader(const X11SelectionReader&) = delete;
    X11SelectionReader& operator=(const X11SelectionReader&) = delete;

    // Takes the events that concern reading (owner changes, the parts and answers of transfers); whether
    // `e` was one of them.
    bool handle(const xcb_generic_event_t* e);

    // The content of the clipboard's owner when we start; nothing when it has none.
    std::optional<Content> readFirst();
    // Whether another program took the clipboard over since the last read.
    bool ownerChanged() const { return m_ownerChanged; }
    // The content of the newest owner.
    Content readChange();

    // Reads the plain text anew and whole, up to `maxBytes` bytes, in the best of the `offered` formats.
    Pasteboard::WholeText readWhole(qsizetype maxBytes, const QStringList& offered);

    // Gives up on drains whose owner has gone quiet; the earliest time another may go quiet.
    std::optional<SteadyClock::time_point> expireDrains();
    // How many unwanted transfers are still being received to their end; from any thread.
    int drainingTransfers() const { return m_drainCount.load(); }

private:
    // The requestor window of a transfer we no longer want, kept until the owner is done with it.
    struct Drain {
        xcb_window_t window = XCB_NONE;
        bool incremental = false; // the owner sends in parts and ends with an empty one
        SteadyClock::time_point lastActivity;
    };

    struct Transfer {
        bool answered = false; // the owner answered (perhaps with a refusal)
        bool refused = false;
        bool complete = false;  // the owner's whole answer arrived
        bool overLimit = false; // it was longer than the limit: data holds its start
        xcb_atom_t type = XCB_NONE;
        QByteArray data;
    };

    Content read();
    Transfer convert(xcb_atom_t target, qsizetype limit, SteadyClock::time_point answerBy,
                     SteadyClock::time_point cap);
    bool receive(xcb_window_t requestor, qsizetype limit, SteadyClock::time_point cap, Transfer& t);
    QStringList atomNames(const QByteArray& list);
    xcb_atom_t textTarget(const QStringList& offered);
    static QString decode(const Transfer& t);

    void startDrain(xcb_window_t requestor, bool incremental);
    Drain* findDrain(xcb_window_t requestor);
    void endDrain(xcb_window_t requestor);
    void drainPart(xcb_window_t requestor);
    void finishDrains(SteadyClock::time_point cap);

    X11SelectionLink& m_link;
    bool m_ownerChanged = false;
    xcb_window_t m_newOwner = XCB_NONE;
    xcb_timestamp_t m_changeTime = XCB_CURRENT_TIME;
    std::vector<Drain> m_draining;
    std::atomic<int> m_drainCount{0};
};
