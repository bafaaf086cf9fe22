// The program's owner and start-up order: it chooses the platform (RealPlatform), builds the dashboard
// model and its services, the global hot keys, the island (state, screen follower, panel controller),
// the settings window, the tray entry and the background timer, and ties the settings to them.
#pragma once

#include "app/AppScreens.h"
#include "app/NotchState.h"
#include "app/RealPlatform.h"
#include "app/TickGate.h"
#include "platform/Platform.h"
#include "services/AppFolders.h"
#include "services/DashboardModel.h"

#include <QObject>
#include <QRectF>
#include <QSizeF>
#include <QTimer>

#include <memory>
#include <optional>

class AppMenu;
class CameraMirrorController;
class ClipboardPickerController;
class Defaults;
class HotKeyManager;
class NotchPanel;
class NotchView;
class PanelController;
class QSystemTrayIcon;
class ScreenFollower;
class SettingsView;
class SettingsWindow;

class AppDelegate : public QObject {
    Q_OBJECT
public:
    struct Options {
        bool trayIcon = true; // offered only where the desktop has a tray
        DashboardModel::Options model;
    };

    // Builds the hot-key registry, the island's state and the dashboard model (which creates every
    // service); the rest waits for applicationDidFinishLaunching().
    // `seams` holds the facilities a test hands in; every one left null is the real one of this desktop.
    // The program's files are kept in `folders`.
    AppDelegate(Defaults& defaults, const AppPaths::Folders& folders, QObject* parent = nullptr);
    AppDelegate(Defaults& defaults, const AppPaths::Folders& folders, Platform seams, Options options,
                QObject* parent = nullptr);
    ~AppDelegate() override;

    // The launch sequence; run once, from inside the event loop.
    void applicationDidFinishLaunching();
    // Quitting, once the event loop has ended: background work is cancelled, so the end is quick.
    void cancelWork();

    void setExpanded(bool expanded);
    void trackMouse();
    // One tick of the 60 s background refresh.
    void backgroundTick();

    // Places the island on the screen the settings prefer, after a change of the screens.
    void applyScreen();
    void showSettingsWindow();
    void quitFromMenu();

    HotKeyManager& hotKey() const { return *m_hotKey; }
    ClipboardPickerController* clipboardPicker() const { return m_clipboardPicker.get(); }
    NotchState& state() { return m_state; }
    DashboardModel& model() const { return *m_model; }
    NotchPanel* panel() const;
    NotchView* notchView() const;
    CameraMirrorController* cameraMirror() const { return m_cameraMirror.get(); }
    SettingsWindow* settingsWindow() const { return m_settingsWindow.get(); }
    // The settings window's content while the window is open (made afresh for each opening).
    SettingsView* settingsView() const;
    static bool ownWindow(quint32 window);
    void returnKeyboardFromSettings();
    QSystemTrayIcon* trayIcon() const;
    const QTimer* mouseTimer() const;
    const QTimer* backgroundTimer() const { return m_backgroundTimer.get(); }
    const TickGate& tickGate() const;
    std::optional<QRectF> screenFrame() const;
    bool forceExpanded() const;
    bool openedByHotkey() const;
    void setOpenedByHotkey(bool on);

    // The panel stands where a macOS pop-up-menu-level window would: above everything else.
    static constexpr int kPanelLevel = 101;

    // The launch report: rectangles as (x, y, w, h), sizes as (w, h), every number with at least
    // one fractional digit.
    static QString launchLine(const QRectF& screen, qreal safeTop, const QRectF& panel, int level,
                              bool visible, const QSizeF& collapsed);

signals:
    // The launch found no screen at all: the program should end.
    void terminateRequested();

private:
    // The launch steps that are more than a line.
    void buildMenu();
    // Reads the large stores once the island's first frame is on screen (or a second after launch).
    void loadStoresOnceDrawn();
    SettingsView* makeSettingsView();
    void logLaunch();
    void firstRefreshes();

    Defaults& m_defaults;
    Options m_options;
    RealPlatform m_real; // what no seam was given for
    Platform m_platform; // every slot filled

    // Created in this order; destroyed in the reverse, so nothing outlives what it observes.
    std::unique_ptr<HotKeyManager> m_hotKey;
    NotchState m_state;
    std::unique_ptr<DashboardModel> m_model;
    std::unique_ptr<ClipboardPickerController> m_clipboardPicker;
    std::unique_ptr<ScreenFollower> m_screenFollower;
    std::unique_ptr<PanelController> m_panelController; // the island's window, its view and its pointer tick
    std::unique_ptr<SettingsWindow> m_settingsWindow;
    quint32 m_settingsReturn = 0; // the window that gets the keyboard back when the settings close

    std::unique_ptr<CameraMirrorController> m_cameraMirror;
    AppMenu* m_menu = nullptr;
    std::unique_ptr<QTimer> m_backgroundTimer;
    bool m_launched = false;
};
