// Decides, from one pointer sample, whether the island opens, closes or passes clicks through.
// Pure and platform-free: the caller applies the decision to the panel, the state and the model.
#pragma once

#include "platform/PointerSource.h"

#include <QRectF>
#include <QSizeF>

#include <optional>

// What the tracker needs to know about the island and the dashboard at one tick.
struct TrackerContext {
    QRectF screenFrame;
    QSizeF collapsedSize;
    QSizeF expandedSize;
    bool expanded = false;
    bool indicatorsActive = false;
    bool mediaPresent = false;
    // The collapsed island's left wing holds the focus timer's button (the timer runs, no level shows).
    bool timerButtonShown = false;
    // Surfaces that keep an expanded island open whatever the pointer does.
    bool pickerOpen = false;        // a command form's file picker
    bool qrInfoShown = false;       // the phone QR view (`qrInfo` is set)
    bool draggingOut = false;       // a shelf entry is being dragged out of the island
    bool paletteOpen = false;       // the command palette
    bool capturing = false;         // the kit's screen capture
    bool newsComposing = false;     // the News tab's add field holds text
    bool profilesComposing = false; // the X tab's add field holds text
};

struct TrackerDecision {
    // Set only when the panel's click-through must change.
    std::optional<bool> ignoresMouse;
    bool selectShelf = false; // before expanding: a drag arriving at the notch opens on the Shelf tab
    bool expand = false;
    bool collapse = false;
    bool overEar = false;

    // Nothing to apply (an idle tick).
    bool isEmpty() const { return !ignoresMouse && !selectShelf && !expand && !collapse; }
};

// Where a decision goes: the panel's click-through, the dashboard's tab and `setExpanded(_:)`.
class TrackerActions {
public:
    virtual ~TrackerActions() = default;
    virtual void setIgnoresMouseEvents(bool ignore) = 0;
    virtual void selectShelfTab() = 0;
    virtual void setExpanded(bool expanded) = 0;
};

class PointerTracker {
public:
    // True only for the value "1"; any other value, or none, leaves tracking on.
    static bool forceExpandedRequested(const QByteArray& environmentValue);

    bool forceExpanded() const { return m_forceExpanded; }
    void setForceExpanded(bool on) { m_forceExpanded = on; }

    // Set when a hot key opens the island: it then stays open until the pointer has entered it once.
    bool openedByHotkey() const { return m_openedByHotkey; }
    void setOpenedByHotkey(bool on) { m_openedByHotkey = on; }

    // Opening or closing the island elsewhere (hot key, settings) also sets the panel's
    // click-through; the tracker must know, or it would skip a needed write later.
    void expandedApplied(bool expanded) { m_appliedIgnoresMouse = !expanded; }

    TrackerDecision step(const PointerSample& pointer, const TrackerContext& context);

    // One timer tick: reads the pointer only while tracking is on.
    TrackerDecision tick(PointerSource& pointer, const TrackerContext& context);

    // Applies a decision in the order that matters: click-through, then the Shelf tab, then
    // opening, so the dashboard opens directly on the tab that takes the drop.
    static void apply(const TrackerDecision& decision, TrackerActions& actions);

private:
    void wantIgnoresMouse(TrackerDecision& decision, bool ignore);

    bool m_forceExpanded = false;
    bool m_openedByHotkey = false;
    std::optional<bool> m_appliedIgnoresMouse;
};
