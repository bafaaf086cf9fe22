// The pointer read straight from the X server, so a button held over another program's window
// is seen too.
#pragma once

#include "platform/PointerSource.h"

#include <QtGlobal>

#include <memory>

struct xcb_connection_t;
class QSocketNotifier;

class X11PointerSource final : public PointerSource {
public:
    X11PointerSource();
    ~X11PointerSource() override;

    PointerSample sample() override;
    bool reportsMotion() override;
    void forgetCached() override { m_stale = true; }
    void setMovedHandler(std::function<void()> handler) override { m_movedHandler = std::move(handler); }

    // Samples between two readings from the server while it reports no pointer activity.
    static constexpr int kQuietSamples = 15;

private:
    void notifyMoved() {
        if (m_movedHandler)
            m_movedHandler();
    }
    void connect();
    void readEvents();
    void announceLater();
    bool waitForReply(unsigned int sequence, void** reply, bool spin);

    std::function<void()> m_movedHandler;
    // A connection of its own: a reply on Qt's connection would also wake Qt's event-reader thread.
    xcb_connection_t* m_connection = nullptr;
    bool m_connectTried = false;
    // Raw pointer events arrive on the connection above; without them every sample asks the server.
    bool m_rawEvents = false;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_moved = false; // raw events since the last reading from the server
    bool m_stale = false; // the caller wants the server asked whatever the events said
    bool m_announcing = false;
    int m_quiet = 0;
    bool m_haveLast = false;
    QPoint m_lastNative;
    bool m_lastButton = false;
    quint32 m_root = 0; // looked up once: the tick must not allocate
};
