// X11 key grabs: four grabs per combination (with and without Lock and NumLock), exact modifier match on
// delivery, one report per physical press, and a re-grab whenever the keyboard mapping changes.
#include "platform/x11/X11KeyGrabBackend.h"

#include "platform/KeyCodes.h"
#include "platform/LogCategories.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeySequence>
#include <QTimer>

#include <xcb/xcb_keysyms.h>

#define XK_MISCELLANY
#include <X11/keysymdef.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr quint16 lockMask = XCB_MOD_MASK_LOCK;
constexpr quint8 xkbNewKeyboardNotify = 0;
constexpr quint8 xkbMapNotify = 1;

// The first keycode that carries `keysym`, or 0.
xcb_keycode_t keycodeFor(xcb_key_symbols_t* symbols, xcb_keysym_t keysym) {
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
    if (!codes)
        return 0;
    const xcb_keycode_t first = codes[0];
    std::free(codes);
    return first == XCB_NO_SYMBOL ? 0 : first;
}

// For the debug log: "Ctrl+Alt+J".
QString named(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    return QKeySequence(QKeyCombination(modifiers, key)).toString(QKeySequence::PortableText);
}

} // namespace

std::unique_ptr<X11KeyGrabBackend> X11KeyGrabBackend::create(QObject* parent) {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return nullptr;
    return std::make_unique<X11KeyGrabBackend>(x11->connection(), parent);
}

X11KeyGrabBackend::X11KeyGrabBackend(xcb_connection_t* connection, QObject* parent)
    : QObject(parent)
    , m_connection(connection) {
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(m_connection)); it.rem; xcb_screen_next(&it))
        m_roots.push_back(it.data->root);

    // Keyboard changes reach an XKB client as XKB events (Qt's connection selects them), not MappingNotify.
    static const char xkbName[] = "XKEYBOARD";
    auto cookie = xcb_query_extension(m_connection, std::strlen(xkbName), xkbName);
    if (auto* reply = xcb_query_extension_reply(m_connection, cookie, nullptr)) {
        if (reply->present)
            m_xkbFirstEvent = reply->first_event;
        std::free(reply);
    }

    readKeyboard();
    m_holdLimit.setSingleShot(true);
    m_holdLimit.setInterval(kHoldLimitMs);
    connect(&m_holdLimit, &QTimer::timeout, this, &X11KeyGrabBackend::releaseKeyboard);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11KeyGrabBackend::~X11KeyGrabBackend() {
    if (auto* app = QCoreApplication::instance())
        app->removeNativeEventFilter(this);
    for (const auto& [id, grab] : m_grabs)
        ungrabOnServer(grab, m_numLockMask);
    thaw();
    xcb_flush(m_connection);
    if (m_symbols)
        xcb_key_symbols_free(m_symbols);
}

void X11KeyGrabBackend::readKeyboard() {
    if (m_symbols)
        xcb_key_symbols_free(m_symbols);
    m_symbols = xcb_key_symbols_alloc(m_connection);

    m_numLockMask = 0;
    const xcb_keycode_t numLock = keycodeFor(m_symbols, XK_Num_Lock);
    auto cookie = xcb_get_modifier_mapping(m_connection);
    auto* reply = xcb_get_modifier_mapping_reply(m_connection, cookie, nullptr);
    if (!reply)
        return;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
    const int perModifier = reply->keycodes_per_modifier;
    for (int mod = 0; mod < 8 && numLock != 0; ++mod) {
        for (int k = 0; k < perModifier; ++k) {
            if (codes[mod * perModifier + k] == numLock)
                m_numLockMask = quint16(1u << mod);
        }
    }
    std::free(reply);
}

std::vector<quint16> X11KeyGrabBackend::lockVariants(quint16 numLockMask) {
    std::vector<quint16> variants{0, lockMask};
    if (numLockMask != 0 && numLockMask != lockMask) {
        variants.push_back(numLockMask);
        variants.push_back(quint16(lockMask | numLockMask));
    }
    return variants;
}

bool X11KeyGrabBackend::grabOnServer(Grab& grab) {
    const auto keysym = KeyCodes::x11Keysym(grab.key, grab.modifiers);
    grab.x11Key = keysym ? keycodeFor(m_symbols, *keysym) : 0;
    grab.x11Mods = KeyCodes::x11Modifiers(grab.modifiers);
    if (grab.x11Key == 0) {
        qCDebug(lcHotkeys, "%s not grabbed: no key for it on this keyboard",
                qUtf8Printable(named(grab.key, grab.modifiers)));
        return false;
    }

    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_window_t root : m_roots) {
        for (quint16 extra : lockVariants(m_numLockMask))
            cookies.push_back(xcb_grab_key_checked(m_connection, 0, root, grab.x11Mods | extra, grab.x11Key,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_SYNC));
    }
    bool refused = false;
    for (auto cookie : cookies) {
        // BadAccess: another client holds one of the variants.
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
            refused = true;
            std::free(error);
        }
    }
    if (refused) {
        // Releases only the variants this client did get.
        ungrabOnServer(grab, m_numLockMask);
        xcb_flush(m_connection);
        grab.x11Key = 0;
        qCDebug(lcHotkeys, "%s not grabbed: another program holds it",
                qUtf8Printable(named(grab.key, grab.modifiers)));
        return false;
    }
    qCDebug(lcHotkeys, "%s grabbed as key code %u", qUtf8Printable(named(grab.key, grab.modifiers)),
            unsigned(grab.x11Key));
    return true;
}

void X11KeyGrabBackend::ungrabOnServer(const Grab& grab, quint16 numLockMask) {
    if (grab.x11Key == 0)
        return;
    for (xcb_window_t root : m_roots) {
        for (quint16 extra : lockVariants(numLockMask))
            xcb_ungrab_key(m_connection, grab.x11Key, root, grab.x11Mods | extra);
    }
    m_down.erase(grab.x11Key);
}

bool X11KeyGrabBackend::grab(quint32 id, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    ungrab(id);
    Grab grab;
    grab.key = key;
    grab.modifiers = modifiers;
    if (!grabOnServer(grab))
        return false;
    m_grabs[id] = grab;
    return true;
}

void X11KeyGrabBackend::ungrab(quint32 id) {
    auto it = m_grabs.find(id);
    if (it == m_grabs.end())
        return;
    ungrabOnServer(it->second, m_numLockMask);
    m_grabs.erase(it);
    xcb_flush(m_connection);
}

void X11KeyGrabBackend::releaseKeyboard() {
    m_holdLimit.stop();
    if (!m_frozen)
        return;
    thaw();
    xcb_flush(m_connection);
}

void X11KeyGrabBackend::thaw() {
    // Ignored by the server when this client has not frozen the keyboard.
    xcb_allow_events(m_connection, XCB_ALLOW_ASYNC_KEYBOARD, XCB_CURRENT_TIME);
    m_frozen = false;
}

void X11KeyGrabBackend::scheduleRegrab() {
    // A keyboard change arrives as a burst of events; re-grab once, outside the event filter.
    if (m_regrabPending)
        return;
    m_regrabPending = true;
    QTimer::singleShot(0, this, [this] {
        m_regrabPending = false;
        regrabAll();
    });
}

void X11KeyGrabBackend::regrabAll() {
    // The new keyboard is read before any grab is touched, and a grab whose key and lock masks stay
    // the same is left standing: a press that arrived while every grab was briefly released would go
    // to the focused window instead. A new keyboard device (the first synthetic key press, say)
    // announces itself this way without changing anything.
    const quint16 oldNumLockMask = m_numLockMask;
    readKeyboard();
    const bool masksChanged = m_numLockMask != oldNumLockMask;
    std::vector<Grab*> changed;
    for (auto& [id, grab] : m_grabs) {
        const auto keysym = KeyCodes::x11Keysym(grab.key, grab.modifiers);
        const xcb_keycode_t key = keysym ? keycodeFor(m_symbols, *keysym) : 0;
        if (masksChanged || key == 0 || key != grab.x11Key)
            changed.push_back(&grab);
    }
    // All old grabs go before any new one is made: two hot keys may trade keys in one change.
    for (Grab* grab : changed)
        ungrabOnServer(*grab, oldNumLockMask);
    for (Grab* grab : changed)
        grabOnServer(*grab); // a key now absent or taken stays silent until the next change
    xcb_flush(m_connection);
}

bool X11KeyGrabBackend::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    const quint8 type = event->response_type & 0x7f;

    if (type == XCB_KEY_PRESS) {
        auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
        // Lock and NumLock are ignored; every other modifier must match exactly (the server also reports
        // presses with a partial modifier state while a grab is active).
        const quint16 state = key->state & 0xff & ~(lockMask | m_numLockMask);
        for (const auto& [id, grab] : m_grabs) {
            if (grab.x11Key == 0 || grab.x11Key != key->detail || grab.x11Mods != state)
                continue;
            auto released = m_lastRelease.find(key->detail);
            const bool repeat = m_down.count(key->detail) != 0 ||
                                (released != m_lastRelease.end() && released->second == key->time);
            m_down.insert(key->detail);
            if (repeat) {
                // Each repeat re-activates the grab and freezes the keyboard again; nobody waits on it.
                thaw();
                xcb_flush(m_connection);
                return true;
            }
            m_frozen = true;
            m_holdLimit.start();
            reportPress(id);
            return true;
        }
        // A grab may still have fired for this press (modifier bits we do not compare): never leave the
        // keyboard frozen for a press nobody acts on.
        for (const auto& [id, grab] : m_grabs) {
            if (grab.x11Key == key->detail && !m_frozen) {
                thaw();
                xcb_flush(m_connection);
                break;
            }
        }
        return false;
    }
    if (type == XCB_KEY_RELEASE) {
        auto* key = reinterpret_cast<xcb_key_release_event_t*>(event);
        m_down.erase(key->detail);
        m_lastRelease[key->detail] = key->time;
        return false;
    }
    if (type == XCB_MAPPING_NOTIFY) {
        auto* mapping = reinterpret_cast<xcb_mapping_notify_event_t*>(event);
        if (mapping->request == XCB_MAPPING_KEYBOARD || mapping->request == XCB_MAPPING_MODIFIER)
            scheduleRegrab();
        return false;
    }
    if (m_xkbFirstEvent != 0 && type == m_xkbFirstEvent) {
        // XKB events carry their own kind in the second byte.
        const quint8 xkbType = reinterpret_cast<const quint8*>(event)[1];
        if (xkbType == xkbNewKeyboardNotify || xkbType == xkbMapNotify)
            scheduleRegrab();
    }
    return false;
}
