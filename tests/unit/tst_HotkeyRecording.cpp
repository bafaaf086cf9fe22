// Recording a hot key from key presses in the application (the settings and the key monitor that feeds
// them), clearing it, and the global hot keys following the settings (re-registration, suspension while
// recording).
#include "app/HotKeyManager.h"
#include "app/SettingsWindow.h"
#include "fakes/FakeKeyGrabBackend.h"
#include "fakes/TestSupport.h"
#include "services/Defaults.h"
#include "services/SettingsService.h"
#include "views/settings/HotkeyRecorder.h"

#include <QAction>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

namespace {

// A window that counts the key presses that reach it.
class KeyWindow : public QWindow {
public:
    int presses = 0; // modifier keys count too: QTest presses them one by one
    int lastKey = 0;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        ++presses;
        lastKey = e->key();
    }
};

constexpr auto ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
constexpr auto shiftMeta = Qt::ShiftModifier | Qt::MetaModifier;

} // namespace

class tst_HotkeyRecording : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<SettingsService> m_settings;
    std::unique_ptr<HotkeyRecorder> m_recorder;
    std::unique_ptr<KeyWindow> m_window;

    void press(int key, Qt::KeyboardModifiers modifiers) {
        QTest::keyClick(m_window.get(), Qt::Key(key), modifiers);
    }

private slots:
    void init() {
        m_home = TestSupport::isolateHome();
        m_defaults = std::make_unique<Defaults>(m_home->filePath("defaults.json"));
        m_settings = std::make_unique<SettingsService>(*m_defaults);
        m_recorder = std::make_unique<HotkeyRecorder>(*m_settings);
        m_window = std::make_unique<KeyWindow>();
        m_window->show();
    }
    void cleanup() {
        m_window.reset();
        m_recorder.reset();
        m_settings.reset();
        m_defaults.reset();
        m_home.reset();
    }

    void combinationBecomesTheHotKey_data();
    void combinationBecomesTheHotKey();
    void pressesThatAreNoCombinationKeepRecording_data();
    void pressesThatAreNoCombinationKeepRecording();
    void escapeCancels();
    void writesKeyCodeBeforeModifiersBeforeText();
    void secondBeginKeepsTheFirstTarget();
    void endRecordingRemovesTheMonitor();
    void theMonitorFollowsTheRecording();
    void keysOutsideARecordingChangeNothing();
    void clearKeepsTheModifiers();
    void settingsChangeReRegistersAtOnce();
    void anEarlierFileReadsAndIsWrittenBackTheSame();
    void recordingSuspendsTheGrabs();
    void clearingThePickerLeavesTheOtherHotKeys();
    void settingsWindowShortcutsDoNotTakeTheCombination();
};

void tst_HotkeyRecording::combinationBecomesTheHotKey_data() {
    QTest::addColumn<bool>("picker");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("keyCode");
    QTest::addColumn<uint>("flags");
    QTest::addColumn<QString>("text");

    QTest::newRow("ctrl-alt-N") << false << int(Qt::Key_N) << ctrlAlt << 45 << 0xC0000u << "Ctrl+Alt+N";
    QTest::newRow("shift-meta-V for the picker")
        << true << int(Qt::Key_V) << shiftMeta << 9 << 0x120000u << "Shift+Super+V";
    QTest::newRow("meta-shift-space")
        << true << int(Qt::Key_Space) << shiftMeta << 49 << 0x120000u << "Shift+Super+Space";
    QTest::newRow("alt-left") << false << int(Qt::Key_Left) << Qt::KeyboardModifiers(Qt::AltModifier) << 123
                              << 0x80000u << "Alt+Left";
    QTest::newRow("all four, up arrow")
        << false << int(Qt::Key_Up) << (ctrlAlt | Qt::ShiftModifier | Qt::MetaModifier) << 126 << 0x1E0000u
        << "Ctrl+Alt+Shift+Super+Up";
    QTest::newRow("shifted digit is its key") << false << int(Qt::Key_Exclam) << (ctrlAlt | Qt::ShiftModifier)
                                              << 18 << 0xE0000u << "Ctrl+Alt+Shift+!";
    QTest::newRow("keypad digit") << false << int(Qt::Key_5) << (ctrlAlt | Qt::KeypadModifier) << 87
                                  << 0xC0000u << "Ctrl+Alt+5";
    QTest::newRow("function key") << false << int(Qt::Key_F5) << Qt::KeyboardModifiers(Qt::MetaModifier) << 96
                                  << 0x100000u << "Super+F5";
}

void tst_HotkeyRecording::combinationBecomesTheHotKey() {
    QFETCH(bool, picker);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, keyCode);
    QFETCH(uint, flags);
    QFETCH(QString, text);

    m_settings->beginRecording(picker ? HotkeyTarget::clipboardPicker : HotkeyTarget::island);
    QVERIFY(m_settings->recording());
    press(key, modifiers);

    QVERIFY(!m_settings->recording());
    QCOMPARE(m_window->presses, 0); // the press was the recording's, not the window's
    if (picker) {
        QCOMPARE(m_settings->clipboardHotkeyKeyCode(), keyCode);
        QCOMPARE(m_settings->clipboardHotkeyModifiers(), flags);
        QCOMPARE(m_settings->clipboardHotkeyDisplay(), text);
        QCOMPARE(m_settings->hotkeyKeyCode(), 45);
        QCOMPARE(m_defaults->integer("clipboardHotkeyKeyCode"), keyCode);
        QCOMPARE(m_defaults->string("clipboardHotkeyDisplay"), text);
    } else {
        QCOMPARE(m_settings->hotkeyKeyCode(), keyCode);
        QCOMPARE(m_settings->hotkeyModifiers(), flags);
        QCOMPARE(m_settings->hotkeyDisplay(), text);
        QCOMPARE(m_settings->clipboardHotkeyKeyCode(), 9);
        QCOMPARE(m_defaults->integer("hotkeyModifiers"), qint64(flags));
    }
}

void tst_HotkeyRecording::pressesThatAreNoCombinationKeepRecording_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("bare A") << int(Qt::Key_A) << Qt::KeyboardModifiers();
    QTest::newRow("shift-A") << int(Qt::Key_A) << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("shift-F5") << int(Qt::Key_F5) << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("control key alone") << int(Qt::Key_Control) << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("caps lock") << int(Qt::Key_CapsLock) << Qt::KeyboardModifiers();
    QTest::newRow("AltGr only") << int(Qt::Key_A) << Qt::KeyboardModifiers(Qt::GroupSwitchModifier);
    QTest::newRow("key without a code") << int(Qt::Key_VolumeUp) << ctrlAlt;
}

void tst_HotkeyRecording::pressesThatAreNoCombinationKeepRecording() {
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QSignalSpy written(m_defaults.get(), &Defaults::changed);
    m_settings->beginRecording(HotkeyTarget::island);
    press(key, modifiers);
    QVERIFY(m_settings->recording());
    QCOMPARE(m_window->presses, 0);
    QCOMPARE(written.count(), 0);
    QCOMPARE(m_settings->hotkeyKeyCode(), 45);
    QCOMPARE(m_settings->hotkeyModifiers(), 0xC0000u);

    // The recording goes on and takes the next real combination.
    press(Qt::Key_M, ctrlAlt);
    QVERIFY(!m_settings->recording());
    QCOMPARE(m_settings->hotkeyKeyCode(), 46);
}

void tst_HotkeyRecording::escapeCancels() {
    QSignalSpy written(m_defaults.get(), &Defaults::changed);
    m_settings->beginRecording(HotkeyTarget::clipboardPicker);
    press(Qt::Key_Escape, ctrlAlt); // with modifiers too: Escape never becomes a hot key
    QVERIFY(!m_settings->recording());
    QCOMPARE(m_window->presses, 0);
    QCOMPARE(written.count(), 0);
    QCOMPARE(m_settings->clipboardHotkeyKeyCode(), 9);
    QCOMPARE(m_settings->clipboardHotkeyDisplay(), QString("Shift+Super+V"));
}

void tst_HotkeyRecording::writesKeyCodeBeforeModifiersBeforeText() {
    QStringList order;
    connect(m_settings.get(), &SettingsService::hotkeyKeyCodeChanged, this, [&] { order << "code"; });
    connect(m_settings.get(), &SettingsService::hotkeyModifiersChanged, this, [&] { order << "modifiers"; });
    connect(m_settings.get(), &SettingsService::hotkeyDisplayChanged, this, [&] { order << "display"; });
    connect(m_settings.get(), &SettingsService::recordingChanged, this, [&] { order << "recording"; });
    m_settings->beginRecording(HotkeyTarget::island);
    press(Qt::Key_M, shiftMeta);
    QCOMPARE(order, (QStringList{"recording", "code", "modifiers", "display", "recording"}));
}

void tst_HotkeyRecording::secondBeginKeepsTheFirstTarget() {
    m_settings->beginRecording(HotkeyTarget::clipboardPicker);
    m_settings->beginRecording(HotkeyTarget::island);
    QCOMPARE(m_settings->recordingTarget(), HotkeyTarget::clipboardPicker);
    press(Qt::Key_B, ctrlAlt);
    QCOMPARE(m_settings->clipboardHotkeyKeyCode(), 11);
    QCOMPARE(m_settings->hotkeyKeyCode(), 45);
}

void tst_HotkeyRecording::endRecordingRemovesTheMonitor() {
    m_settings->endRecording(); // harmless when idle
    m_settings->beginRecording(HotkeyTarget::island);
    m_settings->endRecording();
    QVERIFY(!m_settings->recording());
    press(Qt::Key_M, ctrlAlt);
    QCOMPARE(m_window->lastKey, int(Qt::Key_M));
    QCOMPARE(m_settings->hotkeyKeyCode(), 45);
}

void tst_HotkeyRecording::theMonitorFollowsTheRecording() {
    // The settings alone watch no keyboard: without a monitor the press is the window's.
    m_recorder.reset();
    m_settings->beginRecording(HotkeyTarget::island);
    press(Qt::Key_M, ctrlAlt);
    QCOMPARE(m_window->lastKey, int(Qt::Key_M));
    QVERIFY(m_settings->recording());
    QCOMPARE(m_settings->hotkeyKeyCode(), 45);

    // A monitor made while a recording runs takes the next press for it.
    m_recorder = std::make_unique<HotkeyRecorder>(*m_settings);
    QVERIFY(m_recorder->watching());
    const int before = m_window->presses;
    press(Qt::Key_B, ctrlAlt);
    QCOMPARE(m_window->presses, before);
    QVERIFY(!m_settings->recording());
    QVERIFY(!m_recorder->watching());
    QCOMPARE(m_settings->hotkeyKeyCode(), 11);

    // One that goes during a recording leaves nothing watching the keyboard behind it.
    m_settings->beginRecording(HotkeyTarget::clipboardPicker);
    QVERIFY(m_recorder->watching());
    m_recorder.reset();
    press(Qt::Key_C, ctrlAlt);
    QCOMPARE(m_window->lastKey, int(Qt::Key_C));
    QCOMPARE(m_settings->clipboardHotkeyKeyCode(), 9);
}

void tst_HotkeyRecording::keysOutsideARecordingChangeNothing() {
    QSignalSpy written(m_defaults.get(), &Defaults::changed);
    QSignalSpy refused(m_settings.get(), &SettingsService::recordingRefused);
    m_settings->recordKey(Qt::Key_M, ctrlAlt);
    m_settings->recordKey(Qt::Key_A, {});
    m_settings->recordKey(Qt::Key_Escape, {});
    QCOMPARE(written.count(), 0);
    QCOMPARE(refused.count(), 0);
    QVERIFY(!m_settings->recording());
    QCOMPARE(m_settings->hotkeyKeyCode(), 45);

    // Within one, a refused key is said once and the recording goes on.
    m_settings->beginRecording(HotkeyTarget::island);
    m_settings->recordKey(Qt::Key_A, Qt::ShiftModifier);
    QCOMPARE(refused.count(), 1);
    QVERIFY(m_settings->recording());
    m_settings->recordKey(Qt::Key_M, ctrlAlt);
    QVERIFY(!m_settings->recording());
    QCOMPARE(m_settings->hotkeyKeyCode(), 46);
}

void tst_HotkeyRecording::clearKeepsTheModifiers() {
    m_settings->clearHotkey(HotkeyTarget::island);
    QCOMPARE(m_settings->hotkeyKeyCode(), -1);
    QCOMPARE(m_settings->hotkeyDisplay(), QString("—"));
    QCOMPARE(m_settings->hotkeyModifiers(), 0xC0000u);
    QCOMPARE(m_settings->clipboardHotkeyKeyCode(), 9);

    // Stored, so the next start has no island hot key either.
    m_defaults->synchronize();
    Defaults reopened(m_defaults->filePath());
    SettingsService again(reopened);
    QCOMPARE(again.hotkeyKeyCode(), -1);
    QCOMPARE(again.hotkeyDisplay(), QString("—"));
    QCOMPARE(again.hotkeyModifiers(), 0xC0000u);
}

void tst_HotkeyRecording::settingsChangeReRegistersAtOnce() {
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    manager.bindSettings(*m_settings);
    QCOMPARE(backend.calls, (QStringList{"grab 1 Ctrl+Alt+N", "grab 2 Ctrl+Alt+K", "grab 3 Meta+Shift+V"}));

    backend.calls.clear();
    m_settings->setHotkeyModifiers(0x120000);
    QCOMPARE(backend.calls, (QStringList{"ungrab 1", "grab 1 Meta+Shift+N"}));

    backend.calls.clear();
    m_settings->setHotkeyDisplay("anything"); // the text plays no part
    m_settings->setHotkeyModifiers(0x120000); // nor does an unchanged value
    QVERIFY(backend.calls.isEmpty());
}

void tst_HotkeyRecording::anEarlierFileReadsAndIsWrittenBackTheSame() {
    // A file as earlier versions wrote it: J with control + option, keypad 1 with shift + command.
    const QByteArray earlier = "{\n"
                               "    \"clipboardHotkeyDisplay\": \"Shift+Super+1\",\n"
                               "    \"clipboardHotkeyKeyCode\": 83,\n"
                               "    \"clipboardHotkeyModifiers\": 1179648,\n"
                               "    \"hotkeyDisplay\": \"Ctrl+Alt+J\",\n"
                               "    \"hotkeyKeyCode\": 38,\n"
                               "    \"hotkeyModifiers\": 786432,\n"
                               "    \"migratedFromVestrand\": true\n"
                               "}\n";
    const QString path = m_home->filePath("earlier.json");
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(earlier), qint64(earlier.size()));
    }
    Defaults defaults(path);
    SettingsService settings(defaults);
    HotkeyRecorder recorder(settings);
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    manager.bindSettings(settings);
    QCOMPARE(backend.grabs.at(HotKeyManager::islandID),
             QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_J));
    QCOMPARE(backend.grabs.at(HotKeyManager::clipboardPickerID),
             QKeyCombination(Qt::ShiftModifier | Qt::MetaModifier | Qt::KeypadModifier, Qt::Key_1));

    // Recording the same combinations again stores exactly what was there.
    settings.beginRecording(HotkeyTarget::island);
    press(Qt::Key_J, ctrlAlt);
    settings.beginRecording(HotkeyTarget::clipboardPicker);
    press(Qt::Key_1, shiftMeta | Qt::KeypadModifier);
    QVERIFY(!settings.recording());
    QVERIFY(defaults.flush());
    QVERIFY(defaults.writesDone() > 0); // the file was written again, not left alone
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), earlier);
    QCOMPARE(backend.grabs.at(HotKeyManager::clipboardPickerID),
             QKeyCombination(Qt::ShiftModifier | Qt::MetaModifier | Qt::KeypadModifier, Qt::Key_1));
}

void tst_HotkeyRecording::recordingSuspendsTheGrabs() {
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    manager.bindSettings(*m_settings);

    m_settings->beginRecording(HotkeyTarget::island);
    QVERIFY(backend.grabs.empty());
    backend.calls.clear();
    press(Qt::Key_M, shiftMeta);

    // Only the final combination is grabbed, after the recording ended.
    QCOMPARE(backend.calls, (QStringList{"grab 2 Ctrl+Alt+K", "grab 3 Meta+Shift+V", "grab 1 Meta+Shift+M"}));
    QVERIFY(manager.isRegistered(1) && manager.isRegistered(2) && manager.isRegistered(3));

    // Cancelling restores what was there.
    m_settings->beginRecording(HotkeyTarget::clipboardPicker);
    press(Qt::Key_Escape, {});
    QCOMPARE(backend.grabs.size(), size_t(3));
    QCOMPARE(backend.grabs[3], QKeyCombination(Qt::ShiftModifier | Qt::MetaModifier, Qt::Key_V));
}

void tst_HotkeyRecording::clearingThePickerLeavesTheOtherHotKeys() {
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    manager.bindSettings(*m_settings);
    m_settings->clearHotkey(HotkeyTarget::clipboardPicker);
    QVERIFY(!manager.isRegistered(3));
    QVERIFY(!manager.hasCallback(3));
    QVERIFY(manager.isRegistered(1) && manager.isRegistered(2));

    // Recording a key again brings it back.
    m_settings->beginRecording(HotkeyTarget::clipboardPicker);
    press(Qt::Key_V, shiftMeta);
    QVERIFY(manager.isRegistered(3));
}

void tst_HotkeyRecording::settingsWindowShortcutsDoNotTakeTheCombination() {
    // The settings window carries Ctrl+Q (quit) and Ctrl+, as window shortcuts.
    SettingsWindow window(*m_defaults);
    auto* quit = new QAction(&window);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::WindowShortcut);
    window.addAction(quit);
    QSignalSpy quitting(quit, &QAction::triggered);
    window.present();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    m_settings->beginRecording(HotkeyTarget::island);
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(quitting.count(), 0);
    QCOMPARE(m_settings->hotkeyKeyCode(), 12);
    QCOMPARE(m_settings->hotkeyDisplay(), QString("Ctrl+Q"));

    // Once the recording is over the shortcut is the window's again.
    QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(quitting.count(), 1);
}

QTEST_MAIN(tst_HotkeyRecording)
#include "tst_HotkeyRecording.moc"
