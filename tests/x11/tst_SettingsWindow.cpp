// The settings window with the real X11 key grabs and input on a private X server: Ctrl+, over the open
// island brings it up, a tab switched off there leaves the island's tab bar at once, a hot key
// recorded there works at once, Escape during a recording only cancels it, and Escape closes it.
#include "app/AppDelegate.h"
#include "app/NotchPanel.h"
#include "app/NotchState.h"
#include "app/SettingsWindow.h"
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "services/AppPaths.h"
#include "services/DashboardModel.h"
#include "services/Defaults.h"
#include "services/SettingsService.h"
#include "views/Switch.h"
#include "views/TabStrip.h"
#include "views/settings/FeaturesSection.h"
#include "views/settings/SettingsView.h"
#include "views/settings/ShortcutsSection.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

namespace {

constexpr int kWaitMs = 5000; // generous: each step takes a few event-loop turns

bool xdotool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A real click at the middle of `w`, once it is scrolled into view and laid out there.
bool clickOn(QWidget* w, QScrollArea* area) {
    QPoint p;
    const bool placed = TestSupport::waitUntil(
        [&] {
            area->verticalScrollBar()->setValue(w->mapTo(area->widget(), QPoint(0, 0)).y() - 60);
            p = w->mapToGlobal(w->rect().center());
            return QApplication::widgetAt(p) == w;
        },
        kWaitMs);
    // (--sync would wait forever for a pointer that is already there.)
    return placed && xdotool({"mousemove", QString::number(p.x()), QString::number(p.y()), "click", "1"});
}

} // namespace

class tst_SettingsWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<AppDelegate> m_app;

    TabStrip* tabBar() const { return m_app->panel()->findChild<TabStrip*>(); }
    bool windowShown() const { return m_app->settingsWindow() && m_app->settingsWindow()->isVisible(); }

    // Opens the island from its hot key, then the settings window with Ctrl+, as a user would.
    [[nodiscard]] bool openSettingsFromTheIsland() {
        return TestSupport::passes([&] {
            QVERIFY(xdotool({"mousemove", "200", "900"}));
            QVERIFY(xdotool({"key", "ctrl+alt+n"}));
            QVERIFY(TestSupport::waitUntil([this] { return m_app->state().isExpanded(); }, kWaitMs));
            QVERIFY(TestSupport::waitUntil([this] { return QApplication::activeWindow() == m_app->panel(); },
                                           kWaitMs));
            QVERIFY(xdotool({"key", "ctrl+comma"}));
            QVERIFY(TestSupport::waitUntil([this] { return windowShown(); }, kWaitMs));
            QVERIFY(TestSupport::waitUntil(
                [this] { return QApplication::activeWindow() == m_app->settingsWindow(); }, kWaitMs));
            QVERIFY(!m_app->state().isExpanded());
            QVERIFY(m_app->settingsView());
            // Clear of the island's panel, which stays above every window.
            m_app->settingsWindow()->move(1300, 420);
            QVERIFY(TestSupport::waitUntil(
                [this] { return m_app->settingsWindow()->pos() == QPoint(1300, 420); }, kWaitMs));
        });
    }

private slots:
    void initTestCase() {
        m_home = TestSupport::isolateHome();
        QVERIFY2(xdotool({"version"}), "xdotool is needed");
        m_defaults = std::make_unique<Defaults>(
            TestSupport::folders().defaultsFile(QStringLiteral("com.farrowlight.quillbay")));
        AppDelegate::Options options;
        options.trayIcon = false;
        options.model.updateHost = QString::fromLatin1(TestSupport::kUnusedLoopbackHost);
        m_app = std::make_unique<AppDelegate>(*m_defaults, TestSupport::folders(), Platform(), options);
        m_app->applicationDidFinishLaunching();
        QVERIFY(TestSupport::waitUntil([this] { return m_app->panel() && m_app->panel()->isVisible(); },
                                       kWaitMs));
    }
    void cleanupTestCase() {
        m_app.reset();
        m_defaults.reset();
    }

    void aTabSwitchedOffLeavesTheTabBar() {
        QVERIFY(openSettingsFromTheIsland());
        QVERIFY(tabBar()->button(DashboardTab::kit));
        SettingsView* view = m_app->settingsView();
        Switch* kit = FeaturesSection::rowSwitch(view->features()->rowFor(DashboardTab::kit));
        QVERIFY(kit && kit->isChecked());
        QVERIFY(clickOn(kit, view->scrollArea()));
        QVERIFY(TestSupport::waitUntil([this] { return !tabBar()->button(DashboardTab::kit); }, kWaitMs));
        QVERIFY(m_app->model().settings().disabledTabs().contains(DashboardTab::kit));
        // And back on, in its place (the row is made anew once the change is in).
        QVERIFY(TestSupport::waitUntil(
            [&] {
                kit = FeaturesSection::rowSwitch(view->features()->rowFor(DashboardTab::kit));
                return kit && kit->isVisible() && !kit->isChecked();
            },
            kWaitMs));
        QVERIFY(clickOn(kit, view->scrollArea()));
        QVERIFY(TestSupport::waitUntil([this] { return tabBar()->button(DashboardTab::kit) != nullptr; },
                                       kWaitMs));
    }

    void aRecordedHotKeyWorksAtOnce() {
        if (!windowShown())
            QVERIFY(openSettingsFromTheIsland());
        SettingsView* view = m_app->settingsView();
        QPushButton* record = view->shortcuts()->row(HotkeyTarget::island).record;
        QVERIFY(clickOn(record, view->scrollArea()));
        QVERIFY(TestSupport::waitUntil([this] { return m_app->model().settings().recording(); }, kWaitMs));
        QVERIFY(xdotool({"key", "ctrl+alt+j"}));
        QVERIFY(TestSupport::waitUntil([this] { return !m_app->model().settings().recording(); }, kWaitMs));
        QCOMPARE(m_app->model().settings().hotkeyKeyCode(), 38); // J
        // The new combination opens the island from anywhere; the old one is gone.
        QVERIFY(xdotool({"key", "ctrl+alt+j"}));
        QVERIFY(TestSupport::waitUntil([this] { return m_app->state().isExpanded(); }, kWaitMs));
        QVERIFY(xdotool({"key", "ctrl+alt+j"}));
        QVERIFY(TestSupport::waitUntil([this] { return !m_app->state().isExpanded(); }, kWaitMs));
    }

    // Escape during a recording ends the recording and nothing else: the window stays, and the hot key
    // is as it was.
    void escapeWhileRecordingOnlyCancelsIt() {
        if (!windowShown())
            QVERIFY(openSettingsFromTheIsland());
        SettingsView* view = m_app->settingsView();
        const int keyCode = m_app->model().settings().hotkeyKeyCode();
        QPushButton* record = view->shortcuts()->row(HotkeyTarget::island).record;
        QVERIFY(clickOn(record, view->scrollArea()));
        QVERIFY(TestSupport::waitUntil([this] { return m_app->model().settings().recording(); }, kWaitMs));
        QVERIFY(xdotool({"key", "Escape"}));
        QVERIFY(TestSupport::waitUntil([this] { return !m_app->model().settings().recording(); }, kWaitMs));
        // The key press that ended the recording is the one that would have closed the window: handled
        // by now.
        QVERIFY(windowShown());
        QCOMPARE(m_app->model().settings().hotkeyKeyCode(), keyCode);
    }

    void escapeClosesTheWindow() {
        if (!windowShown()) {
            m_app->showSettingsWindow();
            QVERIFY(TestSupport::waitUntil([this] { return windowShown(); }, kWaitMs));
        }
        m_app->settingsWindow()->activateWindow();
        QVERIFY(TestSupport::waitUntil(
            [this] { return QApplication::activeWindow() == m_app->settingsWindow(); }, kWaitMs));
        QVERIFY(xdotool({"key", "Escape"}));
        QVERIFY(TestSupport::waitUntil([this] { return !windowShown(); }, kWaitMs));
        // The view of that opening is gone; the next opening starts afresh.
        QVERIFY(TestSupport::waitUntil([this] { return m_app->settingsView() == nullptr; }, kWaitMs));
    }
};

QTEST_MAIN(tst_SettingsWindow)
#include "tst_SettingsWindow.moc"
