// Hot-key registry: one table of registrations, one of actions, presses dispatched through the event loop.
#include "app/HotKeyManager.h"

#include "platform/KeyCodes.h"
#include "platform/KeyGrabBackend.h"
#include "services/SettingsService.h"

#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <vector>

HotKeyManager::HotKeyManager(KeyGrabBackend& backend, QObject* parent)
    : QObject(parent)
    , m_backend(backend) {
    m_readyPoll.setInterval(10);
    connect(&m_readyPoll, &QTimer::timeout, this, &HotKeyManager::pollKeyboardReady);
    QPointer<HotKeyManager> self(this);
    m_backend.setPressHandler([self](quint32 id) {
        // Never run an action inside the window system's event handling: post it to the event loop.
        if (self)
            QMetaObject::invokeMethod(
                self.data(),
                [self, id] {
                    if (!self)
                        return;
                    // A wait left from an earlier press belongs to that press's surface.
                    self->m_readyPoll.stop();
                    self->m_keyboardReady = {};
                    self->dispatch(id);
                    self->settleKeyboard();
                },
                Qt::QueuedConnection);
    });
}

HotKeyManager::~HotKeyManager() {
    m_backend.setPressHandler({});
    for (auto& [id, reg] : m_hotKeys) {
        if (reg.grabbed)
            m_backend.ungrab(id);
    }
}

bool HotKeyManager::registerHotKey(quint32 id, Qt::Key key, Qt::KeyboardModifiers modifiers,
                                   std::function<void()> action) {
    unregister(id);
    m_callbacks[id] = std::move(action);
    Registration reg;
    reg.key = key;
    reg.modifiers = modifiers;
    reg.order = m_nextOrder++;
    auto& stored = m_hotKeys[id] = reg;
    if (m_suspended)
        return false;
    const bool grabbed = tryGrab(id, stored);
    if (!grabbed)
        emit unavailable(id);
    return grabbed;
}

bool HotKeyManager::tryGrab(quint32 id, Registration& reg) {
    // A stored code that names no key.
    if (reg.key == Qt::Key_unknown)
        return false;
    // The window system lets one client grab a combination twice; the first id to hold it keeps it.
    for (const auto& [otherID, other] : m_hotKeys) {
        if (otherID != id && other.grabbed && other.key == reg.key && other.modifiers == reg.modifiers)
            return false;
    }
    reg.grabbed = m_backend.grab(id, reg.key, reg.modifiers);
    return reg.grabbed;
}

void HotKeyManager::unregister(quint32 id) {
    auto it = m_hotKeys.find(id);
    if (it != m_hotKeys.end()) {
        if (it->second.grabbed)
            m_backend.ungrab(id);
        m_hotKeys.erase(it);
    }
    m_callbacks.erase(id);
}

bool HotKeyManager::isRegistered(quint32 id) const {
    auto it = m_hotKeys.find(id);
    return it != m_hotKeys.end() && it->second.grabbed;
}

void HotKeyManager::setSuspended(bool suspended) {
    if (suspended == m_suspended)
        return;
    m_suspended = suspended;
    if (suspended) {
        for (auto& [id, reg] : m_hotKeys) {
            if (reg.grabbed)
                m_backend.ungrab(id);
            reg.grabbed = false;
        }
        return;
    }
    std::vector<std::pair<quint64, quint32>> byOrder;
    for (const auto& [id, reg] : m_hotKeys)
        byOrder.emplace_back(reg.order, id);
    std::sort(byOrder.begin(), byOrder.end());
    for (const auto& [order, id] : byOrder) {
        if (!tryGrab(id, m_hotKeys[id]))
            emit unavailable(id);
    }
}

void HotKeyManager::dispatch(quint32 id) {
    // A press that was in flight when its hot key was removed or suspended is dropped.
    if (!isRegistered(id))
        return;
    auto it = m_callbacks.find(id);
    if (it == m_callbacks.end() || !it->second)
        return;
    auto action = it->second; // the action may re-register its own id
    action();
    emit fired(id);
}

void HotKeyManager::holdKeyboardUntil(std::function<bool()> ready) {
    m_keyboardReady = std::move(ready);
}

void HotKeyManager::settleKeyboard() {
    if (!m_keyboardReady) {
        m_backend.releaseKeyboard();
        return;
    }
    m_readySince.start();
    m_readyPoll.start();
    pollKeyboardReady();
}

void HotKeyManager::pollKeyboardReady() {
    if (m_keyboardReady && !m_keyboardReady() && !m_readySince.hasExpired(kReadyWaitMs))
        return;
    m_readyPoll.stop();
    m_keyboardReady = {};
    m_backend.releaseKeyboard();
}

void HotKeyManager::registerFromSettings(quint32 id, qint64 keyCode, quint64 flags,
                                         void (HotKeyManager::*action)()) {
    if (keyCode < 0) {
        unregister(id);
        return;
    }
    // The stored codes end here: the registry and the grabs speak Qt keys.
    const auto combination = KeyCodes::toQt(keyCode, flags);
    const Qt::Key key = combination ? combination->key() : Qt::Key_unknown;
    const Qt::KeyboardModifiers modifiers = combination ? combination->keyboardModifiers() : Qt::NoModifier;
    QPointer<HotKeyManager> self(this);
    registerHotKey(id, key, modifiers, [self, action] {
        if (self)
            (self.data()->*action)();
    });
}

void HotKeyManager::registerHotkey(qint64 keyCode, quint64 flags) {
    registerFromSettings(islandID, keyCode, flags, &HotKeyManager::toggleIsland);
}

void HotKeyManager::registerClipboardHotkey(qint64 keyCode, quint64 flags) {
    registerFromSettings(clipboardPickerID, keyCode, flags, &HotKeyManager::toggleClipboardPicker);
}

void HotKeyManager::registerPaletteHotkey() {
    QPointer<HotKeyManager> self(this);
    registerHotKey(paletteID, paletteKey, paletteModifiers, [self] {
        if (self)
            self->togglePalette();
    });
}

void HotKeyManager::bindSettings(SettingsService& settings) {
    SettingsService* s = &settings;
    auto island = [this, s] { registerHotkey(s->hotkeyKeyCode(), s->hotkeyModifiers()); };
    auto picker = [this, s] {
        registerClipboardHotkey(s->clipboardHotkeyKeyCode(), s->clipboardHotkeyModifiers());
    };
    setSuspended(s->recording());
    island();
    registerPaletteHotkey();
    picker();
    connect(s, &SettingsService::hotkeyKeyCodeChanged, this, island);
    connect(s, &SettingsService::hotkeyModifiersChanged, this, island);
    connect(s, &SettingsService::clipboardHotkeyKeyCodeChanged, this, picker);
    connect(s, &SettingsService::clipboardHotkeyModifiersChanged, this, picker);
    connect(s, &SettingsService::recordingChanged, this, [this, s] { setSuspended(s->recording()); });
}

void HotKeyManager::toggleIsland() {
    const bool expanded = m_actions.isExpanded && m_actions.isExpanded();
    if (m_actions.setOpenedByHotkey)
        m_actions.setOpenedByHotkey(!expanded);
    if (m_actions.setExpanded)
        m_actions.setExpanded(!expanded);
}

void HotKeyManager::togglePalette() {
    const bool open = m_actions.paletteOpen && m_actions.paletteOpen();
    if (!open) {
        if (m_actions.setOpenedByHotkey)
            m_actions.setOpenedByHotkey(true);
        if (m_actions.setPaletteOpen)
            m_actions.setPaletteOpen(true);
        if (m_actions.setExpanded)
            m_actions.setExpanded(true);
    } else {
        if (m_actions.setPaletteOpen)
            m_actions.setPaletteOpen(false);
        if (m_actions.setOpenedByHotkey)
            m_actions.setOpenedByHotkey(false);
        if (m_actions.setExpanded)
            m_actions.setExpanded(false);
    }
}

void HotKeyManager::toggleClipboardPicker() {
    if (m_actions.toggleClipboardPicker)
        m_actions.toggleClipboardPicker();
}
