// The hot-key registry over a fake backend, and the actions of the three hot keys.
#include "app/HotKeyManager.h"
#include "fakes/FakeKeyGrabBackend.h"

#include <QSignalSpy>
#include <QTest>

namespace {

constexpr Qt::KeyboardModifiers ctrlOpt = Qt::ControlModifier | Qt::AltModifier;
constexpr Qt::KeyboardModifiers shiftCmd = Qt::ShiftModifier | Qt::MetaModifier;

// The island and palette state the actions drive; collapsing closes the palette as the island does.
struct IslandFake {
    bool expanded = false;
    bool palette = false;
    bool openedByHotkey = false;
    int pickerToggles = 0;
    QStringList log;

    HotKeyActions actions() {
        HotKeyActions a;
        a.isExpanded = [this] { return expanded; };
        a.setExpanded = [this](bool on) {
            log << QStringLiteral("expanded=%1").arg(on);
            expanded = on;
            if (!on)
                palette = false;
        };
        a.paletteOpen = [this] { return palette; };
        a.setPaletteOpen = [this](bool on) {
            log << QStringLiteral("palette=%1").arg(on);
            palette = on;
        };
        a.setOpenedByHotkey = [this](bool on) {
            log << QStringLiteral("openedByHotkey=%1").arg(on);
            openedByHotkey = on;
        };
        a.toggleClipboardPicker = [this] { ++pickerToggles; };
        return a;
    }
};

} // namespace

class tst_HotKeyManager : public QObject {
    Q_OBJECT
private slots:
    void storedFlagsBecomeQtModifiers_data();
    void storedFlagsBecomeQtModifiers();
    void changingOnlyModifiersReleasesTheOldCombination();
    void negativeKeyCodeRemovesOnlyThatHotKey();
    void refusedGrabKeepsCallbackButNeverFires();
    void duplicateCombinationIsRefusedForTheLaterId();
    void keyCodeBeyond32BitsIsRefused();
    void unknownStoredCodeLeavesTheHotKeyAbsent_data();
    void unknownStoredCodeLeavesTheHotKeyAbsent();
    void pressesAreDispatchedThroughTheEventLoop();
    void pressInFlightIsDroppedAfterUnregister();
    void heldKeysAreReleasedAfterEveryPress();
    void aSlowSurfaceHoldsTheKeysUntilReadyOrTheLimit();
    void suspensionReleasesGrabsAndResumeKeepsOrder();
    void paletteHotKeyOpensAndClosesPaletteAndIsland();
    void islandHotKeyWhilePaletteOpenCollapsesAndClosesIt();
};

void tst_HotKeyManager::storedFlagsBecomeQtModifiers_data() {
    QTest::addColumn<quint64>("flags");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("control+option") << quint64(0xC0000) << ctrlOpt;
    QTest::newRow("shift+command") << quint64(0x120000) << shiftCmd;
    QTest::newRow("caps lock, fn and keypad dropped")
        << quint64(0x10000 | 0x800000 | 0x200000) << Qt::KeyboardModifiers();
    QTest::newRow("bits above 32 ignored")
        << (quint64(1) << 40 | 0x40000) << Qt::KeyboardModifiers(Qt::ControlModifier);
}

void tst_HotKeyManager::storedFlagsBecomeQtModifiers() {
    QFETCH(quint64, flags);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    manager.registerHotkey(45, flags);
    QVERIFY(manager.isRegistered(1));
    QCOMPARE(backend.grabs.at(1), QKeyCombination(modifiers, Qt::Key_N));
}

void tst_HotKeyManager::changingOnlyModifiersReleasesTheOldCombination() {
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    IslandFake island;
    manager.setActions(island.actions());

    manager.registerHotkey(45, 0xC0000);
    backend.calls.clear();
    manager.registerHotkey(45, 0x120000);
    QCOMPARE(backend.calls, (QStringList{"ungrab 1", "grab 1 Meta+Shift+N"}));

    backend.press(Qt::Key_N, ctrlOpt);
    QCoreApplication::processEvents();
    QVERIFY(!island.expanded);
    backend.press(Qt::Key_N, shiftCmd);
    QCoreApplication::processEvents();
    QVERIFY(island.expanded);
}

void tst_HotKeyManager::negativeKeyCodeRemovesOnlyThatHotKey() {
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    IslandFake island;
    manager.setActions(island.actions());
    manager.registerHotkey(45, 0xC0000);
    manager.registerPaletteHotkey();
    manager.registerClipboardHotkey(9, 0x120000);
    QVERIFY(manager.isRegistered(3));

    manager.registerClipboardHotkey(-1, 0x120000);
    QVERIFY(!manager.isRegistered(3));
    QVERIFY(!manager.hasCallback(3));
    QVERIFY(backend.grabs.count(3) == 0);

    backend.press(Qt::Key_V, shiftCmd);
    backend.press(Qt::Key_K, ctrlOpt);
    QCoreApplication::processEvents();
    QCOMPARE(island.pickerToggles, 0);
    QVERIFY(island.palette);
    backend.press(Qt::Key_N, ctrlOpt);
    QCoreApplication::processEvents();
    QVERIFY(!island.expanded); // hot key 1 collapsed what hot key 2 opened
}

void tst_HotKeyManager::refusedGrabKeepsCallbackButNeverFires() {
    FakeKeyGrabBackend backend;
    backend.taken << QKeyCombination(ctrlOpt, Qt::Key_N);
    HotKeyManager manager(backend);
    int fired = 0;
    QVERIFY(!manager.registerHotKey(1, Qt::Key_N, ctrlOpt, [&] { ++fired; }));
    QVERIFY(!manager.isRegistered(1));
    QVERIFY(manager.hasCallback(1));

    backend.reportRaw(1); // a stray report for an id the system never accepted
    QCoreApplication::processEvents();
    QCOMPARE(fired, 0);

    // The other ids are unaffected.
    int other = 0;
    QVERIFY(manager.registerHotKey(2, Qt::Key_K, ctrlOpt, [&] { ++other; }));
    backend.press(Qt::Key_K, ctrlOpt);
    QCoreApplication::processEvents();
    QCOMPARE(other, 1);
}

void tst_HotKeyManager::duplicateCombinationIsRefusedForTheLaterId() {
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    int palette = 0, island = 0;
    QVERIFY(manager.registerHotKey(2, Qt::Key_K, ctrlOpt, [&] { ++palette; }));
    QVERIFY(!manager.registerHotKey(1, Qt::Key_K, ctrlOpt, [&] { ++island; }));
    QVERIFY(manager.isRegistered(2));
    QVERIFY(!manager.isRegistered(1));
    QVERIFY(backend.grabs.count(1) == 0);

    // Same modifiers on another key, or another modifier set on the same key, is no duplicate.
    QVERIFY(manager.registerHotKey(3, Qt::Key_K, shiftCmd, [] {}));

    backend.press(Qt::Key_K, ctrlOpt);
    QCoreApplication::processEvents();
    QCOMPARE(palette, 1);
    QCOMPARE(island, 0);

    // Once the holder lets go, the combination is free for a new registration.
    manager.unregister(2);
    QVERIFY(manager.registerHotKey(1, Qt::Key_K, ctrlOpt, [&] { ++island; }));
}

void tst_HotKeyManager::keyCodeBeyond32BitsIsRefused() {
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    QSignalSpy unavailable(&manager, &HotKeyManager::unavailable);
    manager.registerHotkey((qint64(1) << 32) + 45, 0xC0000);
    QVERIFY(!manager.isRegistered(1));
    QVERIFY(backend.grabs.empty()); // never truncated into key 45
    QCOMPARE(unavailable.count(), 1);
    manager.registerHotkey(45, 0xC0000);
    QVERIFY(manager.isRegistered(1));
}

void tst_HotKeyManager::unknownStoredCodeLeavesTheHotKeyAbsent_data() {
    QTest::addColumn<qint64>("keyCode");
    QTest::newRow("a gap in the table") << qint64(10);
    QTest::newRow("past the table") << qint64(200);
    QTest::newRow("top of the 32-bit range") << qint64(0xFFFFFFFFLL);
}

void tst_HotKeyManager::unknownStoredCodeLeavesTheHotKeyAbsent() {
    // As a key the keyboard lacks: no grab, the action kept, the absence announced (again on resume).
    QFETCH(qint64, keyCode);
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    QSignalSpy unavailable(&manager, &HotKeyManager::unavailable);
    manager.registerHotkey(keyCode, 0xC0000);
    QVERIFY(!manager.isRegistered(1));
    QVERIFY(manager.hasCallback(1));
    QVERIFY(backend.calls.isEmpty());
    QCOMPARE(unavailable.count(), 1);
    manager.setSuspended(true);
    manager.setSuspended(false);
    QCOMPARE(unavailable.count(), 2);
    QVERIFY(backend.calls.isEmpty());
}

void tst_HotKeyManager::pressesAreDispatchedThroughTheEventLoop() {
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    QSignalSpy fired(&manager, &HotKeyManager::fired);
    int runs = 0;
    manager.registerHotKey(1, Qt::Key_N, ctrlOpt, [&] { ++runs; });

    backend.press(Qt::Key_N, ctrlOpt);
    QCOMPARE(runs, 0); // not inside the backend's event handling
    QCoreApplication::processEvents();
    QCOMPARE(runs, 1);
    QCOMPARE(fired.count(), 1);
    QCOMPARE(fired.at(0).at(0).toUInt(), 1u);

    // An action that re-registers its own id does not disturb the dispatch.
    manager.registerHotKey(1, Qt::Key_N, ctrlOpt, [&] {
        ++runs;
        manager.registerHotKey(1, Qt::Key_N, shiftCmd, [&] { runs += 10; });
    });
    backend.press(Qt::Key_N, ctrlOpt);
    QCoreApplication::processEvents();
    QCOMPARE(runs, 2);
    backend.press(Qt::Key_N, shiftCmd);
    QCoreApplication::processEvents();
    QCOMPARE(runs, 12);
}

void tst_HotKeyManager::pressInFlightIsDroppedAfterUnregister() {
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    int runs = 0;
    manager.registerHotKey(1, Qt::Key_N, ctrlOpt, [&] { ++runs; });
    backend.press(Qt::Key_N, ctrlOpt);
    manager.unregister(1);
    QCoreApplication::processEvents();
    QCOMPARE(runs, 0);

    // Nor does a press outlive the manager.
    {
        HotKeyManager shortLived(backend);
        shortLived.registerHotKey(1, Qt::Key_N, ctrlOpt, [&] { ++runs; });
        backend.press(Qt::Key_N, ctrlOpt);
    }
    QVERIFY(backend.grabs.empty());
    QCoreApplication::processEvents();
    QCOMPARE(runs, 0);
}

// The keyboard held since the press is let go once the action has run, also when the press is
// dropped, so that nothing typed after it stays held.
void tst_HotKeyManager::heldKeysAreReleasedAfterEveryPress() {
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    int releasesSeenByAction = -1;
    manager.registerHotKey(1, Qt::Key_N, ctrlOpt, [&] { releasesSeenByAction = backend.releases; });
    backend.press(Qt::Key_N, ctrlOpt);
    QCOMPARE(backend.releases, 0);
    QCoreApplication::processEvents();
    QCOMPARE(releasesSeenByAction, 0); // after the action, not before
    QCOMPARE(backend.releases, 1);

    backend.press(Qt::Key_N, ctrlOpt);
    manager.unregister(1);
    QCoreApplication::processEvents();
    QCOMPARE(backend.releases, 2);
}

void tst_HotKeyManager::aSlowSurfaceHoldsTheKeysUntilReadyOrTheLimit() {
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    bool ready = false;
    manager.registerHotKey(3, Qt::Key_V, shiftCmd, [&] { manager.holdKeyboardUntil([&] { return ready; }); });
    backend.press(Qt::Key_V, shiftCmd);
    QCoreApplication::processEvents();
    QTest::qWait(50); // proves the keys stay held while the surface is not ready
    QCOMPARE(backend.releases, 0);
    ready = true;
    QTRY_COMPARE(backend.releases, 1);

    // A surface that never gets the keyboard holds it for the limit only.
    ready = false;
    backend.press(Qt::Key_V, shiftCmd);
    QTRY_COMPARE_WITH_TIMEOUT(backend.releases, 2, HotKeyManager::kReadyWaitMs + 5000);

    // A later press with an action that opens nothing does not inherit the wait.
    manager.registerHotKey(1, Qt::Key_N, ctrlOpt, [] {});
    backend.press(Qt::Key_V, shiftCmd);
    backend.press(Qt::Key_N, ctrlOpt);
    QCoreApplication::processEvents();
    QCOMPARE(backend.releases, 3);
}

void tst_HotKeyManager::suspensionReleasesGrabsAndResumeKeepsOrder() {
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    int palette = 0, island = 0, picker = 0;
    manager.registerHotKey(2, Qt::Key_K, ctrlOpt, [&] { ++palette; });
    manager.registerHotKey(1, Qt::Key_K, ctrlOpt, [&] { ++island; }); // refused: 2 holds it
    manager.registerHotKey(3, Qt::Key_V, shiftCmd, [&] { ++picker; });

    backend.press(Qt::Key_V, shiftCmd); // in flight when the recording starts
    manager.setSuspended(true);
    QVERIFY(backend.grabs.empty());
    QCoreApplication::processEvents();
    QCOMPARE(picker, 0);

    // A change made during the suspension is applied on resume.
    QVERIFY(!manager.registerHotKey(3, Qt::Key_V, ctrlOpt, [&] { ++picker; }));
    QVERIFY(backend.grabs.empty());

    manager.setSuspended(false);
    QVERIFY(manager.isRegistered(2));
    QVERIFY(!manager.isRegistered(1)); // the earlier registration still wins the duplicate
    QVERIFY(manager.isRegistered(3));
    backend.press(Qt::Key_K, ctrlOpt);
    backend.press(Qt::Key_V, ctrlOpt);
    backend.press(Qt::Key_V, shiftCmd);
    QCoreApplication::processEvents();
    QCOMPARE(palette, 1);
    QCOMPARE(island, 0);
    QCOMPARE(picker, 1);
}

void tst_HotKeyManager::paletteHotKeyOpensAndClosesPaletteAndIsland() {
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    IslandFake island;
    manager.setActions(island.actions());
    manager.registerPaletteHotkey();
    QCOMPARE(backend.calls.last(), QStringLiteral("grab 2 Ctrl+Alt+K"));

    backend.press(Qt::Key_K, ctrlOpt);
    QCoreApplication::processEvents();
    QCOMPARE(island.log, (QStringList{"openedByHotkey=1", "palette=1", "expanded=1"}));
    QVERIFY(island.expanded && island.palette && island.openedByHotkey);

    island.log.clear();
    backend.press(Qt::Key_K, ctrlOpt);
    QCoreApplication::processEvents();
    QCOMPARE(island.log, (QStringList{"palette=0", "openedByHotkey=0", "expanded=0"}));
    QVERIFY(!island.expanded && !island.palette && !island.openedByHotkey);

    // Opened by the pointer, the island stays open when the palette hot key adds the palette.
    island.expanded = true;
    manager.togglePalette();
    QVERIFY(island.expanded && island.palette);
}

void tst_HotKeyManager::islandHotKeyWhilePaletteOpenCollapsesAndClosesIt() {
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    IslandFake island;
    manager.setActions(island.actions());
    manager.registerHotkey(45, 0xC0000);
    manager.registerPaletteHotkey();

    backend.press(Qt::Key_K, ctrlOpt);
    QCoreApplication::processEvents();
    QVERIFY(island.palette && island.expanded);

    island.log.clear();
    backend.press(Qt::Key_N, ctrlOpt);
    QCoreApplication::processEvents();
    QCOMPARE(island.log, (QStringList{"openedByHotkey=0", "expanded=0"}));
    QVERIFY(!island.expanded);
    QVERIFY(!island.palette);
}

QTEST_GUILESS_MAIN(tst_HotKeyManager)
#include "tst_HotKeyManager.moc"
