// The program's owner and start-up order; see AppDelegate.h.
#include "app/AppDelegate.h"

#include "app/AppMenu.h"
#include "app/CameraMirrorController.h"
#include "app/ClipboardPickerController.h"
#include "app/HotKeyManager.h"
#include "app/IslandGeometry.h"
#include "app/LaunchReport.h"
#include "app/NotchPanel.h"
#include "app/SettingsWindow.h"
#include "platform/ActiveWindow.h"
#include "platform/Clock.h"
#include "platform/DesktopWindows.h"
#include "platform/KeyEvents.h"
#include "platform/KeyGrabBackend.h"
#include "platform/Pasteboard.h"
#include "platform/canberra/CanberraAlertSound.h"
#include "platform/dbus/DBusMediaPlayers.h"
#include "platform/dbus/FreedesktopFileRevealer.h"
#include "platform/dbus/KdeConnectSender.h"
#include "platform/libsecret/LibsecretStore.h"
#include "platform/net/SystemLanAddress.h"
#include "platform/posix/PosixServiceLauncher.h"
#include "platform/procfs/LinuxProcessTable.h"
#include "platform/pulse/PulseVolumeReader.h"
#include "platform/qt/OverlayScreenTools.h"
#include "platform/qt/QtScreenList.h"
#include "platform/qt/QtTickerFactory.h"
#include "platform/qtmm/QtMultimediaCamera.h"
#include "platform/sysfs/SysfsBacklight.h"
#include "platform/tesseract/TesseractTextRecognizer.h"
#include "platform/x11/X11ActiveWindow.h"
#include "platform/x11/X11BrightnessKeys.h"
#include "platform/x11/X11DesktopWindows.h"
#include "platform/x11/X11KeyEvents.h"
#include "platform/x11/X11KeyGrabBackend.h"
#include "platform/x11/X11Pasteboard.h"
#include "platform/x11/X11PointerSource.h"
#include "platform/x11/X11TrustProbe.h"
#include "services/AIUsageService.h"
#include "services/AccessibilityAuth.h"
#include "services/AgentsService.h"
#include "services/CommandsService.h"
#include "services/DashboardModel.h"
#include "services/HUDService.h"
#include "services/Log.h"
#include "services/MediaService.h"
#include "services/NewsService.h"
#include "services/PomodoroService.h"
#include "services/ProfilesService.h"
#include "services/SettingsService.h"
#include "services/ShelfService.h"
#include "services/TelemetryService.h"
#include "services/UpdateService.h"
#include "services/UtilsState.h"
#include "views/AccessibilityExplanation.h"
#include "views/AppQuit.h"
#include "views/DashboardView.h"
#include "views/NotchView.h"
#include "views/settings/SettingsView.h"
#include "views/settings/ShortcutsSection.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QThreadPool>
#include <QWindow>

#include <algorithm>

namespace {

constexpr int kBackgroundIntervalMs = 60 * 1000;

template <typename T, typename Make> T* pick(T* seam, std::unique_ptr<T>& own, Make make) {
    if (seam)
        return seam;
    own = make();
    return own.get();
}

// One overlay maker serves both the area selection and the colour sampler.
OverlayScreenTools& screenTools(std::unique_ptr<OverlayScreenTools>& own) {
    if (!own)
        own = std::make_unique<OverlayScreenTools>();
    return *own;
}

} // namespace

AppDelegate::AppDelegate(Defaults& defaults, QObject* parent)
    : AppDelegate(defaults, Platform(), Options(), parent) {}

AppDelegate::AppDelegate(Defaults& defaults, Platform seams, Options options, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_options(options)
    , m_platform{.clock = pick(seams.clock, m_ownClock, [] { return std::make_unique<SystemClock>(); }),
                 .launcher = pick(seams.launcher, m_ownLauncher,
                                  [] { return std::make_unique<PosixServiceLauncher>(); }),
                 .processTable = pick(seams.processTable, m_ownProcessTable,
                                      [] { return std::make_unique<LinuxProcessTable>(); }),
                 .trustProbe = pick(seams.trustProbe, m_ownTrustProbe,
                                    [] { return std::make_unique<X11TrustProbe>(); }),
                 .tickers = pick(
                     seams.tickers, m_ownTickers,
                     []() -> std::unique_ptr<TickerFactory> { return std::make_unique<QtTickerFactory>(); }),
                 .lanAddress = pick(seams.lanAddress, m_ownLanAddress,
                                    [] { return std::make_unique<SystemLanAddress>(); }),
                 .pasteboard = pick(seams.pasteboard, m_ownPasteboard,
                                    []() -> std::unique_ptr<Pasteboard> {
                                        if (auto x11 = X11Pasteboard::create())
                                            return x11;
                                        return std::make_unique<NoPasteboard>();
                                    }),
                 .alertSound = pick(
                     seams.alertSound, m_ownAlertSound,
                     []() -> std::unique_ptr<AlertSound> { return std::make_unique<CanberraAlertSound>(); }),
                 .mediaPlayers = pick(
                     seams.mediaPlayers, m_ownMediaPlayers,
                     []() -> std::unique_ptr<MediaPlayers> { return std::make_unique<DBusMediaPlayers>(); }),
                 .volume = pick(
                     seams.volume, m_ownVolume,
                     []() -> std::unique_ptr<VolumeReader> { return std::make_unique<PulseVolumeReader>(); }),
                 .brightness = pick(seams.brightness, m_ownBrightness,
                                    []() -> std::unique_ptr<BrightnessReader> {
                                        return std::make_unique<SysfsBacklight>();
                                    }),
                 .brightnessKeys = pick(seams.brightnessKeys, m_ownBrightnessKeys,
                                        []() -> std::unique_ptr<BrightnessKeys> {
                                            if (auto x11 = X11BrightnessKeys::create())
                                                return x11;
                                            return std::make_unique<NoBrightnessKeys>();
                                        }),
                 .camera = pick(seams.camera, m_ownCamera,
                                []() -> std::unique_ptr<CameraSource> {
                                    return std::make_unique<QtMultimediaCamera>(
                                        QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                                        QLatin1String(QtMultimediaCamera::kModuleName));
                                }),
                 .fileRevealer = pick(seams.fileRevealer, m_ownFileRevealer,
                                      [] { return std::make_unique<FreedesktopFileRevealer>(); }),
                 .fileSender = pick(seams.fileSender, m_ownFileSender,
                                    [] { return std::make_unique<KdeConnectSender>(); }),
                 .secrets =
                     pick(seams.secrets, m_ownSecrets, [] { return std::make_unique<LibsecretStore>(); }),
                 .updateHost = seams.updateHost,
                 .keyGrab = pick(seams.keyGrab, m_ownKeyGrab,
                                 []() -> std::unique_ptr<KeyGrabBackend> {
                                     if (auto x11 = X11KeyGrabBackend::create())
                                         return x11;
                                     return std::make_unique<NoKeyGrabBackend>();
                                 }),
                 .pointer =
                     pick(seams.pointer, m_ownPointer, [] { return std::make_unique<X11PointerSource>(); }),
                 .screens =
                     pick(seams.screens, m_ownScreens, [] { return std::make_unique<QtScreenList>(); }),
                 .desktop =
                     pick(seams.desktop, m_ownDesktop, [] { return std::make_unique<X11DesktopWindows>(); }),
                 .activeWindow = seams.activeWindow,
                 .keyEvents = seams.keyEvents,
                 .areaCapture = seams.areaCapture ? seams.areaCapture : &screenTools(m_ownScreenTools),
                 .colorSampler = seams.colorSampler ? seams.colorSampler : &screenTools(m_ownScreenTools),
                 .textRecognizer = pick(seams.textRecognizer, m_ownTextRecognizer,
                                        []() -> std::unique_ptr<TextRecognizer> {
                                            return std::make_unique<TesseractTextRecognizer>();
                                        })}
    , m_pointer(*m_platform.pointer)
    , m_screens(*m_platform.screens) {
    m_hotKey = std::make_unique<HotKeyManager>(*m_platform.keyGrab);
    m_model = std::make_unique<DashboardModel>(m_platform, m_defaults);
    m_cameraMirror = std::make_unique<CameraMirrorController>(
        m_model->camera(),
        [this]() -> std::optional<ScreenMetrics> {
            return m_screen ? std::optional<ScreenMetrics>(m_screen->metrics) : std::nullopt;
        },
        [this] { return m_platform.desktop->compositorRunning() || !m_platform.desktop->available(); },
        [this](QWidget& window) { m_platform.desktop->showOnAllDesktops(window.winId()); });

    m_screenChange.setSingleShot(true);
    m_screenChange.setInterval(0);
    connect(&m_screenChange, &QTimer::timeout, this, &AppDelegate::applyScreen);
}

AppDelegate::~AppDelegate() {
    m_pointer.setMovedHandler({});
    // The view observes the model: it goes first.
    m_clipboardPicker.reset();
    m_cameraMirror.reset();
    m_settingsWindow.reset();
    m_panel.reset();
    // Work still on the shared pool (script runs, text recognition) calls seams this object owns.
    QThreadPool::globalInstance()->waitForDone();
}

void AppDelegate::applicationDidFinishLaunching() {
    if (m_launched)
        return;
    m_launched = true;

    buildMenu();

    QPointer<AppDelegate> self(this);
    m_model->setOpenSettings([self] {
        if (self)
            self->showSettingsWindow();
    });
    m_model->accessibility().setExplanation(&AccessibilityExplanation::ask);

    if (!takeScreen(m_model->settings().preferredScreen())) {
        emit terminateRequested();
        return;
    }

    // Made at launch, not before: each opens a connection of its own to the display.
    m_platform.activeWindow =
        pick(m_platform.activeWindow, m_ownActiveWindow, []() -> std::unique_ptr<ActiveWindow> {
            if (auto x11 = X11ActiveWindow::create())
                return x11;
            return std::make_unique<NoActiveWindow>();
        });
    m_platform.keyEvents = pick(m_platform.keyEvents, m_ownKeyEvents, []() -> std::unique_ptr<KeyEvents> {
        if (auto x11 = X11KeyEvents::create())
            return x11;
        return std::make_unique<NoKeyEvents>();
    });
    m_clipboardPicker = std::make_unique<ClipboardPickerController>(
        m_model->clipboard(), m_model->accessibility(), *m_platform.activeWindow, *m_platform.keyEvents,
        *m_platform.clock, *m_platform.tickers,
        [this] { return m_platform.desktop->compositorRunning() || !m_platform.desktop->available(); });

    buildIsland();
    frontPanel();

    if (PointerTracker::forceExpandedRequested(qgetenv("NOTCH_FORCE_EXPANDED"))) {
        m_tracker.setForceExpanded(true);
        setExpanded(true);
    }

    logLaunch();

    m_mouseTimer = std::make_unique<QTimer>();
    m_mouseTimer->setTimerType(Qt::PreciseTimer);
    m_mouseTimer->setInterval(TickGate::kRunningMs);
    connect(m_mouseTimer.get(), &QTimer::timeout, this, &AppDelegate::trackMouse);
    m_pointer.setMovedHandler([this] { wakeTick(); });
    connect(&m_state, &NotchState::isExpandedChanged, this, &AppDelegate::wakeTick);
    connect(&m_state, &NotchState::geometryChanged, this, &AppDelegate::wakeTick);
    connect(m_view, &NotchView::animatingChanged, this, [this](bool on) {
        if (on)
            wakeTick();
    });
    connect(m_view, &NotchView::inputsChanged, this, [this] {
        const bool timerButton = m_model->pomodoro().isRunning() && !m_model->hud().current();
        if (m_model->indicatorsActive() != m_zoneIndicators || m_model->mediaPresent() != m_zoneMedia ||
            timerButton != m_zoneTimer)
            wakeTick();
    });
    m_mouseTimer->start();

    firstRefreshes();

    m_backgroundTimer = std::make_unique<QTimer>();
    m_backgroundTimer->setInterval(kBackgroundIntervalMs);
    m_backgroundTimer->setTimerType(Qt::CoarseTimer); // shares its wake-up with any other
    connect(m_backgroundTimer.get(), &QTimer::timeout, this, &AppDelegate::backgroundTick);
    m_backgroundTimer->start();

    HotKeyActions actions;
    actions.isExpanded = [self] { return self && self->m_state.isExpanded(); };
    actions.setExpanded = [self](bool e) {
        if (self)
            self->setExpanded(e);
    };
    actions.paletteOpen = [self] { return self && self->m_model->paletteOpen(); };
    actions.setPaletteOpen = [self](bool open) {
        if (self)
            self->m_model->setPaletteOpen(open);
    };
    actions.setOpenedByHotkey = [self](bool on) {
        if (self)
            self->m_tracker.setOpenedByHotkey(on);
    };
    actions.toggleClipboardPicker = [self] {
        if (!self || !self->m_clipboardPicker)
            return;
        ClipboardPickerController* picker = self->m_clipboardPicker.get();
        picker->toggle();
        // The window manager gives the picker the keyboard a moment later: what is typed meanwhile waits.
        if (picker->isShown())
            self->m_hotKey->holdKeyboardUntil(
                [self] { return self && self->m_clipboardPicker && self->m_clipboardPicker->hasKeyboard(); });
    };
    m_hotKey->setActions(std::move(actions));
    // Hot keys 1, 2 and 3 in that order, then re-registered on every later change of the settings.
    m_hotKey->bindSettings(m_model->settings());

    observeScreens();
    SettingsService* settings = &m_model->settings();
    connect(settings, &SettingsService::preferredScreenChanged, this,
            [this, settings] { aplicarTela(settings->preferredScreen()); });
}

void AppDelegate::buildMenu() {
    m_menu = new AppMenu(m_options.trayIcon, this);
    connect(m_menu, &AppMenu::settingsRequested, this, &AppDelegate::showSettingsWindow);
    connect(m_menu, &AppMenu::quitRequested, this, &AppDelegate::quitFromMenu);
}

bool AppDelegate::takeScreen(const QString& preferred) {
    const auto index = AppScreens::resolve(m_screens, preferred);
    if (!index)
        return false;
    m_screen = m_screens.screens().at(*index);
    applyNotchGeometry(*m_screen);
    return true;
}

void AppDelegate::buildIsland() {
    m_view = new NotchView;
    m_panel = std::make_unique<NotchPanel>(*m_platform.desktop, m_view);
    m_panel->setWindowTitle(QStringLiteral("Quillbay island"));
    m_menu->addTo(m_panel.get());
    m_panel->placeOn(m_screen->metrics.frame);
    m_panel->setIgnoresMouseEvents(true);
    m_tracker.expandedApplied(false);

    m_view->observe(*m_model);
    m_view->setContent(new DashboardView(*m_model));
    m_view->installEventFilter(this);
    connect(&m_state, &NotchState::isExpandedChanged, this, &AppDelegate::pushMetrics);
    connect(&m_state, &NotchState::geometryChanged, this, &AppDelegate::pushMetrics);
    pushMetrics();
    // What only an open island shows may be read on a timer meanwhile; the collapsed island's elapsed
    // time only while it is collapsed.
    connect(&m_state, &NotchState::isExpandedChanged, this, &AppDelegate::tellWhatIsShown);
    tellWhatIsShown();

    // The palette and the screen capture are opened from the keyboard for one thing: once they go,
    // the keyboard goes back to the window the user was typing in, while the dashboard may stay open.
    connect(m_model.get(), &DashboardModel::paletteOpenChanged, this, [this] {
        if (!m_model->paletteOpen() && m_state.isExpanded() && m_panel)
            m_panel->releaseKeyboard();
    });
    connect(&m_model->utils(), &UtilsState::capturingChanged, this, [this] {
        if (m_model->utils().capturing())
            return;
        // Queued: the capture's own window is hidden first.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_panel)
                    m_panel->settleKeyboard();
            },
            Qt::QueuedConnection);
    });
}

void AppDelegate::tellWhatIsShown() {
    const bool open = m_state.isExpanded();
    m_model->hud().setIslandShown(open);
    m_model->media().setElapsedShown(!open);
}

void AppDelegate::frontPanel() {
    m_panel->placeOn(m_screen->metrics.frame);
    m_panel->show();
    m_panel->raise();
}

void AppDelegate::logLaunch() {
    Log::line(launchLine(m_screen->metrics.frame, m_screen->metrics.safeAreaTop,
                         QRectF(m_panel->frameGeometry()), kPanelLevel, m_panel->isVisible(),
                         m_state.collapsedSize()));
}

void AppDelegate::applyNotchGeometry(const ScreenInfo& screen) {
    m_state.applyNotchGeometry(IslandGeometry::notchGeometry(screen.metrics));
}

void AppDelegate::pushMetrics() {
    if (!m_view)
        return;
    IslandMetrics m;
    m.isExpanded = m_state.isExpanded();
    m.collapsedSize = m_state.collapsedSize();
    m.hasPhysicalNotch = m_state.hasPhysicalNotch();
    m.expandedSize = NotchState::expandedSize();
    m_view->setMetrics(m);
    syncIslandShape();
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    // The view repaints on every animation frame: the panel's shape follows it, once per frame.
    if (watched == m_view && event->type() == QEvent::Paint && !m_contentPrepared) {
        // Once the island is on screen, and after whatever is already waiting: never before it shows.
        m_contentPrepared = true;
        QTimer::singleShot(0, this, [this] {
            if (m_view && !m_state.isExpanded())
                m_view->prepareContent();
        });
    }
    if (watched == m_view && event->type() == QEvent::Paint && !m_shapeSyncQueued) {
        m_shapeSyncQueued = true;
        QMetaObject::invokeMethod(this, &AppDelegate::syncIslandShape, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void AppDelegate::syncIslandShape() {
    m_shapeSyncQueued = false;
    if (!m_panel || !m_view)
        return;
    const QRectF r = m_view->islandRect();
    const qreal from = m_state.collapsedSize().height(), to = NotchState::expandedSize().height();
    const qreal progress = to > from ? std::clamp((r.height() - from) / (to - from), 0.0, 1.0)
                                     : (m_state.isExpanded() ? 1.0 : 0.0);
    const IslandInputs& in = m_view->inputs();
    const bool drawn = m_state.hasPhysicalNotch() || in.simulateNotch || in.indicatorsActive ||
                       m_state.isExpanded() || progress > 0;
    m_panel->setIslandShape(r, 10.0 + 14.0 * progress, drawn);
}

void AppDelegate::firstRefreshes() {
    // AI usage waits for the first opening or the first background tick.
    m_model->agents().refresh();
    m_model->updates().removeLeftovers();
    m_model->updates().checkIfDue();
    m_model->news().refresh(false);
    m_model->profiles().refresh(false);
}

void AppDelegate::backgroundTick() {
    m_model->agents().refresh();
    m_model->ai().refresh(false);
    m_model->updates().checkIfDue();
    m_model->news().refresh(false);
    m_model->profiles().refresh(false);
}

void AppDelegate::setExpanded(bool expanded) {
    m_state.setExpanded(expanded);
    // Before the panel takes the X focus, so the first key that arrives finds its field.
    if (expanded && m_view)
        if (auto* dashboard = qobject_cast<DashboardView*>(m_view->content()))
            dashboard->takeKeyboard();
    if (m_panel)
        m_panel->applyExpanded(expanded);
    m_tracker.expandedApplied(expanded);
    if (expanded) {
        m_model->ai().refresh(false);
        m_model->agents().refresh();
        m_model->telemetry().islandOpened();
    } else {
        m_model->setPaletteOpen(false);
        m_model->telemetry().islandClosed();
    }
}

TrackerContext AppDelegate::trackerContext() const {
    TrackerContext c;
    c.screenFrame = m_screen->metrics.frame;
    c.collapsedSize = m_state.collapsedSize();
    c.expandedSize = NotchState::expandedSize();
    c.expanded = m_state.isExpanded();
    c.indicatorsActive = m_model->indicatorsActive();
    c.mediaPresent = m_model->mediaPresent();
    c.timerButtonShown = m_model->pomodoro().isRunning() && !m_model->hud().current();
    c.pickerOpen = m_model->commands().pickerOpen();
    c.qrInfoShown = m_model->commands().qrInfo().has_value();
    c.draggingOut = m_model->shelf().draggingOut();
    c.paletteOpen = m_model->paletteOpen();
    c.capturing = m_model->utils().capturing();
    c.newsComposing = m_model->news().composing();
    c.profilesComposing = m_model->profiles().composing();
    return c;
}

void AppDelegate::trackMouse() {
    if (!m_screen || !m_panel || !m_mouseTimer || m_ticking)
        return;
    if (m_tracker.forceExpanded()) {
        applyPace(m_tickGate.ticked(tickConditions()));
        return;
    }
    m_ticking = true;
    if (m_tickGate.pace() == TickGate::Pace::Resting)
        m_pointer.forgetCached(); // woken from rest: a program may also have moved it meanwhile
    const TrackerContext context = trackerContext();
    m_zoneIndicators = context.indicatorsActive;
    m_zoneMedia = context.mediaPresent;
    m_zoneTimer = context.timerButtonShown;
    const TrackerDecision d = m_tracker.tick(m_pointer, context);
    if (!d.isEmpty())
        PointerTracker::apply(d, *this);
    m_ticking = false;
    applyPace(m_tickGate.ticked(tickConditions()));
}

TickGate::Conditions AppDelegate::tickConditions() const {
    TickGate::Conditions c;
    c.tracking = !m_tracker.forceExpanded();
    c.motionReported = m_pointer.reportsMotion();
    c.expanded = m_state.isExpanded();
    c.animating = m_view && m_view->isAnimating();
    return c;
}

void AppDelegate::wakeTick() {
    // A resting tick runs at once, so motion opens the island without waiting for a check; queued,
    // because a wake-up can come from inside setExpanded().
    // During a tick the wake-up only keeps the pace up: that tick is already looking.
    if (!m_tickGate.wake() || m_tickQueued || m_ticking)
        return;
    m_tickQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_tickQueued = false;
            trackMouse();
        },
        Qt::QueuedConnection);
}

void AppDelegate::applyPace(TickGate::Pace pace) {
    const int ms = TickGate::intervalMs(pace);
    if (ms == 0) {
        m_mouseTimer->stop();
        return;
    }
    if (m_mouseTimer->isActive() && m_mouseTimer->interval() == ms)
        return;
    m_mouseTimer->start(ms);
}

void AppDelegate::setIgnoresMouseEvents(bool ignore) {
    if (m_panel)
        m_panel->setIgnoresMouseEvents(ignore);
}

void AppDelegate::selectShelfTab() {
    m_model->setTab(TabSelection::shelf());
}

QSystemTrayIcon* AppDelegate::trayIcon() const {
    return m_menu ? m_menu->trayIcon() : nullptr;
}

std::optional<QRectF> AppDelegate::screenFrame() const {
    if (!m_screen)
        return std::nullopt;
    return m_screen->metrics.frame;
}

void AppDelegate::observeScreens() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app)
        return;
    auto soon = [this] { m_screenChange.start(); };
    connect(app, &QGuiApplication::screenAdded, this, [this, soon](QScreen* s) {
        watchScreen(s);
        soon();
    });
    connect(app, &QGuiApplication::screenRemoved, this, soon);
    connect(app, &QGuiApplication::primaryScreenChanged, this, soon);
    for (QScreen* s : QGuiApplication::screens())
        watchScreen(s);
}

void AppDelegate::watchScreen(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, [this] { m_screenChange.start(); });
}

void AppDelegate::applyScreen() {
    aplicarTela(m_model->settings().preferredScreen());
    if (SettingsView* view = settingsView())
        view->screensChanged();
}

void AppDelegate::aplicarTela(const QString& preferida) {
    if (!takeScreen(preferida))
        return;    // the island stays where it is
    pushMetrics(); // also when the size stayed: the view takes the new screen's values at once
    if (m_panel)
        frontPanel();
}

void AppDelegate::showSettingsWindow() {
    if (!m_settingsWindow) {
        m_settingsWindow = std::make_unique<SettingsWindow>(m_defaults);
        m_menu->addTo(m_settingsWindow.get());
        SettingsService* settings = &m_model->settings();
        // A hot-key recording never outlives the window it was started from.
        connect(m_settingsWindow.get(), &SettingsWindow::closed, settings, &SettingsService::endRecording);
        // The view's state lasts as long as one opening of the window.
        connect(m_settingsWindow.get(), &SettingsWindow::closed, this, [this] {
            if (m_settingsWindow)
                m_settingsWindow->setContent(nullptr);
            returnKeyboardFromSettings();
        });
    }
    // Before the island hands its keyboard back: the window it goes to is the one to return to later.
    m_settingsReturn = 0;
    if (m_panel && m_state.isExpanded() && m_panel->previousFocus() > 1)
        m_settingsReturn = m_panel->previousFocus();
    else if (m_platform.activeWindow)
        if (const std::optional<WindowRef> active = m_platform.activeWindow->active();
            active && !ownWindow(active->window))
            m_settingsReturn = active->window;
    if (!settingsView())
        m_settingsWindow->setContent(makeSettingsView());
    m_tracker.setOpenedByHotkey(false);
    setExpanded(false);
    m_settingsWindow->present();
}

bool AppDelegate::ownWindow(quint32 window) {
    for (QWindow* w : QGuiApplication::allWindows())
        if (w->handle() && quint32(w->winId()) == window)
            return true;
    return false;
}

void AppDelegate::returnKeyboardFromSettings() {
    if (!m_platform.activeWindow || m_settingsReturn == 0)
        return;
    // The window manager may pick nobody, or still name the closed window: then it goes back to
    // where the user was; a window the user chose meanwhile keeps it.
    const std::optional<WindowRef> active = m_platform.activeWindow->active();
    if (active && !ownWindow(active->window))
        return;
    m_platform.activeWindow->activate(WindowRef{m_settingsReturn, std::nullopt});
}

SettingsView* AppDelegate::settingsView() const {
    return m_settingsWindow ? qobject_cast<SettingsView*>(m_settingsWindow->content()) : nullptr;
}

SettingsView* AppDelegate::makeSettingsView() {
    DashboardModel& model = *m_model;
    SettingsView::Services services{model.settings(), model.customTabs(), model.accessibility(),
                                    model.updates(),  model.telemetry(),  model.language()};
    SettingsView::Actions actions;
    QPointer<AppDelegate> self(this);
    actions.onClose = [self] {
        if (self && self->m_settingsWindow)
            self->m_settingsWindow->close();
    };
    actions.onQuit = [self] {
        if (self)
            QMetaObject::invokeMethod(self, &AppDelegate::quitFromMenu, Qt::QueuedConnection);
    };
    ScreenList* screens = &m_screens;
    actions.screens = [screens] {
        QList<ScreenChoice> choices;
        for (const ScreenInfo& s : screens->screens()) {
            const QString product = (s.manufacturer + u' ' + s.model).trimmed();
            choices << ScreenChoice{AppScreens::identifier(s),
                                    product.isEmpty() ? s.name
                                                      : product + QStringLiteral(" (") + s.name + u')'};
        }
        return choices;
    };
    actions.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    auto* view = new SettingsView(services, std::move(actions));
    ShortcutsSection* shortcuts = view->shortcuts();
    SettingsService* settings = &model.settings();
    connect(m_hotKey.get(), &HotKeyManager::unavailable, shortcuts, [shortcuts, settings](quint32 id) {
        const quint32 recorded = settings->recordingTarget() == HotkeyTarget::island
                                     ? HotKeyManager::islandID
                                     : HotKeyManager::clipboardPickerID;
        if (id == recorded)
            shortcuts->showProblem(
                ShortcutsSection::tr("That shortcut is already taken by another app. Record another one."));
    });
    return view;
}

void AppDelegate::quitFromMenu() {
    AppQuit::confirmAndTerminate(int(m_model->commands().runningIDs().size()), m_panel.get());
}

QString AppDelegate::launchLine(const QRectF& screen, qreal safeTop, const QRectF& panel, int level,
                                bool visible, const QSizeF& collapsed) {
    return LaunchReport::line(screen, safeTop, panel, level, visible, collapsed);
}
