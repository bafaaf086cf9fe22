// The program's owner and start-up order: the island (panel, state, view), the dashboard model and
// its services, the global hot keys, the settings window, the tray entry and the two repeating
// timers, and the connections that tie the settings to the hot keys and the island's screen.
#pragma once

#include "app/AppScreens.h"
#include "app/NotchState.h"
#include "app/PointerTracker.h"
#include "app/TickGate.h"
#include "platform/Platform.h"

#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <QTimer>

#include <memory>
#include <optional>

class ActiveWindow;
class AlertSound;
class AreaCapture;
class AppMenu;
class CameraMirrorController;
class CameraSource;
class ClipboardPickerController;
class Clock;
class DashboardModel;
class FileRevealer;
class FileSender;
class DesktopWindows;
class Defaults;
class HotKeyManager;
class KeyEvents;
class KeyGrabBackend;
class LanAddress;
class MediaPlayers;
class BrightnessKeys;
class BrightnessReader;
class VolumeReader;
class NotchPanel;
class NotchView;
class OverlayScreenTools;
class Pasteboard;
class PointerSource;
class ProcessTable;
class QScreen;
class QSystemTrayIcon;
class ScreenColorSampler;
class SecretStore;
class ServiceLauncher;
class SettingsView;
class SettingsWindow;
class TextRecognizer;
class TickerFactory;
class TrustProbe;

class AppDelegate : public QObject, private TrackerActions {
    Q_OBJECT
public:
    struct Options {
        bool trayIcon = true; // offered only where the desktop has a tray
    };

    // Builds the hot-key registry, the island's state and the dashboard model (which creates every
    // service); the rest waits for applicationDidFinishLaunching().
    // `seams` holds the facilities a test hands in; every one left null is the real one of this desktop.
    explicit AppDelegate(Defaults& defaults, QObject* parent = nullptr);
    AppDelegate(Defaults& defaults, Platform seams, Options options, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The launch sequence; run once, from inside the event loop.
    void applicationDidFinishLaunching();

    void setExpanded(bool expanded) override;
    void trackMouse();
    // One tick of the 60 s background refresh.
    void backgroundTick();

    // Places the island on the screen the settings prefer, after a change of the screens.
    void applyScreen();
    void aplicarTela(const QString& preferida);
    void showSettingsWindow();
    void quitFromMenu();

    HotKeyManager& hotKey() const { return *m_hotKey; }
    ClipboardPickerController* clipboardPicker() const { return m_clipboardPicker.get(); }
    NotchState& state() { return m_state; }
    DashboardModel& model() const { return *m_model; }
    NotchPanel* panel() const { return m_panel.get(); }
    NotchView* notchView() const { return m_view; }
    CameraMirrorController* cameraMirror() const { return m_cameraMirror.get(); }
    SettingsWindow* settingsWindow() const { return m_settingsWindow.get(); }
    // The settings window's content while the window is open (made afresh for each opening).
    SettingsView* settingsView() const;
    static bool ownWindow(quint32 window);
    void returnKeyboardFromSettings();
    QSystemTrayIcon* trayIcon() const;
    const QTimer* mouseTimer() const { return m_mouseTimer.get(); }
    const QTimer* backgroundTimer() const { return m_backgroundTimer.get(); }
    const TickGate& tickGate() const { return m_tickGate; }
    std::optional<QRectF> screenFrame() const;
    bool forceExpanded() const { return m_tracker.forceExpanded(); }
    bool openedByHotkey() const { return m_tracker.openedByHotkey(); }
    void setOpenedByHotkey(bool on) { m_tracker.setOpenedByHotkey(on); }

    // The panel stands where a macOS pop-up-menu-level window would: above everything else.
    static constexpr int kPanelLevel = 101;

    // The launch report: rectangles as (x, y, w, h), sizes as (w, h), every number with at least
    // one fractional digit.
    static QString launchLine(const QRectF& screen, qreal safeTop, const QRectF& panel, int level,
                              bool visible, const QSizeF& collapsed);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // The launch found no screen at all: the program should end.
    void terminateRequested();

private:
    // TrackerActions
    void setIgnoresMouseEvents(bool ignore) override;
    void selectShelfTab() override;

    // The launch steps that are more than a line.
    void buildMenu();
    SettingsView* makeSettingsView();
    // Takes the screen the settings prefer (or the fallback) and the island's geometry from it;
    // false when there is no screen at all.
    bool takeScreen(const QString& preferred);
    void buildIsland();
    // Puts the panel on the taken screen, in front.
    void frontPanel();
    void logLaunch();
    void applyNotchGeometry(const ScreenInfo& screen);
    void tellWhatIsShown();
    void pushMetrics();
    void syncIslandShape();
    void firstRefreshes();
    void observeScreens();
    void watchScreen(QScreen* screen);
    TrackerContext trackerContext() const;
    // The pointer tick: woken by motion and by changes of the island, resting otherwise.
    void wakeTick();
    void applyPace(TickGate::Pace pace);
    TickGate::Conditions tickConditions() const;

    Defaults& m_defaults;
    Options m_options;
    // Real facilities, made only where no seam was given.
    std::unique_ptr<Clock> m_ownClock;
    std::unique_ptr<ServiceLauncher> m_ownLauncher;
    std::unique_ptr<ProcessTable> m_ownProcessTable;
    std::unique_ptr<TrustProbe> m_ownTrustProbe;
    std::unique_ptr<TickerFactory> m_ownTickers;
    std::unique_ptr<LanAddress> m_ownLanAddress;
    std::unique_ptr<MediaPlayers> m_ownMediaPlayers;
    std::unique_ptr<VolumeReader> m_ownVolume;
    std::unique_ptr<BrightnessReader> m_ownBrightness;
    std::unique_ptr<BrightnessKeys> m_ownBrightnessKeys;
    std::unique_ptr<Pasteboard> m_ownPasteboard;
    std::unique_ptr<ActiveWindow> m_ownActiveWindow;
    std::unique_ptr<KeyEvents> m_ownKeyEvents;
    std::unique_ptr<AlertSound> m_ownAlertSound;
    std::unique_ptr<FileRevealer> m_ownFileRevealer;
    std::unique_ptr<FileSender> m_ownFileSender;
    std::unique_ptr<SecretStore> m_ownSecrets;
    std::unique_ptr<KeyGrabBackend> m_ownKeyGrab;
    std::unique_ptr<PointerSource> m_ownPointer;
    std::unique_ptr<ScreenList> m_ownScreens;
    std::unique_ptr<CameraSource> m_ownCamera;
    std::unique_ptr<DesktopWindows> m_ownDesktop;
    std::unique_ptr<OverlayScreenTools> m_ownScreenTools; // area selection and colour sampling
    std::unique_ptr<TextRecognizer> m_ownTextRecognizer;
    Platform m_platform; // every slot filled

    PointerSource& m_pointer;
    ScreenList& m_screens;

    // Created in this order; destroyed in the reverse, so nothing outlives what it observes.
    std::unique_ptr<HotKeyManager> m_hotKey;
    NotchState m_state;
    std::unique_ptr<DashboardModel> m_model;
    std::unique_ptr<ClipboardPickerController> m_clipboardPicker;
    PointerTracker m_tracker; // holds openedByHotkey and forceExpanded
    std::optional<ScreenInfo> m_screen;
    std::unique_ptr<NotchPanel> m_panel;
    NotchView* m_view = nullptr; // owned by the panel
    std::unique_ptr<SettingsWindow> m_settingsWindow;
    quint32 m_settingsReturn = 0; // the window that gets the keyboard back when the settings close

    std::unique_ptr<CameraMirrorController> m_cameraMirror;
    AppMenu* m_menu = nullptr;
    std::unique_ptr<QTimer> m_mouseTimer;
    TickGate m_tickGate;
    bool m_ticking = false;
    bool m_tickQueued = false;
    // What the hot zone depends on besides the island's state, as the last tick saw it.
    bool m_zoneIndicators = false;
    bool m_zoneMedia = false;
    bool m_zoneTimer = false;
    std::unique_ptr<QTimer> m_backgroundTimer;
    QTimer m_screenChange; // folds a burst of screen notices into one re-placement
    bool m_shapeSyncQueued = false;
    bool m_contentPrepared = false;
    bool m_launched = false;
};
