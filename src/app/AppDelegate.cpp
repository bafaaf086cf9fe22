// The program's owner and start-up order; see AppDelegate.h.
#include "app/AppDelegate.h"

#include "app/AppMenu.h"
#include "app/CameraMirrorController.h"
#include "app/ClipboardPickerController.h"
#include "app/HotKeyManager.h"
#include "app/LaunchReport.h"
#include "app/NotchPanel.h"
#include "app/PanelController.h"
#include "app/PointerTracker.h"
#include "app/RealPlatform.h"
#include "app/ScreenFollower.h"
#include "app/SettingsWindow.h"
#include "platform/ActiveWindow.h"
#include "platform/DesktopWindows.h"
#include "services/AIUsageService.h"
#include "services/AccessibilityAuth.h"
#include "services/AgentsService.h"
#include "services/CommandsService.h"
#include "services/DashboardModel.h"
#include "services/Log.h"
#include "services/NewsService.h"
#include "services/ProfilesService.h"
#include "services/SettingsService.h"
#include "services/TelemetryService.h"
#include "services/UpdateService.h"
#include "views/AccessibilityExplanation.h"
#include "views/AppQuit.h"
#include "views/NotchView.h"
#include "views/settings/SettingsView.h"
#include "views/settings/ShortcutsSection.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QPointer>
#include <QWindow>

namespace {

constexpr int kBackgroundIntervalMs = 60 * 1000;
// The stores are read this long after launch at the latest, should the island not be drawn by then.
constexpr int kStoresAtLatestMs = 1000;

// Runs `done` once, from the event loop, after the first frame of `widget` has been painted.
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget* widget, std::function<void()> done)
        : QObject(widget)
        , m_done(std::move(done)) {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // Queued: the frame is painted and handed to the X server before this runs.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_done();
                    deleteLater();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    std::function<void()> m_done;
};

} // namespace

AppDelegate::AppDelegate(Defaults& defaults, const AppPaths::Folders& folders, QObject* parent)
    : AppDelegate(defaults, folders, Platform(), Options(), parent) {}

AppDelegate::AppDelegate(Defaults& defaults, const AppPaths::Folders& folders, Platform seams,
                         Options options, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_options(options)
    , m_platform(m_real.fill(seams)) {
    m_hotKey = std::make_unique<HotKeyManager>(*m_platform.keyGrab);
    // The large stores wait until the island is on screen (applicationDidFinishLaunching).
    m_model = std::make_unique<DashboardModel>(m_platform, m_defaults, folders, nullptr, StoreLoad::later,
                                               options.model);
    m_screenFollower = std::make_unique<ScreenFollower>(*m_platform.screens, m_state, m_model->settings());
    m_panelController = std::make_unique<PanelController>(*m_platform.desktop, *m_platform.pointer, m_state,
                                                          *m_model, *m_screenFollower);
    m_panelController->setWindowPixels(m_platform.windowPixels);
    connect(m_screenFollower.get(), &ScreenFollower::screenTaken, m_panelController.get(),
            &PanelController::screenTaken);
    connect(m_screenFollower.get(), &ScreenFollower::screensChanged, this, [this] {
        if (SettingsView* view = settingsView())
            view->screensChanged();
    });
    m_cameraMirror = std::make_unique<CameraMirrorController>(
        m_model->camera(),
        [this]() -> std::optional<ScreenMetrics> {
            const std::optional<ScreenInfo>& screen = m_screenFollower->screen();
            return screen ? std::optional<ScreenMetrics>(screen->metrics) : std::nullopt;
        },
        [this] { return m_platform.desktop->compositorRunning() || !m_platform.desktop->available(); },
        [this](QWidget& window) { m_platform.desktop->showOnAllDesktops(window.winId()); });
}

AppDelegate::~AppDelegate() {
    // The views observe the model: they go first.
    m_clipboardPicker.reset();
    m_cameraMirror.reset();
    m_settingsWindow.reset();
    m_panelController.reset();
    // Background work lives on the services' own pools: the model's end waits for it, before the seams
    // this object owns go.
}

void AppDelegate::cancelWork() {
    m_model->cancelWork();
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

    if (!m_screenFollower->take()) {
        emit terminateRequested();
        return;
    }

    m_real.fillAtLaunch(m_platform);
    m_clipboardPicker = std::make_unique<ClipboardPickerController>(
        m_model->clipboard(), m_model->accessibility(), *m_platform.activeWindow, *m_platform.keyEvents,
        *m_platform.clock, *m_platform.tickers,
        [this] { return m_platform.desktop->compositorRunning() || !m_platform.desktop->available(); });

    m_panelController->build(*m_menu);
    m_panelController->front();
    loadStoresOnceDrawn();

    if (PointerTracker::forceExpandedRequested(qgetenv("NOTCH_FORCE_EXPANDED"))) {
        m_panelController->setForceExpanded(true);
        setExpanded(true);
    }

    logLaunch();

    m_panelController->startTracking();

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
            self->m_panelController->setOpenedByHotkey(on);
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

    m_screenFollower->follow();
}

void AppDelegate::loadStoresOnceDrawn() {
    QPointer<AppDelegate> self(this);
    auto load = [self] {
        if (self)
            self->m_model->loadStores();
    };
    if (NotchView* view = notchView())
        new AfterFirstPaint(view, load);
    QTimer::singleShot(kStoresAtLatestMs, this, load);
}

void AppDelegate::buildMenu() {
    m_menu = new AppMenu(m_options.trayIcon, this);
    connect(m_menu, &AppMenu::settingsRequested, this, &AppDelegate::showSettingsWindow);
    connect(m_menu, &AppMenu::quitRequested, this, &AppDelegate::quitFromMenu);
}

void AppDelegate::logLaunch() {
    const ScreenMetrics& screen = m_screenFollower->screen()->metrics;
    const NotchPanel* panel = m_panelController->panel();
    Log::line(launchLine(screen.frame, screen.safeAreaTop, QRectF(panel->frameGeometry()), kPanelLevel,
                         panel->isVisible(), m_state.collapsedSize()));
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
    m_panelController->setExpanded(expanded);
}

void AppDelegate::trackMouse() {
    m_panelController->trackMouse();
}

void AppDelegate::applyScreen() {
    m_screenFollower->applyScreen();
}

NotchPanel* AppDelegate::panel() const {
    return m_panelController->panel();
}

NotchView* AppDelegate::notchView() const {
    return m_panelController->view();
}

const QTimer* AppDelegate::mouseTimer() const {
    return m_panelController->mouseTimer();
}

const TickGate& AppDelegate::tickGate() const {
    return m_panelController->tickGate();
}

bool AppDelegate::forceExpanded() const {
    return m_panelController->forceExpanded();
}

bool AppDelegate::openedByHotkey() const {
    return m_panelController->openedByHotkey();
}

void AppDelegate::setOpenedByHotkey(bool on) {
    m_panelController->setOpenedByHotkey(on);
}

std::optional<QRectF> AppDelegate::screenFrame() const {
    return m_screenFollower->frame();
}

QSystemTrayIcon* AppDelegate::trayIcon() const {
    return m_menu ? m_menu->trayIcon() : nullptr;
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
    const NotchPanel* panel = m_panelController->panel();
    if (panel && m_state.isExpanded() && panel->previousFocus() > 1)
        m_settingsReturn = panel->previousFocus();
    else if (const std::optional<WindowRef> active = m_platform.activeWindow->active();
             active && !ownWindow(active->window))
        m_settingsReturn = active->window;
    if (!settingsView())
        m_settingsWindow->setContent(makeSettingsView());
    m_panelController->setOpenedByHotkey(false);
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
    if (m_settingsReturn == 0)
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
    ScreenList* screens = m_platform.screens;
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
    AppQuit::confirmAndTerminate(int(m_model->commands().runningIDs().size()), m_panelController->panel());
}

QString AppDelegate::launchLine(const QRectF& screen, qreal safeTop, const QRectF& panel, int level,
                                bool visible, const QSizeF& collapsed) {
    return LaunchReport::line(screen, safeTop, panel, level, visible, collapsed);
}
