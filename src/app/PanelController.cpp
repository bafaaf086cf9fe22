// The island's window and its pace; see PanelController.h.
#include "app/PanelController.h"

#include "app/AppMenu.h"
#include "app/NotchPanel.h"
#include "app/NotchState.h"
#include "app/ScreenFollower.h"
#include "services/AIUsageService.h"
#include "services/AgentsService.h"
#include "services/CommandsService.h"
#include "services/DashboardModel.h"
#include "services/HUDService.h"
#include "services/MediaService.h"
#include "services/NewsService.h"
#include "services/PomodoroService.h"
#include "services/ProfilesService.h"
#include "services/ShelfService.h"
#include "services/TelemetryService.h"
#include "services/UtilsState.h"
#include "views/DashboardView.h"
#include "views/NotchView.h"

#include <QEvent>

#include <algorithm>

PanelController::PanelController(DesktopWindows& desktop, PointerSource& pointer, NotchState& state,
                                 DashboardModel& model, const ScreenFollower& screen, QObject* parent)
    : QObject(parent)
    , m_desktop(desktop)
    , m_pointer(pointer)
    , m_state(state)
    , m_model(model)
    , m_screen(screen) {
    m_blankRelease.setSingleShot(true);
    m_blankRelease.setInterval(kBlankReleaseMs);
    connect(&m_blankRelease, &QTimer::timeout, this, &PanelController::releaseBlankPixels);
}

void PanelController::setWindowPixels(WindowPixels* pixels) {
    m_windowPixels = pixels;
    if (m_view)
        m_view->setWindowPixels(pixels);
}

PanelController::~PanelController() {
    m_pointer.setMovedHandler({});
    // The view observes the model: it goes first.
    m_panel.reset();
}

void PanelController::build(const AppMenu& menu) {
    m_view = new NotchView;
    m_view->setWindowPixels(m_windowPixels);
    m_panel = std::make_unique<NotchPanel>(m_desktop, m_view);
    m_panel->setWindowTitle(QStringLiteral("Quillbay island"));
    menu.addTo(m_panel.get());
    m_panel->placeOn(m_screen.screen()->metrics.frame);
    m_panel->setIgnoresMouseEvents(true);
    m_tracker.expandedApplied(false);

    m_view->observe(m_model);
    m_view->setContent(new DashboardView(m_model));
    m_view->installEventFilter(this);
    connect(&m_state, &NotchState::isExpandedChanged, this, &PanelController::pushMetrics);
    connect(&m_state, &NotchState::geometryChanged, this, &PanelController::pushMetrics);
    pushMetrics();
    // What only an open island shows may be read on a timer meanwhile; the collapsed island's elapsed
    // time only while it is collapsed.
    connect(&m_state, &NotchState::isExpandedChanged, this, &PanelController::tellWhatIsShown);
    tellWhatIsShown();

    // The palette and the screen capture are opened from the keyboard for one thing: once they go,
    // the keyboard goes back to the window the user was typing in, while the dashboard may stay open.
    connect(&m_model, &DashboardModel::paletteOpenChanged, this, [this] {
        if (!m_model.paletteOpen() && m_state.isExpanded() && m_panel)
            m_panel->releaseKeyboard();
    });
    connect(&m_model.utils(), &UtilsState::capturingChanged, this, [this] {
        if (m_model.utils().capturing())
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

void PanelController::tellWhatIsShown() {
    const bool open = m_state.isExpanded();
    m_model.hud().setIslandShown(open);
    m_model.media().setElapsedShown(!open);
}

void PanelController::front() {
    m_panel->placeOn(m_screen.screen()->metrics.frame);
    m_panel->show();
    m_panel->raise();
}

void PanelController::screenTaken() {
    pushMetrics();
    if (m_panel)
        front();
}

void PanelController::startTracking() {
    m_mouseTimer = std::make_unique<QTimer>();
    m_mouseTimer->setTimerType(Qt::PreciseTimer);
    m_mouseTimer->setInterval(TickGate::kRunningMs);
    connect(m_mouseTimer.get(), &QTimer::timeout, this, &PanelController::trackMouse);
    m_pointer.setMovedHandler([this] { wakeTick(); });
    connect(&m_state, &NotchState::isExpandedChanged, this, &PanelController::wakeTick);
    connect(&m_state, &NotchState::geometryChanged, this, &PanelController::wakeTick);
    connect(m_view, &NotchView::animatingChanged, this, [this](bool on) {
        if (on)
            wakeTick();
    });
    connect(m_view, &NotchView::inputsChanged, this, [this] {
        const bool timerButton = m_model.pomodoro().isRunning() && !m_model.hud().current();
        if (m_model.indicatorsActive() != m_zoneIndicators || m_model.mediaPresent() != m_zoneMedia ||
            timerButton != m_zoneTimer)
            wakeTick();
    });
    // What holds an open island open whatever the pointer does: once it goes, a resting tick must look
    // whether the pointer is still inside.
    connect(&m_model.commands(), &CommandsService::pickerOpenChanged, this, &PanelController::wakeTick);
    connect(&m_model.commands(), &CommandsService::qrInfoChanged, this, &PanelController::wakeTick);
    connect(&m_model.shelf(), &ShelfService::draggingOutChanged, this, &PanelController::wakeTick);
    connect(&m_model, &DashboardModel::paletteOpenChanged, this, &PanelController::wakeTick);
    connect(&m_model.utils(), &UtilsState::capturingChanged, this, &PanelController::wakeTick);
    connect(&m_model.news(), &NewsService::composingChanged, this, &PanelController::wakeTick);
    connect(&m_model.profiles(), &NewsService::composingChanged, this, &PanelController::wakeTick);
    m_clock.start();
    m_mouseTimer->start();
}

void PanelController::pushMetrics() {
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

bool PanelController::eventFilter(QObject* watched, QEvent* event) {
    // The view repaints on every animation frame: the panel's shape follows it, once per frame.
    if (watched == m_view && event->type() == QEvent::Paint && !m_contentPrepared) {
        // Once the island is on screen, and after whatever is already waiting: never before it shows.
        m_contentPrepared = true;
        QTimer::singleShot(0, this, [this] {
            if (m_view && !m_state.isExpanded())
                m_view->prepareContent();
        });
    }
    // The pointer crossing the open island's edge: a program's warp announces no motion, but this.
    if (watched == m_view && (event->type() == QEvent::Enter || event->type() == QEvent::Leave))
        wakeTick();
    // A repaint inside a shape that stays as it is (a pulse frame, the elapsed second) queues nothing.
    if (watched == m_view && event->type() == QEvent::Paint && !m_shapeSyncQueued &&
        !(m_shapeSynced && islandShape() == m_syncedShape)) {
        m_shapeSyncQueued = true;
        QMetaObject::invokeMethod(this, &PanelController::syncIslandShape, Qt::QueuedConnection);
    }
    // A paint of the whole view fills the whole window's copy, the part beyond a collapsed island with
    // its clear pixel. Those pages go back once the display server has read the paint (it allocates
    // the pages it reads), some time after the last paint of a burst.
    if (watched == m_view && event->type() == QEvent::Paint && !m_state.isExpanded() &&
        !m_view->isAnimating())
        m_blankRelease.start();
    return QObject::eventFilter(watched, event);
}

void PanelController::releaseBlankPixels() {
    if (m_panel && m_view && !m_state.isExpanded() && !m_view->isAnimating())
        m_panel->releaseBlankPixels();
}

PanelController::IslandShape PanelController::islandShape() const {
    const QRectF r = m_view->islandRect();
    const qreal from = m_state.collapsedSize().height(), to = NotchState::expandedSize().height();
    const qreal progress = to > from ? std::clamp((r.height() - from) / (to - from), 0.0, 1.0)
                                     : (m_state.isExpanded() ? 1.0 : 0.0);
    const IslandInputs& in = m_view->inputs();
    const bool drawn = m_state.hasPhysicalNotch() || in.simulateNotch || in.indicatorsActive ||
                       m_state.isExpanded() || progress > 0;
    return {r, 10.0 + 14.0 * progress, drawn};
}

void PanelController::syncIslandShape() {
    m_shapeSyncQueued = false;
    if (!m_panel || !m_view)
        return;
    m_syncedShape = islandShape();
    m_shapeSynced = true;
    m_panel->setIslandShape(m_syncedShape.rect, m_syncedShape.bottomRadius, m_syncedShape.drawn);
}

void PanelController::setExpanded(bool expanded) {
    m_state.setExpanded(expanded);
    // Before the panel takes the X focus, so the first key that arrives finds its field.
    if (expanded && m_view)
        if (auto* dashboard = qobject_cast<DashboardView*>(m_view->content()))
            dashboard->takeKeyboard();
    if (m_panel)
        m_panel->applyExpanded(expanded);
    m_tracker.expandedApplied(expanded);
    if (expanded) {
        m_model.ai().refresh(false);
        m_model.agents().refresh();
        m_model.telemetry().islandOpened();
    } else {
        m_model.setPaletteOpen(false);
        m_model.telemetry().islandClosed();
    }
}

TrackerContext PanelController::trackerContext() const {
    TrackerContext c;
    c.screenFrame = m_screen.screen()->metrics.frame;
    c.collapsedSize = m_state.collapsedSize();
    c.expandedSize = NotchState::expandedSize();
    c.expanded = m_state.isExpanded();
    c.indicatorsActive = m_model.indicatorsActive();
    c.mediaPresent = m_model.mediaPresent();
    c.timerButtonShown = m_model.pomodoro().isRunning() && !m_model.hud().current();
    c.pickerOpen = m_model.commands().pickerOpen();
    c.qrInfoShown = m_model.commands().qrInfo().has_value();
    c.draggingOut = m_model.shelf().draggingOut();
    c.paletteOpen = m_model.paletteOpen();
    c.capturing = m_model.utils().capturing();
    c.newsComposing = m_model.news().composing();
    c.profilesComposing = m_model.profiles().composing();
    return c;
}

void PanelController::trackMouse() {
    if (!m_screen.screen() || !m_panel || !m_mouseTimer || m_ticking)
        return;
    if (m_tracker.forceExpanded()) {
        applyPace(m_tickGate.ticked(tickConditions(), m_clock.elapsed()));
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
    applyPace(m_tickGate.ticked(tickConditions(), m_clock.elapsed()));
}

TickGate::Conditions PanelController::tickConditions() const {
    TickGate::Conditions c;
    c.tracking = !m_tracker.forceExpanded();
    c.motionReported = m_pointer.reportsMotion();
    c.animating = m_view && m_view->isAnimating();
    return c;
}

void PanelController::wakeTick() {
    // Queued, because a wake-up can come from inside setExpanded(). During a tick the wake-up only
    // keeps the pace up: that tick is already looking.
    const std::optional<int> delay = m_tickGate.wake(m_clock.elapsed());
    if (!delay || m_tickQueued || m_ticking || !m_mouseTimer)
        return;
    if (*delay > 0) {
        // The last tick was a moment ago: the next one comes at the end of the gap, not a full
        // interval later, so the newest position is never left waiting.
        if (!m_mouseTimer->isActive() || m_mouseTimer->remainingTime() > *delay)
            m_mouseTimer->start(*delay);
        return;
    }
    m_tickQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_tickQueued = false;
            trackMouse();
        },
        Qt::QueuedConnection);
}

void PanelController::applyPace(TickGate::Pace pace) {
    const int ms = TickGate::intervalMs(pace);
    if (ms == 0) {
        m_mouseTimer->stop();
        return;
    }
    if (m_mouseTimer->isActive() && m_mouseTimer->interval() == ms)
        return;
    m_mouseTimer->start(ms);
}

void PanelController::setIgnoresMouseEvents(bool ignore) {
    if (m_panel)
        m_panel->setIgnoresMouseEvents(ignore);
}

void PanelController::selectShelfTab() {
    m_model.setTab(TabSelection::shelf());
}
