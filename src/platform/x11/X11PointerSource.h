// The pointer read straight from the X server, so a button held over another program's window
// is seen too.
#pragma once

#include "platform/PointerSource.h"

#include <QtGlobal>

struct xcb_connection_t;

class X11PointerSource final : public PointerSource {
public:
    X11PointerSource() = default;
    ~X11PointerSource() override;
    X11PointerSource(const X11PointerSource&) = delete;
    X11PointerSource& operator=(const X11PointerSource&) = delete;

    PointerSample sample() override;

private:
    void connect();

    // A connection of its own: a reply on Qt's connection would also wake Qt's event-reader thread,
    // 30 times a second for the life of the program.
    xcb_connection_t* m_connection = nullptr;
    bool m_connectTried = false;
    quint32 m_root = 0; // looked up once: the tick must not allocate
};
