// Keys that close a surface of the island (Escape, Return, the keypad's Enter) stop the keyboard the
// moment they are pressed, through passive grabs in synchronous mode on one window of ours: whatever
// is typed after them waits in the server until the surface has handed the focus on, then goes there.
// Without it, letters typed within milliseconds of the key reach the closing surface and are lost.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QTimer>

#include <xcb/xcb.h>

#include <vector>

class X11KeyHold final : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // `connection` is Qt's own: the grabs' presses must reach this process's native event filters.
    explicit X11KeyHold(xcb_connection_t* connection, QObject* parent = nullptr);
    ~X11KeyHold() override;

    // Grabs the keys on `window` (again, when the window or the keyboard changed). Whether they are held.
    bool holdOn(xcb_window_t window);
    // The keyboard runs again. Where the focus is still ours, the grab stays until the key goes up and
    // keys keep reaching our windows as they would; where it went to another program, the grab ends
    // first, so that the waiting keys go to that window, not to the grab's.
    void pass();
    bool holding() const { return m_frozen; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // Nobody asked within this time: the keyboard runs again anyway.
    static constexpr int kHoldLimitMs = 1500;

private:
    void ungrabAll();
    bool focusIsOurs() const;

    xcb_connection_t* m_connection;
    xcb_window_t m_window = XCB_NONE;
    std::vector<xcb_keycode_t> m_keys;
    bool m_frozen = false;
    QTimer m_limit;
};
