// The application delegate on fake screens, pointer and key grabs: what its launch leaves running,
// how settings changes reach the hot keys and the island's screen, and the settings window.
#include "app/AppDelegate.h"
#include "app/HotKeyManager.h"
#include "app/NotchPanel.h"
#include "app/SettingsWindow.h"
#include "app/TickGate.h"
#include "fakes/FakeScreenList.h"
#include "fakes/OffscreenApp.h"
#include "fakes/TestSupport.h"
#include "platform/KeyCodes.h"
#include "services/AIUsageService.h"
#include "services/AgentsService.h"
#include "services/AppPaths.h"
#include "services/ClipboardService.h"
#include "services/CommandsService.h"
#include "services/DashboardModel.h"
#include "services/Defaults.h"
#include "services/NewsService.h"
#include "services/ProfilesService.h"
#include "services/SettingsService.h"
#include "services/ShelfService.h"
#include "services/UpdateService.h"
#include "services/UtilsState.h"
#include "views/NotchView.h"
#include "views/Spring.h"

#include <QAction>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

const QRectF kMainFrame(0, 0, 1920, 1080);

// Hands update checks to a port where nothing listens, and moves the pointer as the tick would see it.
struct Rig : OffscreenApp {
    explicit Rig(Defaults& defaults, QList<ScreenInfo> screens = {FakeScreenList::screen("A", kMainFrame)})
        : OffscreenApp(defaults, std::move(screens), QStringLiteral("127.0.0.1:1")) {}
    void pointAt(qreal x, qreal y, bool button = false) {
        pointer.current = {QPointF(x, y), button};
        delegate->trackMouse();
    }
};

QString grab(quint32 id, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    return QStringLiteral("grab %1 %2").arg(id).arg(FakeKeyGrabBackend::name(key, modifiers));
}

// An open island opened by the pointer, brought to rest under it.
bool openAndRest(Rig& rig) {
    rig.pointer.announcesMotion = true;
    rig.pointer.current = {QPointF(200, 900), false};
    rig.delegate->applicationDidFinishLaunching();
    rig.delegate->trackMouse();
    rig.pointer.move(QPointF(960, 5));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    rig.pointer.move(QPointF(960, 100));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    for (int i = 0; i < 5 && rig.delegate->tickGate().pace() != TickGate::Pace::Resting; ++i)
        rig.delegate->trackMouse();
    return rig.delegate->state().isExpanded() && rig.delegate->tickGate().pace() == TickGate::Pace::Resting &&
           !rig.delegate->mouseTimer()->isActive();
}

} // namespace

class tst_AppDelegate : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Defaults> m_defaults;

private slots:
    void initTestCase() {
        m_home = TestSupport::isolateHome();
        Animations::setEnabled(false);
    }
    void init() {
        QFile::remove(TestSupport::folders().defaultsFile(QStringLiteral("com.farrowlight.quillbay")));
        m_defaults = std::make_unique<Defaults>(
            TestSupport::folders().defaultsFile(QStringLiteral("com.farrowlight.quillbay")));
        qunsetenv("NOTCH_FORCE_EXPANDED");
    }
    void cleanup() { m_defaults.reset(); }

    void launchLeavesTimersAndHotKeysRunning() {
        Rig rig(*m_defaults);
        QStringList calls;
        auto& model = rig.delegate->model();
        connect(&model.agents(), &AgentsService::refreshStarted, this, [&] { calls << "agents"; });
        connect(&model.ai(), &AIUsageService::refreshStarted, this,
                [&](bool force) { calls << (force ? "ai forced" : "ai"); });
        connect(&model.updates(), &UpdateService::checkStarted, this, [&] { calls << "update"; });

        rig.delegate->applicationDidFinishLaunching();
        QVERIFY(rig.delegate->panel() && rig.delegate->panel()->isVisible());
        QVERIFY(rig.delegate->mouseTimer() && rig.delegate->mouseTimer()->isActive());
        QCOMPARE(rig.delegate->mouseTimer()->interval(), 33);
        QVERIFY(rig.delegate->backgroundTimer() && rig.delegate->backgroundTimer()->isActive());
        QCOMPARE(rig.delegate->backgroundTimer()->interval(), 60000);
        // AI usage is left to the first opening and the first tick.
        QCOMPARE(calls, QStringList({"agents", "update"}));
        // Island, palette, picker: each grabbed once, the launch's own values not a second time.
        QCoreApplication::processEvents();
        QCOMPARE(rig.keys.calls, QStringList({grab(1, Qt::Key_N, Qt::ControlModifier | Qt::AltModifier),
                                              grab(2, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier),
                                              grab(3, Qt::Key_V, Qt::ShiftModifier | Qt::MetaModifier)}));

        // The launch's check ends (nothing answers) and its stamp is dropped, so the tick's check is due.
        QVERIFY(QTest::qWaitFor([&] { return !model.updates().status().is(UpdateStatus::Kind::checking); },
                                30000));
        m_defaults->remove(QStringLiteral("updateLastCheck"));
        calls.clear();
        rig.delegate->backgroundTick();
        QCOMPARE(calls, QStringList({"agents", "ai", "update"}));

        // A second launch request changes nothing.
        rig.keys.calls.clear();
        rig.delegate->applicationDidFinishLaunching();
        QVERIFY(rig.keys.calls.isEmpty());
    }

    void settingsChangeReRegistersOnce_data() {
        QTest::addColumn<int>("which"); // 0 island key, 1 island modifiers, 2 picker key, 3 picker modifiers
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QStringList>("expected");
        const quint32 ctrlShift = KeyCodes::controlFlag | KeyCodes::shiftFlag;
        QTest::newRow("island key") << 0 << qint64(46)
                                    << QStringList{"ungrab 1",
                                                   grab(1, Qt::Key_M, Qt::ControlModifier | Qt::AltModifier)};
        QTest::newRow("island modifiers")
            << 1 << qint64(ctrlShift)
            << QStringList{"ungrab 1", grab(1, Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier)};
        QTest::newRow("island off") << 0 << qint64(-1) << QStringList{"ungrab 1"};
        QTest::newRow("picker key") << 2 << qint64(11)
                                    << QStringList{"ungrab 3",
                                                   grab(3, Qt::Key_B, Qt::ShiftModifier | Qt::MetaModifier)};
        QTest::newRow("picker modifiers")
            << 3 << qint64(ctrlShift)
            << QStringList{"ungrab 3", grab(3, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier)};
        QTest::newRow("the current value") << 0 << qint64(45) << QStringList{};
    }
    void settingsChangeReRegistersOnce() {
        QFETCH(int, which);
        QFETCH(qint64, value);
        QFETCH(QStringList, expected);
        Rig rig(*m_defaults);
        rig.delegate->applicationDidFinishLaunching();
        rig.keys.calls.clear();
        SettingsService& s = rig.delegate->model().settings();
        switch (which) {
        case 0:
            s.setHotkeyKeyCode(int(value));
            break;
        case 1:
            s.setHotkeyModifiers(uint(value));
            break;
        case 2:
            s.setClipboardHotkeyKeyCode(int(value));
            break;
        default:
            s.setClipboardHotkeyModifiers(uint(value));
            break;
        }
        QCoreApplication::processEvents();
        QCOMPARE(rig.keys.calls, expected);
    }

    void hotKeysDriveTheIsland() {
        Rig rig(*m_defaults);
        rig.delegate->applicationDidFinishLaunching();
        rig.pointer.current = {QPointF(100, 900), false};
        rig.keys.press(Qt::Key_N, Qt::ControlModifier | Qt::AltModifier);
        QTRY_VERIFY(rig.delegate->state().isExpanded());
        QVERIFY(rig.delegate->openedByHotkey());
        // Opened from the keyboard, it waits for the pointer to have been inside once.
        rig.delegate->trackMouse();
        QVERIFY(rig.delegate->state().isExpanded());

        rig.keys.press(Qt::Key_K, Qt::ControlModifier | Qt::AltModifier); // palette on an open island
        QTRY_VERIFY(rig.delegate->model().paletteOpen());
        rig.keys.press(Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
        QTRY_VERIFY(!rig.delegate->model().paletteOpen());
        QVERIFY(!rig.delegate->state().isExpanded());
        QVERIFY(!rig.delegate->openedByHotkey());
    }

    void pointerOpensAndClosesTheIsland() {
        Rig rig(*m_defaults);
        rig.delegate->applicationDidFinishLaunching();
        NotchPanel* panel = rig.delegate->panel();
        QVERIFY(panel->ignoresMouseEvents());

        rig.pointAt(960, 5, true); // a drag arriving at the notch
        QVERIFY(rig.delegate->state().isExpanded());
        QVERIFY(!panel->ignoresMouseEvents());
        QCOMPARE(rig.delegate->model().tab(), TabSelection::shelf());
        QCOMPARE(rig.delegate->notchView()->metrics().isExpanded, true);
        QCOMPARE(m_defaults->integer(QStringLiteral("telemetryOpens")), 1);

        rig.pointAt(960, 300); // inside the dashboard
        QVERIFY(rig.delegate->state().isExpanded());
        rig.delegate->model().setPaletteOpen(true);
        rig.pointAt(960, 900); // away, but the palette holds it open
        QVERIFY(rig.delegate->state().isExpanded());
        rig.delegate->model().setPaletteOpen(false);
        rig.pointAt(960, 900);
        QVERIFY(!rig.delegate->state().isExpanded());
        QVERIFY(panel->ignoresMouseEvents());
        QCOMPARE(rig.delegate->notchView()->metrics().isExpanded, false);
    }

    void forceExpanded_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("forced");
        QTest::newRow("1") << QByteArray("1") << true;
        QTest::newRow("true") << QByteArray("true") << false;
        QTest::newRow("yes") << QByteArray("yes") << false;
        QTest::newRow("empty") << QByteArray("") << false;
        QTest::newRow("padded") << QByteArray(" 1") << false;
    }
    void forceExpanded() {
        QFETCH(QByteArray, value);
        QFETCH(bool, forced);
        qputenv("NOTCH_FORCE_EXPANDED", value);
        Rig rig(*m_defaults);
        rig.delegate->applicationDidFinishLaunching();
        qunsetenv("NOTCH_FORCE_EXPANDED");
        QCOMPARE(rig.delegate->forceExpanded(), forced);
        QCOMPARE(rig.delegate->state().isExpanded(), forced);
        rig.pointAt(100, 900);
        QCOMPARE(rig.delegate->state().isExpanded(), forced);
        if (forced)
            QCOMPARE(rig.pointer.reads, 0); // tracking is off, not merely ignored
    }

    // The pointer tick under a pointer that announces its motion: it rests while nothing can change
    // and comes back at once, at its full rate, when something does.
    void tickRestsUntilThePointerMoves() {
        Rig rig(*m_defaults);
        rig.pointer.announcesMotion = true;
        rig.pointer.current = {QPointF(200, 900), false};
        rig.delegate->applicationDidFinishLaunching();
        const QTimer* timer = rig.delegate->mouseTimer();
        rig.delegate->trackMouse(); // a tick that saw nothing new
        QCOMPARE(rig.delegate->tickGate().pace(), TickGate::Pace::Resting);
        QVERIFY(!timer->isActive()); // nothing wakes a resting island but an announcement

        // Motion into the notch opens the island from the event loop, before any timer tick.
        const int reads = rig.pointer.reads;
        rig.pointer.move(QPointF(960, 5));
        QVERIFY(!rig.delegate->state().isExpanded()); // never from inside the announcement
        QCoreApplication::processEvents();
        QVERIFY(rig.delegate->state().isExpanded());
        QCOMPARE(rig.pointer.reads, reads + 1);
        QCOMPARE(timer->interval(), 33);
        QCOMPARE(timer->timerType(), Qt::PreciseTimer);

        // Open under a still pointer it rests too: a tick that saw nothing new stops the timer.
        rig.delegate->trackMouse();
        rig.delegate->trackMouse();
        QCOMPARE(rig.delegate->tickGate().pace(), TickGate::Pace::Resting);
        QVERIFY(!timer->isActive());
        // A burst of motion over it is looked at by one tick, from the event loop.
        const int before = rig.pointer.reads;
        for (int i = 0; i < 10; ++i)
            rig.pointer.move(QPointF(960 + i, 100));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        QCOMPARE(rig.pointer.reads, before + 1);
        QVERIFY(rig.delegate->state().isExpanded());

        // Leaving is seen from the motion itself, with no timer tick.
        rig.delegate->trackMouse();
        rig.delegate->trackMouse();
        QCOMPARE(rig.delegate->tickGate().pace(), TickGate::Pace::Resting);
        rig.pointer.move(QPointF(960, 900));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        QVERIFY(!rig.delegate->state().isExpanded());
        QCOMPARE(rig.delegate->tickGate().pace(), TickGate::Pace::Running);
        int ticks = 0;
        while (rig.delegate->tickGate().pace() != TickGate::Pace::Resting && ticks < 10) {
            rig.delegate->trackMouse();
            ++ticks;
        }
        QCOMPARE(ticks, 1);
        QVERIFY(!timer->isActive());
    }

    // A warp announces nothing and a resting island asks no one: the warp is seen, fresh from the
    // server, at the next wake-up, whatever caused it.
    void aWarpedPointerIsSeenAtTheNextWakeUp() {
        Rig rig(*m_defaults);
        rig.pointer.announcesMotion = true;
        rig.pointer.current = {QPointF(200, 900), false};
        rig.delegate->applicationDidFinishLaunching();
        rig.delegate->trackMouse();
        QCOMPARE(rig.delegate->tickGate().pace(), TickGate::Pace::Resting);

        const int reads = rig.pointer.reads;
        rig.pointer.warp(QPointF(960, 5)); // a program moved it: nothing announced
        QTest::qWait(100);                 // proves that no tick of its own runs
        QCOMPARE(rig.pointer.reads, reads);
        QVERIFY(!rig.delegate->state().isExpanded());

        const int forgets = rig.pointer.forgets;
        rig.pointer.move(QPointF(960, 6)); // the user touches the mouse
        QCoreApplication::processEvents();
        QCOMPARE(rig.pointer.forgets, forgets + 1);
        QVERIFY(rig.delegate->state().isExpanded());
        QCOMPARE(rig.delegate->mouseTimer()->interval(), 33);
        QVERIFY(rig.delegate->mouseTimer()->isActive());
    }

    void changesOfTheIslandWakeTheTick() {
        Rig rig(*m_defaults);
        rig.pointer.announcesMotion = true;
        rig.pointer.current = {QPointF(200, 900), false};
        rig.delegate->applicationDidFinishLaunching();
        rig.delegate->trackMouse();
        QCOMPARE(rig.delegate->tickGate().pace(), TickGate::Pace::Resting);

        // Opened from the keyboard: the tick runs at once, and rests again once it has looked.
        const int reads = rig.pointer.reads;
        rig.keys.press(Qt::Key_N, Qt::ControlModifier | Qt::AltModifier);
        QTRY_VERIFY(rig.delegate->state().isExpanded());
        QCoreApplication::processEvents();
        QVERIFY(rig.pointer.reads > reads);
        QVERIFY(rig.delegate->state().isExpanded()); // the hot key's opening holds under the tick
        rig.delegate->trackMouse();
        QCOMPARE(rig.delegate->tickGate().pace(), TickGate::Pace::Resting);
        QVERIFY(rig.delegate->state().isExpanded()); // still open: the pointer has not been in it yet

        // Closed from the settings window: one more tick, then rest.
        rig.delegate->showSettingsWindow();
        QCoreApplication::processEvents();
        rig.delegate->trackMouse();
        rig.delegate->trackMouse();
        QCOMPARE(rig.delegate->tickGate().pace(), TickGate::Pace::Resting);
    }

    // A program that warps the pointer off the open island announces no motion, but the pointer left
    // the island's window: that crossing is enough to close it, with no timer running meanwhile.
    void anOpenIslandHearsThePointerLeaveItsWindow() {
        Rig rig(*m_defaults);
        QVERIFY(openAndRest(rig));
        const int reads = rig.pointer.reads;
        rig.pointer.warp(QPointF(100, 900));
        QCoreApplication::processEvents();
        QCOMPARE(rig.pointer.reads, reads); // nothing polls for it
        QVERIFY(rig.delegate->state().isExpanded());
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(rig.delegate->notchView(), &leave);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        QVERIFY(rig.pointer.forgets > 0); // asked afresh, not from what motion last said
        QVERIFY(!rig.delegate->state().isExpanded());
    }

    // What holds the island open whatever the pointer does: the pointer leaves while it is there, the
    // tick comes to rest, and the island closes as soon as the surface goes, without a timer tick.
    void aSurfaceThatHeldTheIslandOpenWakesTheTickWhenItGoes_data() {
        QTest::addColumn<int>("surface");
        QTest::newRow("palette") << 0;
        QTest::newRow("screen capture") << 1;
        QTest::newRow("news add field") << 2;
        QTest::newRow("X add field") << 3;
        QTest::newRow("shelf drag") << 4;
        QTest::newRow("phone QR view") << 5;
    }
    void aSurfaceThatHeldTheIslandOpenWakesTheTickWhenItGoes() {
        QFETCH(int, surface);
        Rig rig(*m_defaults);
        QVERIFY(openAndRest(rig));
        DashboardModel& model = rig.delegate->model();
        const auto hold = [&](bool on) {
            switch (surface) {
            case 0:
                model.setPaletteOpen(on);
                break;
            case 1:
                model.utils().setCapturing(on);
                break;
            case 2:
                model.news().setComposing(on);
                break;
            case 3:
                model.profiles().setComposing(on);
                break;
            case 4:
                model.shelf().setDraggingOut(on);
                break;
            case 5:
                model.commands().setQrInfo(on ? std::optional(CommandsService::QRInfo{"web", {}, {}, {}})
                                              : std::nullopt);
                break;
            }
        };
        hold(true);
        rig.pointer.move(QPointF(100, 900));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        QVERIFY(rig.delegate->state().isExpanded());
        for (int i = 0; i < 5 && rig.delegate->tickGate().pace() != TickGate::Pace::Resting; ++i)
            rig.delegate->trackMouse();
        QCOMPARE(rig.delegate->tickGate().pace(), TickGate::Pace::Resting);
        hold(false);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        QVERIFY(!rig.delegate->state().isExpanded());
    }

    // Motion while the tick runs is looked at within the motion gap, not a whole interval later:
    // either at once or by the timer re-aimed at the end of the gap.
    void motionWhileRunningIsLookedAtWithinTheGap() {
        Rig rig(*m_defaults);
        rig.pointer.announcesMotion = true;
        rig.pointer.current = {QPointF(200, 900), false};
        rig.delegate->applicationDidFinishLaunching();
        rig.pointer.move(QPointF(300, 800));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall); // woken: the pace stays up
        QCOMPARE(rig.delegate->tickGate().pace(), TickGate::Pace::Running);
        const int reads = rig.pointer.reads;
        rig.pointer.move(QPointF(960, 5));
        const QTimer* timer = rig.delegate->mouseTimer();
        const bool soonByTimer = timer->isActive() && timer->interval() <= TickGate::kMotionGapMs;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        const bool atOnce = rig.pointer.reads == reads + 1;
        QVERIFY2(soonByTimer != atOnce, soonByTimer ? "both" : "neither");
        QTRY_VERIFY(rig.delegate->state().isExpanded());
        QCOMPARE(timer->interval(), 33); // back to the regular interval after that tick
    }

    void withoutMotionReportsTheTickNeverRests() {
        Rig rig(*m_defaults); // this pointer announces nothing
        rig.pointer.current = {QPointF(200, 900), false};
        rig.delegate->applicationDidFinishLaunching();
        for (int i = 0; i < 5; ++i) {
            rig.delegate->trackMouse();
            QCOMPARE(rig.delegate->tickGate().pace(), TickGate::Pace::Running);
            QCOMPARE(rig.delegate->mouseTimer()->interval(), 33);
        }
        QCOMPARE(rig.pointer.forgets, 0);
    }

    void forcedOpenStopsTheTick() {
        qputenv("NOTCH_FORCE_EXPANDED", "1");
        Rig rig(*m_defaults);
        rig.pointer.announcesMotion = true;
        rig.delegate->applicationDidFinishLaunching();
        qunsetenv("NOTCH_FORCE_EXPANDED");
        rig.delegate->trackMouse();
        QCOMPARE(rig.delegate->tickGate().pace(), TickGate::Pace::Off);
        QVERIFY(!rig.delegate->mouseTimer()->isActive());
        rig.pointer.move(QPointF(100, 900));
        QCoreApplication::processEvents();
        QVERIFY(!rig.delegate->mouseTimer()->isActive());
        QCOMPARE(rig.pointer.reads, 0);
        QVERIFY(rig.delegate->state().isExpanded());
    }

    void aDestroyedDelegateHearsNoMoreMotion() {
        FakePointerSource* pointer = nullptr;
        {
            Rig rig(*m_defaults);
            rig.pointer.announcesMotion = true;
            rig.delegate->applicationDidFinishLaunching();
            rig.delegate.reset();
            rig.pointer.move(QPointF(960, 5)); // must not reach the destroyed delegate
            pointer = &rig.pointer;
            QVERIFY(pointer);
        }
        QCoreApplication::processEvents();
    }

    void noScreenEndsTheLaunch() {
        Rig rig(*m_defaults, {});
        QSignalSpy terminate(rig.delegate.get(), &AppDelegate::terminateRequested);
        rig.delegate->applicationDidFinishLaunching();
        QCOMPARE(terminate.count(), 1);
        QVERIFY(!rig.delegate->panel());
        QVERIFY(!rig.delegate->mouseTimer());
        QVERIFY(rig.keys.calls.isEmpty());
        rig.delegate->trackMouse(); // the tracker never runs without a screen
        QCOMPARE(rig.pointer.reads, 0);
    }

    void screenChoiceFollowsSettingsAndScreens() {
        const ScreenInfo a = FakeScreenList::screen("A", kMainFrame);
        const ScreenInfo b = FakeScreenList::notched("B", 1920);
        Rig rig(*m_defaults, {a, b});
        rig.delegate->applicationDidFinishLaunching();
        // "auto" takes the notched screen.
        QCOMPARE(rig.delegate->screenFrame(), b.metrics.frame);
        QCOMPARE(rig.delegate->state().collapsedSize(), QSizeF(112, 37));
        QCOMPARE(rig.delegate->notchView()->metrics().collapsedSize, QSizeF(112, 37));

        rig.delegate->model().settings().setPreferredScreen(AppScreens::identifier(a));
        QCOMPARE(rig.delegate->screenFrame(), kMainFrame);
        QCOMPARE(rig.delegate->panel()->pos(), QPoint(616, 0));
        QCOMPARE(rig.delegate->notchView()->metrics().collapsedSize, QSizeF(196, 32));
        QVERIFY(!rig.delegate->state().isExpanded());

        // The preferred screen goes away: the next screen notice falls back to the notched one.
        rig.screenList.list = {b};
        rig.delegate->applyScreen();
        QCOMPARE(rig.delegate->panel()->pos(), QPoint(1920 + 756 - 344, 0));
        // No screen at all: the island stays where it was.
        rig.screenList.list = {};
        rig.delegate->applyScreen();
        QCOMPARE(rig.delegate->screenFrame(), b.metrics.frame);
        QCOMPARE(rig.delegate->panel()->pos(), QPoint(1920 + 756 - 344, 0));
    }

    void openingSettingsCollapsesTheIsland() {
        Rig rig(*m_defaults);
        rig.delegate->applicationDidFinishLaunching();
        rig.delegate->setOpenedByHotkey(true);
        rig.delegate->model().setPaletteOpen(true);
        rig.delegate->setExpanded(true);

        rig.delegate->showSettingsWindow();
        QVERIFY(!rig.delegate->state().isExpanded());
        QVERIFY(!rig.delegate->openedByHotkey());
        QVERIFY(!rig.delegate->model().paletteOpen());
        SettingsWindow* window = rig.delegate->settingsWindow();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Configurações do Quillbay"));
        QCOMPARE(window->minimumSize(), QSize(480, 520));
        QCOMPARE(window->size(), QSize(540, 620));

        // Opening it through the model (tab bar, palette) reaches the same window.
        window->close();
        QVERIFY(!window->isVisible());
        rig.delegate->model().openSettings();
        QCOMPARE(rig.delegate->settingsWindow(), window);
        QVERIFY(window->isVisible());
    }

    void closingSettingsEndsARecording() {
        Rig rig(*m_defaults);
        rig.delegate->applicationDidFinishLaunching();
        rig.delegate->showSettingsWindow();
        SettingsService& s = rig.delegate->model().settings();
        s.beginRecording(HotkeyTarget::island);
        QVERIFY(s.recording());
        rig.delegate->settingsWindow()->close();
        QVERIFY(!s.recording());
    }

    void ctrlCommaOpensSettingsFromTheIsland() {
        Rig rig(*m_defaults);
        rig.delegate->applicationDidFinishLaunching();
        NotchPanel* panel = rig.delegate->panel();
        QStringList shortcuts;
        for (const QAction* a : panel->actions())
            shortcuts << a->text() + " " + a->shortcut().toString(QKeySequence::PortableText);
        QCOMPARE(shortcuts, QStringList({"Settings… Ctrl+,", "Quit Quillbay Ctrl+Q"}));

        rig.delegate->setExpanded(true);
        panel->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(panel));
        QTest::keyClick(panel, Qt::Key_Comma, Qt::ControlModifier);
        QVERIFY(rig.delegate->settingsWindow() && rig.delegate->settingsWindow()->isVisible());
        QVERIFY(!rig.delegate->state().isExpanded());
        QCOMPARE(rig.delegate->settingsWindow()->actions(), panel->actions());
    }

    void settingsWindowKeepsItsFrame() {
        const QRect frame(130, 90, 600, 700);
        {
            Rig rig(*m_defaults);
            rig.delegate->applicationDidFinishLaunching();
            rig.delegate->showSettingsWindow();
            rig.delegate->settingsWindow()->setGeometry(frame);
            rig.delegate->settingsWindow()->close();
        }
        // A new program run on the same store, after the first one ended and saved.
        m_defaults->flush();
        Defaults reread(m_defaults->filePath());
        Rig rig(reread);
        rig.delegate->applicationDidFinishLaunching();
        rig.delegate->showSettingsWindow();
        QCOMPARE(rig.delegate->settingsWindow()->geometry(), frame);
    }

    void unreadableFrameCentresTheWindow() {
        m_defaults->set(QLatin1String(SettingsWindow::kAutosaveName), QStringLiteral("not a frame!"));
        Rig rig(*m_defaults);
        rig.delegate->applicationDidFinishLaunching();
        rig.delegate->showSettingsWindow();
        SettingsWindow* window = rig.delegate->settingsWindow();
        QCOMPARE(window->size(), QSize(540, 620));
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(qAbs(window->geometry().center().x() - area.center().x()) <= 1);
    }

    void launchLineFormat_data() {
        QTest::addColumn<QRectF>("screen");
        QTest::addColumn<qreal>("safeTop");
        QTest::addColumn<QRectF>("panel");
        QTest::addColumn<QSizeF>("collapsed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole numbers")
            << kMainFrame << 0.0 << QRectF(616, 0, 688, 344) << QSizeF(196, 32)
            << "screen.frame=(0.0, 0.0, 1920.0, 1080.0) safeTop=0.0 panel.frame=(616.0, 0.0, 688.0, 344.0) "
               "level=101 visible=true collapsed=(196.0, 32.0)";
        QTest::newRow("left of the primary, fractions")
            << QRectF(-1366, 0, 1366, 768) << 37.5 << QRectF(-1027, 0, 688, 344) << QSizeF(112.25, 37.5)
            << "screen.frame=(-1366.0, 0.0, 1366.0, 768.0) safeTop=37.5 panel.frame=(-1027.0, 0.0, 688.0, "
               "344.0) level=101 visible=true collapsed=(112.25, 37.5)";
    }
    void launchLineFormat() {
        QFETCH(QRectF, screen);
        QFETCH(qreal, safeTop);
        QFETCH(QRectF, panel);
        QFETCH(QSizeF, collapsed);
        QFETCH(QString, expected);
        QCOMPARE(AppDelegate::launchLine(screen, safeTop, panel, 101, true, collapsed), expected);
    }

    void launchWritesTheLine() {
        TestSupport::LogCapture log;
        Rig rig(*m_defaults);
        rig.delegate->applicationDidFinishLaunching();
        QCOMPARE(
            log.lines().filter(QStringLiteral("screen.frame=")),
            QStringList{
                "[Quillbay] screen.frame=(0.0, 0.0, 1920.0, 1080.0) safeTop=0.0 "
                "panel.frame=(616.0, 0.0, 688.0, 344.0) level=101 visible=true collapsed=(196.0, 32.0)"});
    }

    // The large stores are read only once the island has been painted, and then all of them.
    void storesAreReadOnceTheIslandIsDrawn() {
        QVERIFY(QDir().mkpath(TestSupport::folders().supportDir()));
        const QString store = TestSupport::folders().supportDir() + "/commands.json";
        QVERIFY(AppPaths::writePrivate(
            R"([{"id":"5D1E5C3A-1111-4222-8333-944455556666","name":"api","command":"true"}])", store));
        const auto removeStore = qScopeGuard([&] { QFile::remove(store); });
        Rig rig(*m_defaults);
        DashboardModel& model = rig.delegate->model();
        QVERIFY(!model.commands().isStoreLoaded() && model.commands().commands().isEmpty());
        QStringList order;
        struct PaintSpy : QObject {
            QStringList* order;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint && !order->contains("painted"))
                    order->append("painted");
                return false;
            }
        } spy;
        spy.order = &order;
        connect(&model.commands(), &CommandsService::storeLoaded, this, [&] { order << "commands read"; });
        rig.delegate->applicationDidFinishLaunching();
        rig.delegate->notchView()->installEventFilter(&spy);
        QVERIFY(TestSupport::waitUntil(
            [&] {
                return model.commands().isStoreLoaded() && model.clipboard().isStoreLoaded() &&
                       model.news().isStoreLoaded() && model.profiles().isStoreLoaded();
            },
            10000));
        QCOMPARE(order, (QStringList{"painted", "commands read"}));
        QCOMPARE(model.commands().commands().size(), 1);
    }
};

QTEST_MAIN(tst_AppDelegate)
#include "tst_AppDelegate.moc"
