// The registry of the program's global hot keys (island, command palette, quick-paste picker) and the
// actions they run. Platform-free: the key grabs themselves are a KeyGrabBackend.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <map>

class KeyGrabBackend;
class SettingsService;

// What the hot-key actions read and drive; the application delegate supplies it. A missing function
// reads as false / does nothing, so actions are harmless once their owner is gone.
struct HotKeyActions {
    std::function<bool()> isExpanded;
    std::function<void(bool)> setExpanded;
    std::function<bool()> paletteOpen;
    std::function<void(bool)> setPaletteOpen;
    std::function<void(bool)> setOpenedByHotkey;
    std::function<void()> toggleClipboardPicker;
};

class HotKeyManager : public QObject {
    Q_OBJECT
public:
    enum : quint32 { islandID = 1, paletteID = 2, clipboardPickerID = 3 };
    static constexpr Qt::Key paletteKey = Qt::Key_K;
    static constexpr Qt::KeyboardModifiers paletteModifiers = Qt::ControlModifier | Qt::AltModifier;

    explicit HotKeyManager(KeyGrabBackend& backend, QObject* parent = nullptr);
    ~HotKeyManager() override;

    // Replaces any registration of `id`, keeps `action` for it and grabs the combination (see
    // KeyGrabBackend::grab). False when the key is Qt::Key_unknown, another id already holds the
    // combination, or the window system refused it: the hot key is then absent and its action kept (it
    // never fires).
    bool registerHotKey(quint32 id, Qt::Key key, Qt::KeyboardModifiers modifiers,
                        std::function<void()> action);
    // Removes the registration and the action of `id`, if any.
    void unregister(quint32 id);

    bool isRegistered(quint32 id) const;
    bool hasCallback(quint32 id) const { return m_callbacks.count(id) != 0; }

    // While suspended nothing is grabbed (a hot-key recording needs to see the keys); registrations made
    // meanwhile take effect on resume, in their original order.
    void setSuspended(bool suspended);

    void setActions(HotKeyActions actions) { m_actions = std::move(actions); }

    // Hot keys 1 and 3 from stored settings (key code and modifier flags as stored, see KeyCodes): a
    // negative key code switches the hot key off; a code that names no key leaves it absent.
    void registerHotkey(qint64 keyCode, quint64 flags);
    void registerClipboardHotkey(qint64 keyCode, quint64 flags);
    // Hot key 2, fixed.
    void registerPaletteHotkey();

    // Registers hot keys 1, 2 and 3 from `settings`, then follows them: a change of a key code or its
    // modifiers re-registers that hot key at once, and the grabs are suspended while a recording runs.
    void bindSettings(SettingsService& settings);

    // For an action that opens a surface which gets the keyboard only later (a window the window manager
    // activates): the keys typed after the hot key stay held back until `ready` is true, at most
    // kReadyWaitMs, and then reach that surface. Only from inside an action.
    void holdKeyboardUntil(std::function<bool()> ready);
    static constexpr int kReadyWaitMs = 1000;

    // The actions of the three ids.
    void toggleIsland();
    void togglePalette();
    void toggleClipboardPicker();

signals:
    // A press of a registered hot key was dispatched (after its action ran).
    void fired(quint32 id);
    // The combination of `id` could not be taken (another id or another program holds it); the hot
    // key stays absent until it is registered again.
    void unavailable(quint32 id);

private:
    struct Registration {
        Qt::Key key = Qt::Key_unknown;
        Qt::KeyboardModifiers modifiers;
        quint64 order = 0; // registration order, so that resuming settles duplicates the same way
        bool grabbed = false;
    };

    bool tryGrab(quint32 id, Registration& reg);
    void dispatch(quint32 id);
    // Lets the held keys go once the action's surface has the keyboard.
    void settleKeyboard();
    void pollKeyboardReady();
    void registerFromSettings(quint32 id, qint64 keyCode, quint64 flags, void (HotKeyManager::*action)());

    KeyGrabBackend& m_backend;
    std::map<quint32, Registration> m_hotKeys;
    std::map<quint32, std::function<void()>> m_callbacks;
    HotKeyActions m_actions;
    quint64 m_nextOrder = 0;
    bool m_suspended = false;
    std::function<bool()> m_keyboardReady;
    QTimer m_readyPoll;
    QElapsedTimer m_readySince;
};
