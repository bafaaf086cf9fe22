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

    // Samples between two readings from the server while it reports no pointer activity.
    static constexpr int kQuietSamples = 15;

private:
    void connect();
    bool pointerActive();

    // A connection of its own: a reply on Qt's connection would also wake Qt's event-reader thread,
    // 30 times a second for the life of the program.
    xcb_connection_t* m_connection = nullptr;
    bool m_connectTried = false;
    // Raw pointer events arrive on the connection above; without them every sample asks the server.
    bool m_rawEvents = false;
    int m_quiet = 0;
    bool m_haveLast = false;
    QPoint m_lastNative;
    bool m_lastButton = false;
    quint32 m_root = 0; // looked up once: the tick must not allocate
};
