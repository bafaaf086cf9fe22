// The island's window and its pace: the panel and its view, opening and closing, the pointer tick
// that decides both, the panel's shape following the view, and the keyboard handed back when a
// surface opened from it goes away.
#pragma once

#include "app/PointerTracker.h"
#include "app/TickGate.h"

#include <QElapsedTimer>
#include <QObject>
#include <QRectF>
#include <QTimer>

#include <memory>

class AppMenu;
class DashboardModel;
class DesktopWindows;
class NotchPanel;
class NotchState;
class NotchView;
class ScreenFollower;
class WindowPixels;

class PanelController : public QObject, private TrackerActions {
    Q_OBJECT
public:
    // Every argument outlives the controller. Nothing is on screen until build().
    PanelController(DesktopWindows& desktop, PointerSource& pointer, NotchState& state, DashboardModel& model,
                    const ScreenFollower& screen, QObject* parent = nullptr);
    ~PanelController() override;

    // Makes the panel and its view on the taken screen: not shown yet, letting every click through.
    void build(const AppMenu& menu);
    // The island's small repaints go straight onto its window through `pixels` (null: the usual path).
    void setWindowPixels(WindowPixels* pixels);
    // Puts the panel on the taken screen, in front.
    void front();
    // The island's screen was taken again: the view takes its values at once (also when the size
    // stayed), and a built panel goes there.
    void screenTaken();
    // Starts the pointer tick at its full rate; motion and changes of the island wake it from then on.
    void startTracking();

    void setExpanded(bool expanded) override;
    void trackMouse();

    NotchPanel* panel() const { return m_panel.get(); }
    NotchView* view() const { return m_view; }
    const QTimer* mouseTimer() const { return m_mouseTimer.get(); }
    const TickGate& tickGate() const { return m_tickGate; }
    bool forceExpanded() const { return m_tracker.forceExpanded(); }
    void setForceExpanded(bool on) { m_tracker.setForceExpanded(on); }
    bool openedByHotkey() const { return m_tracker.openedByHotkey(); }
    void setOpenedByHotkey(bool on) { m_tracker.setOpenedByHotkey(on); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // TrackerActions
    void setIgnoresMouseEvents(bool ignore) override;
    void selectShelfTab() override;

    void tellWhatIsShown();
    void pushMetrics();
    void syncIslandShape();
    // Gives back the clear pages of the window's copy of its pixels, once the island rests collapsed.
    void releaseBlankPixels();
    // The panel's shape as the view stands now.
    struct IslandShape {
        QRectF rect;
        qreal bottomRadius = 0;
        bool drawn = false;
        bool operator==(const IslandShape&) const = default;
    };
    IslandShape islandShape() const;
    TrackerContext trackerContext() const;
    // The pointer tick: woken by motion and by changes of the island, resting otherwise.
    void wakeTick();
    void applyPace(TickGate::Pace pace);
    TickGate::Conditions tickConditions() const;

    DesktopWindows& m_desktop;
    PointerSource& m_pointer;
    NotchState& m_state;
    DashboardModel& m_model;
    const ScreenFollower& m_screen;

    PointerTracker m_tracker;               // holds openedByHotkey and forceExpanded
    WindowPixels* m_windowPixels = nullptr; // outlives the panel; may be null
    std::unique_ptr<NotchPanel> m_panel;
    NotchView* m_view = nullptr; // owned by the panel
    std::unique_ptr<QTimer> m_mouseTimer;
    TickGate m_tickGate;
    QElapsedTimer m_clock; // the gate's time
    bool m_ticking = false;
    bool m_tickQueued = false;
    // What the hot zone depends on besides the island's state, as the last tick saw it.
    bool m_zoneIndicators = false;
    bool m_zoneMedia = false;
    bool m_zoneTimer = false;
    bool m_shapeSyncQueued = false;
    // Long past the display server's read of a paint, short against a collapsed island's rest.
    static constexpr int kBlankReleaseMs = 2000;
    QTimer m_blankRelease;
    bool m_shapeSynced = false;
    IslandShape m_syncedShape; // what the panel was last given
    bool m_contentPrepared = false;
};
