// The seam between the hot-key registry and the window system's global key grabs.
#pragma once

#include <Qt>
#include <QtGlobal>

#include <functional>

class KeyGrabBackend {
public:
    using PressHandler = std::function<void(quint32 id)>;

    KeyGrabBackend() = default;
    virtual ~KeyGrabBackend() = default;
    Q_DISABLE_COPY_MOVE(KeyGrabBackend)

    // Takes the combination system-wide for `id`: a Qt key (unshifted, as a US layout gives it) with
    // Shift, Control, Alt and Meta as needed, and Qt::KeypadModifier for the keypad's keys. False when
    // the window system refuses it (another client holds it, or the key is not on the keyboard);
    // nothing is then held for `id`.
    virtual bool grab(quint32 id, Qt::Key key, Qt::KeyboardModifiers modifiers) = 0;
    // Releases what `id` holds; nothing when it holds nothing.
    virtual void ungrab(quint32 id) = 0;

    // Called once per physical press of a held combination, from the backend's event handling. The
    // receiver must not run actions from inside this call.
    virtual void setPressHandler(PressHandler handler) = 0;

    // After a reported press the keys typed next are held back (queued, none lost) so that they reach
    // whatever the hot key's action gives the keyboard to rather than the window that had it before.
    // The receiver calls this once that is done; the backend lets go by itself after kHoldLimitMs, so
    // a receiver that never answers cannot leave the keyboard held. Nothing when nothing is held.
    virtual void releaseKeyboard() = 0;
    static constexpr int kHoldLimitMs = 1500;
};

// For sessions without global key grabs (not on X11): every combination is refused, so each hot key is
// simply absent.
class NoKeyGrabBackend final : public KeyGrabBackend {
public:
    bool grab(quint32, Qt::Key, Qt::KeyboardModifiers) override { return false; }
    void ungrab(quint32) override {}
    void setPressHandler(PressHandler) override {}
    void releaseKeyboard() override {}
};
