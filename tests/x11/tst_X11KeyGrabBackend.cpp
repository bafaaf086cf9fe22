// The X11 key-grab backend against a real X server, driven with xdotool.
#include "app/HotKeyManager.h"
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "platform/x11/X11KeyGrabBackend.h"
#include "platform/x11/X11TrustProbe.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb_keysyms.h>

#include <map>
#include <memory>

namespace {

constexpr Qt::KeyboardModifiers ctrlOpt = Qt::ControlModifier | Qt::AltModifier;
constexpr Qt::Key keyN = Qt::Key_N, keyM = Qt::Key_M, keyK = Qt::Key_K;

[[nodiscard]] bool xdotool(const QStringList& args) {
    return TestSupport::passes([&] { QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), args), 0); });
}

[[nodiscard]] bool shell(const QString& line) {
    return TestSupport::passes([&] {
        QCOMPARE(QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), line}), 0);
    });
}

xcb_connection_t* qtConnection() {
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

// Current modifier state of the core keyboard, as a key event would carry it.
quint16 modifierState() {
    xcb_connection_t* c = qtConnection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    auto* reply = xcb_query_pointer_reply(c, xcb_query_pointer(c, root), nullptr);
    const quint16 mask = reply ? reply->mask : 0;
    std::free(reply);
    return mask;
}

// Counts the presses the backend reports, per id.
struct Counter {
    std::map<quint32, int> presses;
    int of(quint32 id) const {
        auto it = presses.find(id);
        return it == presses.end() ? 0 : it->second;
    }
};

// Lets the server deliver what xdotool sent, so that "nothing arrived" means something.
void settle() {
    QTest::qWait(150); // proves, for its callers, that nothing more arrives
}

// A window that keeps the text typed into it.
class TypingTarget : public QWidget {
public:
    QString typed;

protected:
    void keyPressEvent(QKeyEvent* e) override { typed += e->text(); }
};

// Gives the X keyboard focus to `window` and waits until the server has done it.
void focusWindow(xcb_window_t window) {
    xcb_connection_t* c = qtConnection();
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

} // namespace

class tst_X11KeyGrabBackend : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void firesOncePerPress();
    void firesWithNumLockAndCapsLockOn();
    void heldKeyFiresOnce();
    void repeatedTapsWhileModifiersHeldEachFire();
    void modifiersMustMatchExactly();
    void ungrabStopsTheHotKey();
    void combinationHeldByAnotherClientIsAbsent();
    void grabsAndRefusalsAreLoggedWhenAsked();
    void keyboardMappingChangeRegrabs();
    void keysTypedAfterAPressWaitForTheNewFocus();
    void anUnansweredPressLetsTheKeyboardGo();
    void xtestIsPresent();

private:
    std::unique_ptr<X11KeyGrabBackend> m_backend;
    Counter m_counter;
};

void tst_X11KeyGrabBackend::init() {
    m_backend = X11KeyGrabBackend::create();
    QVERIFY(m_backend);
    m_counter = {};
    // As the hot-key registry does: act from the event loop, then let the held keys go.
    m_backend->setPressHandler([this](quint32 id) {
        ++m_counter.presses[id];
        QTimer::singleShot(0, m_backend.get(), [this] { m_backend->releaseKeyboard(); });
    });
}

void tst_X11KeyGrabBackend::cleanup() {
    m_backend.reset();
    settle();
}

void tst_X11KeyGrabBackend::firesOncePerPress() {
    QVERIFY(m_backend->grab(1, keyN, ctrlOpt));
    for (int i = 1; i <= 3; ++i) {
        QVERIFY(xdotool({"key", "ctrl+alt+n"}));
        QTRY_COMPARE(m_counter.of(1), i);
    }
    settle();
    QCOMPARE(m_counter.of(1), 3);
}

void tst_X11KeyGrabBackend::firesWithNumLockAndCapsLockOn() {
    QVERIFY(m_backend->numLockMask() != 0);
    QVERIFY(m_backend->grab(1, keyN, ctrlOpt));

    QVERIFY(xdotool({"key", "Num_Lock"}));
    auto numLockOff = qScopeGuard([] { QVERIFY(xdotool({"key", "Num_Lock"})); });
    QTRY_VERIFY(modifierState() & m_backend->numLockMask());
    QVERIFY(xdotool({"key", "ctrl+alt+n"}));
    QTRY_COMPARE(m_counter.of(1), 1);

    QVERIFY(xdotool({"key", "Caps_Lock"}));
    auto capsLockOff = qScopeGuard([] { QVERIFY(xdotool({"key", "Caps_Lock"})); });
    QTRY_VERIFY(modifierState() & XCB_MOD_MASK_LOCK);
    QVERIFY(xdotool({"key", "ctrl+alt+n"}));
    QTRY_COMPARE(m_counter.of(1), 2);
    settle();
    QCOMPARE(m_counter.of(1), 2);
}

void tst_X11KeyGrabBackend::heldKeyFiresOnce() {
    QVERIFY(m_backend->grab(1, keyN, ctrlOpt));
    // Longer than the server's repeat delay, so repeats do arrive (the sleep is the hold).
    QVERIFY(shell(QStringLiteral(
        "xdotool keydown ctrl+alt+n && sleep 1 && xdotool keyup n && xdotool keyup ctrl+alt")));
    QTRY_COMPARE(m_counter.of(1), 1);
    settle();
    QCOMPARE(m_counter.of(1), 1);

    // After the release the next press counts again.
    QVERIFY(xdotool({"key", "ctrl+alt+n"}));
    QTRY_COMPARE(m_counter.of(1), 2);
}

void tst_X11KeyGrabBackend::repeatedTapsWhileModifiersHeldEachFire() {
    QVERIFY(m_backend->grab(1, keyN, ctrlOpt));
    QVERIFY(shell(QStringLiteral("xdotool keydown ctrl+alt && xdotool key n && sleep 0.05 && xdotool key n "
                                 "&& xdotool keyup ctrl+alt")));
    QTRY_COMPARE(m_counter.of(1), 2);
    settle();
    QCOMPARE(m_counter.of(1), 2);
}

void tst_X11KeyGrabBackend::modifiersMustMatchExactly() {
    QVERIFY(m_backend->grab(1, keyN, ctrlOpt));
    QVERIFY(m_backend->grab(3, Qt::Key_V, Qt::ShiftModifier | Qt::MetaModifier)); // shift+super+v
    QVERIFY(xdotool({"key", "ctrl+alt+shift+n"}));
    QVERIFY(xdotool({"key", "ctrl+n"}));
    QVERIFY(xdotool({"key", "alt+n"}));
    QVERIFY(xdotool({"key", "n"}));
    QVERIFY(xdotool({"key", "shift+v"}));
    settle();
    QCOMPARE(m_counter.of(1), 0);
    QCOMPARE(m_counter.of(3), 0);

    QVERIFY(xdotool({"key", "shift+super+v"}));
    QTRY_COMPARE(m_counter.of(3), 1);
    QCOMPARE(m_counter.of(1), 0);
}

void tst_X11KeyGrabBackend::ungrabStopsTheHotKey() {
    QVERIFY(m_backend->grab(1, keyN, ctrlOpt));
    QVERIFY(m_backend->grab(2, keyK, ctrlOpt));
    m_backend->ungrab(1);
    QVERIFY(xdotool({"key", "ctrl+alt+n"}));
    QVERIFY(xdotool({"key", "ctrl+alt+k"}));
    QTRY_COMPARE(m_counter.of(2), 1);
    settle();
    QCOMPARE(m_counter.of(1), 0);
}

namespace {

// Another client grabs Ctrl+Alt+K; true once it says it holds it.
[[nodiscard]] bool holdControlAltK(QProcess& holder) {
    return TestSupport::passes([&] {
        holder.start(QStringLiteral(QUILLBAY_GRAB_HOLDER),
                     {QString::number(0x6b, 16), QString::number(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1, 16)});
        QVERIFY(holder.waitForReadyRead(5000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("ready"));
    });
}

} // namespace

void tst_X11KeyGrabBackend::combinationHeldByAnotherClientIsAbsent() {
    QProcess holder;
    QVERIFY(holdControlAltK(holder));
    auto stop = qScopeGuard([&] {
        holder.closeWriteChannel();
        holder.waitForFinished(5000);
    });

    HotKeyManager manager(*m_backend);
    int island = 0, palette = 0, picker = 0;
    HotKeyActions actions;
    actions.setExpanded = [&](bool) { ++island; };
    actions.setPaletteOpen = [&](bool) { ++palette; };
    actions.toggleClipboardPicker = [&] { ++picker; };
    manager.setActions(actions);
    manager.registerHotkey(45, 0xC0000);
    manager.registerPaletteHotkey();
    manager.registerClipboardHotkey(9, 0x120000);

    QVERIFY(manager.isRegistered(1));
    QVERIFY(!manager.isRegistered(2));
    QVERIFY(manager.hasCallback(2));
    QVERIFY(manager.isRegistered(3));

    QVERIFY(xdotool({"key", "ctrl+alt+k"}));
    QVERIFY(xdotool({"key", "ctrl+alt+n"}));
    QVERIFY(xdotool({"key", "shift+super+v"}));
    QTRY_COMPARE(island, 1);
    QTRY_COMPARE(picker, 1);
    settle();
    QCOMPARE(palette, 0);
}

// With the hot keys' debug lines on, each grab says whether it was made and why not; off, nothing.
void tst_X11KeyGrabBackend::grabsAndRefusalsAreLoggedWhenAsked() {
    QProcess holder;
    QVERIFY(holdControlAltK(holder));
    auto stop = qScopeGuard([&] {
        QLoggingCategory::setFilterRules(QString());
        holder.closeWriteChannel();
        holder.waitForFinished(5000);
    });

    TestSupport::LogCapture quiet;
    QVERIFY(!m_backend->grab(1, keyK, ctrlOpt));
    QVERIFY(m_backend->grab(2, keyN, ctrlOpt));
    quiet.end();
    QCOMPARE(quiet.lines(), QStringList());

    QLoggingCategory::setFilterRules(QStringLiteral("quillbay.hotkeys.debug=true"));
    TestSupport::LogCapture capture;
    QVERIFY(!m_backend->grab(1, keyK, ctrlOpt));
    QVERIFY(m_backend->grab(2, keyM, ctrlOpt));
    QVERIFY(!m_backend->grab(3, Qt::Key_F35, ctrlOpt));
    const QStringList lines = capture.lines();
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0],
             QStringLiteral("[Quillbay] hotkeys: Ctrl+Alt+K not grabbed: another program holds it"));
    QVERIFY2(lines[1].startsWith(QStringLiteral("[Quillbay] hotkeys: Ctrl+Alt+M grabbed as key code ")),
             qPrintable(lines[1]));
    QCOMPARE(lines[2],
             QStringLiteral("[Quillbay] hotkeys: Ctrl+Alt+F35 not grabbed: no key for it on this keyboard"));
}

void tst_X11KeyGrabBackend::keyboardMappingChangeRegrabs() {
    // Swap the keysyms of N and M from another client, as a layout switch would.
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    QVERIFY(!xcb_connection_has_error(c));
    auto disconnect = qScopeGuard([c] { xcb_disconnect(c); });
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
    auto firstCode = [symbols](xcb_keysym_t sym) {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, sym);
        const xcb_keycode_t code = codes ? codes[0] : 0;
        std::free(codes);
        return code;
    };
    const xcb_keycode_t codeN = firstCode(0x6e), codeM = firstCode(0x6d);
    xcb_key_symbols_free(symbols);
    QVERIFY(codeN && codeM);

    auto* mapping = xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, codeN, 1), nullptr);
    auto* mappingM = xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, codeM, 1), nullptr);
    QVERIFY(mapping && mappingM);
    const int per = mapping->keysyms_per_keycode;
    QVector<xcb_keysym_t> symsN(xcb_get_keyboard_mapping_keysyms(mapping),
                                xcb_get_keyboard_mapping_keysyms(mapping) + per);
    QVector<xcb_keysym_t> symsM(xcb_get_keyboard_mapping_keysyms(mappingM),
                                xcb_get_keyboard_mapping_keysyms(mappingM) + per);
    std::free(mapping);
    std::free(mappingM);
    auto setMapping = [&](xcb_keycode_t code, const QVector<xcb_keysym_t>& syms) {
        xcb_change_keyboard_mapping(c, 1, code, per, syms.constData());
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    };

    QVERIFY(m_backend->grab(1, keyN, ctrlOpt));
    QVERIFY(m_backend->grab(2, keyM, ctrlOpt));
    setMapping(codeN, symsM);
    setMapping(codeM, symsN);
    auto restore = qScopeGuard([&] {
        setMapping(codeN, symsN);
        setMapping(codeM, symsM);
    });

    // The key that now types "n" must toggle hot key 1 once the re-grab has happened.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const int before = m_counter.of(1);
            if (!xdotool({"key", "ctrl+alt+n"}))
                return false;  // the failure is recorded; the wait runs out
            QTest::qWait(100); // gives each attempt its answer before the next
            return m_counter.of(1) > before;
        }(),
        5000);
    const int island = m_counter.of(1), other = m_counter.of(2);
    QVERIFY(xdotool({"key", "ctrl+alt+m"}));
    QTRY_COMPARE(m_counter.of(2), other + 1);
    settle();
    QCOMPARE(m_counter.of(1), island);
}

// What is typed right after the combination, in the same burst, reaches the window the action gives
// the focus to, not the one that had it when the combination was pressed.
void tst_X11KeyGrabBackend::keysTypedAfterAPressWaitForTheNewFocus() {
    TypingTarget before, after;
    for (TypingTarget* w : {&before, &after}) {
        w->setGeometry(w == &before ? 50 : 400, 50, 300, 200);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
    focusWindow(xcb_window_t(before.winId()));
    m_backend->setPressHandler([&](quint32 id) {
        ++m_counter.presses[id];
        QTimer::singleShot(0, m_backend.get(), [&] {
            focusWindow(xcb_window_t(after.winId()));
            m_backend->releaseKeyboard();
        });
    });
    QVERIFY(m_backend->grab(1, keyN, ctrlOpt));

    QVERIFY(xdotool({"key", "--delay", "0", "ctrl+alt+n", "a", "b", "c"}));
    QTRY_COMPARE(after.typed, QStringLiteral("abc"));
    settle();
    QCOMPARE(before.typed, QString());
    QCOMPARE(m_counter.of(1), 1);
}

// A receiver that never answers leaves the keyboard held only for the limit; nothing typed is lost.
void tst_X11KeyGrabBackend::anUnansweredPressLetsTheKeyboardGo() {
    TypingTarget target;
    target.setGeometry(50, 50, 300, 200);
    target.show();
    QVERIFY(QTest::qWaitForWindowExposed(&target));
    focusWindow(xcb_window_t(target.winId()));
    m_backend->setPressHandler([this](quint32 id) { ++m_counter.presses[id]; });
    QVERIFY(m_backend->grab(1, keyN, ctrlOpt));

    QElapsedTimer clock;
    clock.start();
    QVERIFY(xdotool({"key", "--delay", "0", "ctrl+alt+n", "x"}));
    QTRY_COMPARE_WITH_TIMEOUT(target.typed, QStringLiteral("x"), KeyGrabBackend::kHoldLimitMs + 10000);
    // Held, not passed on at once: the key waited for the limit.
    QVERIFY2(clock.elapsed() >= KeyGrabBackend::kHoldLimitMs - 100,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(m_counter.of(1), 1);
}

void tst_X11KeyGrabBackend::xtestIsPresent() {
    QVERIFY(X11TrustProbe().isTrusted());
    QVERIFY(!X11TrustProbe(nullptr).isTrusted());
}

QTEST_MAIN(tst_X11KeyGrabBackend)
#include "tst_X11KeyGrabBackend.moc"
