// Global hot keys on X11: passive key grabs on every root window, read through Qt's own xcb connection.
// The grabs freeze the keyboard when they fire (synchronous mode), so that what is typed right after a
// hot key waits in the server until the action has moved the focus, instead of going to the old window.
#pragma once

#include "platform/KeyGrabBackend.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QTimer>

#include <xcb/xcb.h>

#include <map>
#include <memory>
#include <set>
#include <vector>

struct _XCBKeySymbols;

class X11KeyGrabBackend final : public QObject, public KeyGrabBackend, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // On Qt's connection; nothing when the program does not run on X11.
    static std::unique_ptr<X11KeyGrabBackend> create(QObject* parent = nullptr);

    // `connection` must be the one whose events reach this process's native event filters.
    explicit X11KeyGrabBackend(xcb_connection_t* connection, QObject* parent = nullptr);
    ~X11KeyGrabBackend() override;

    bool grab(quint32 id, Qt::Key key, Qt::KeyboardModifiers modifiers) override;
    void ungrab(quint32 id) override;
    void setPressHandler(PressHandler handler) override { m_pressHandler = std::move(handler); }
    void releaseKeyboard() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The modifier bit that NumLock sets on this keyboard (0 when it has none).
    quint16 numLockMask() const { return m_numLockMask; }

private:
    struct Grab {
        Qt::Key key = Qt::Key_unknown; // kept to re-grab after a keyboard change
        Qt::KeyboardModifiers modifiers;
        xcb_keycode_t x11Key = 0; // 0 while the key is not on the keyboard
        quint16 x11Mods = 0;
    };

    void reportPress(quint32 id) const {
        if (m_pressHandler)
            m_pressHandler(id);
    }
    void readKeyboard();
    bool grabOnServer(Grab& grab);
    void ungrabOnServer(const Grab& grab, quint16 numLockMask);
    static std::vector<quint16> lockVariants(quint16 numLockMask);
    void scheduleRegrab();
    void regrabAll();
    void thaw();

    xcb_connection_t* m_connection;
    PressHandler m_pressHandler;
    std::vector<xcb_window_t> m_roots;
    _XCBKeySymbols* m_symbols = nullptr;
    quint16 m_numLockMask = 0;
    quint8 m_xkbFirstEvent = 0;
    std::map<quint32, Grab> m_grabs;
    // Autorepeat filter: keys pressed and not yet released, and the time of each key's last release
    // (the server's repeat sends a release and a press with one timestamp).
    std::set<xcb_keycode_t> m_down;
    std::map<xcb_keycode_t, xcb_timestamp_t> m_lastRelease;
    bool m_regrabPending = false;
    bool m_frozen = false;
    QTimer m_holdLimit;
};
