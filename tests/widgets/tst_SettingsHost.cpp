// The settings window as the application hosts it, on fake screens and key grabs: a fresh view per
// opening, a hot key recorded through the window grabbed at once, a taken combination reported in the
// window, and the monitor list made of the connected screens.
#include "app/AppDelegate.h"
#include "app/AppScreens.h"
#include "app/HotKeyManager.h"
#include "app/SettingsWindow.h"
#include "fakes/FakeScreenList.h"
#include "fakes/OffscreenApp.h"
#include "fakes/TestSupport.h"
#include "services/AppPaths.h"
#include "services/DashboardModel.h"
#include "services/Defaults.h"
#include "services/PaletteActions.h"
#include "services/SettingsService.h"
#include "views/Spring.h"
#include "views/settings/MonitorSection.h"
#include "views/settings/PrivacySection.h"
#include "views/settings/SettingsView.h"
#include "views/settings/ShortcutsSection.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {

// Two screens, the first with a serial number; launched.
struct Rig : OffscreenApp {
    explicit Rig(Defaults& defaults)
        : OffscreenApp(defaults, {FakeScreenList::screen("DP-1", QRectF(0, 0, 1920, 1080), "S1"),
                                  FakeScreenList::screen("HDMI-1", QRectF(1920, 0, 1920, 1080))}) {
        delegate->applicationDidFinishLaunching();
    }
};

constexpr Qt::KeyboardModifiers kControlOption = Qt::ControlModifier | Qt::AltModifier;

} // namespace

class tst_SettingsHost : public QObject {
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
    }
    void cleanup() { m_defaults.reset(); }

    void eachOpeningStartsAfresh() {
        Rig rig(*m_defaults);
        rig.delegate->showSettingsWindow();
        QPointer<SettingsView> first = rig.delegate->settingsView();
        QVERIFY(first);
        first->privacy()->previewButton()->click();
        QVERIFY(first->privacy()->mostrarPrevia());
        // Opening again while open keeps the view.
        rig.delegate->model().openSettings();
        QCOMPARE(rig.delegate->settingsView(), first.data());
        // Close runs from inside the view; the view goes once control is back in the loop.
        first->closeButton()->click();
        QVERIFY(!rig.delegate->settingsWindow()->isVisible());
        QVERIFY(rig.delegate->settingsView() == nullptr);
        QTRY_VERIFY(first.isNull());
        rig.delegate->showSettingsWindow();
        QVERIFY(rig.delegate->settingsView());
        QVERIFY(!rig.delegate->settingsView()->privacy()->mostrarPrevia());
    }

    void thePaletteEntryOpensTheWindow() {
        Rig rig(*m_defaults);
        const PaletteActions palette(rig.delegate->model(), [] {});
        bool ran = false;
        for (const CommandPalette::Action& a : palette.entries()) {
            if (a.id == QLatin1String("settings")) {
                a.run();
                ran = true;
            }
        }
        QVERIFY(ran);
        QVERIFY(rig.delegate->settingsWindow() && rig.delegate->settingsWindow()->isVisible());
        QVERIFY(rig.delegate->settingsView());
    }

    void aRecordedHotKeyIsGrabbedAtOnce() {
        Rig rig(*m_defaults);
        rig.delegate->showSettingsWindow();
        SettingsView* view = rig.delegate->settingsView();
        QVERIFY(rig.keys.grabs.count(HotKeyManager::islandID));
        QPushButton* record = view->shortcuts()->row(HotkeyTarget::island).record;
        record->click();
        // While recording, nothing is grabbed, so the keys reach the window.
        QVERIFY(rig.keys.grabs.empty());
        rig.keys.calls.clear();
        QTest::keyClick(record, Qt::Key_J, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(!rig.delegate->model().settings().recording());
        QCOMPARE(rig.keys.grabs.at(HotKeyManager::islandID), QKeyCombination(kControlOption, Qt::Key_J));
        QVERIFY(rig.keys.calls.contains(QStringLiteral("grab 1 Ctrl+Alt+J")));
        // The new combination toggles the island; nothing else holds it.
        rig.keys.press(Qt::Key_J, kControlOption);
        QTRY_VERIFY(rig.delegate->state().isExpanded());
        QVERIFY(view->shortcuts()->problem().isEmpty());
    }

    void aTakenCombinationIsReported() {
        Rig rig(*m_defaults);
        rig.keys.taken << QKeyCombination(kControlOption, Qt::Key_J);
        rig.delegate->showSettingsWindow();
        SettingsView* view = rig.delegate->settingsView();
        QPushButton* record = view->shortcuts()->row(HotkeyTarget::island).record;
        record->click();
        QTest::keyClick(record, Qt::Key_J, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(!rig.delegate->model().settings().recording());
        QVERIFY(!rig.delegate->hotKey().isRegistered(HotKeyManager::islandID));
        QVERIFY(!view->shortcuts()->problem().isEmpty());
        // Recording again clears the message.
        record->click();
        QVERIFY(view->shortcuts()->problem().isEmpty());
        rig.delegate->model().settings().endRecording();
    }

    void monitorChoicesAreTheConnectedScreens() {
        Rig rig(*m_defaults);
        rig.delegate->showSettingsWindow();
        QComboBox* box = rig.delegate->settingsView()->monitor()->picker();
        QCOMPARE(box->count(), 3);
        QCOMPARE(box->itemText(1), QStringLiteral("ACME View 27 (DP-1)"));
        QCOMPARE(box->itemText(2), QStringLiteral("HDMI-1"));
        QCOMPARE(box->itemData(2).toString(), AppScreens::identifier(rig.screenList.list.at(1)));
        // Choosing a screen moves the island there.
        emit box->activated(2);
        QCOMPARE(rig.delegate->screenFrame(), QRectF(1920, 0, 1920, 1080));
        // A screen that goes away while the window is open leaves the list; the choice stays, disconnected.
        rig.screenList.list.removeLast();
        rig.delegate->applyScreen();
        QCOMPARE(box->count(), 3);
        QCOMPARE(box->currentText(), QStringLiteral("Chosen monitor (disconnected)"));
    }
};

QTEST_MAIN(tst_SettingsHost)
#include "tst_SettingsHost.moc"
