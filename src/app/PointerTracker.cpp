// The island's open/close rule; see PointerTracker.h.
#include "app/PointerTracker.h"

#include "app/IslandGeometry.h"

#include <QByteArray>

namespace IG = IslandGeometry;

bool PointerTracker::forceExpandedRequested(const QByteArray& environmentValue) {
    return environmentValue == "1";
}

void PointerTracker::wantIgnoresMouse(TrackerDecision& decision, bool ignore) {
    if (m_appliedIgnoresMouse == ignore)
        return;
    decision.ignoresMouse = ignore;
    m_appliedIgnoresMouse = ignore;
}

TrackerDecision PointerTracker::step(const PointerSample& pointer, const TrackerContext& c) {
    TrackerDecision d;
    if (m_forceExpanded)
        return d;
    const QPointF& p = pointer.position;

    if (!c.expanded) {
        const QRectF closed = IG::closedRect(c.screenFrame, c.collapsedSize);
        if (c.mediaPresent) {
            const auto [left, right] = IG::earRects(closed);
            if (IG::contains(left, p) || IG::contains(right, p)) {
                // The collapsed island's media buttons take the click; the island stays closed.
                wantIgnoresMouse(d, false);
                d.overEar = true;
                return d;
            }
        } else if (c.timerButtonShown && IG::contains(IG::timerEarRect(closed), p)) {
            // Without media the timer's button is the one control beside the notch: it takes the
            // click, as the media buttons do, instead of opening the island under the pointer.
            wantIgnoresMouse(d, false);
            d.overEar = true;
            return d;
        }
        if (!IG::contains(IG::hotZone(closed, c.indicatorsActive), p)) {
            wantIgnoresMouse(d, true);
            return d;
        }
        if (pointer.primaryButtonDown)
            d.selectShelf = true;
        // Expanding sets the click-through itself; a passing "ignore" write would only be undone.
        d.expand = true;
        m_appliedIgnoresMouse = false;
        return d;
    }

    if (c.pickerOpen || c.qrInfoShown || c.paletteOpen || c.capturing || c.newsComposing ||
        c.profilesComposing || c.draggingOut)
        return d;
    const bool inside = IG::contains(IG::openArea(c.screenFrame, c.expandedSize), p);
    if (m_openedByHotkey) {
        if (inside)
            m_openedByHotkey = false;
        return d;
    }
    if (!inside) {
        d.collapse = true;
        m_appliedIgnoresMouse = true;
    }
    return d;
}

TrackerDecision PointerTracker::tick(PointerSource& pointer, const TrackerContext& context) {
    if (m_forceExpanded)
        return {};
    return step(pointer.sample(), context);
}

void PointerTracker::apply(const TrackerDecision& d, TrackerActions& actions) {
    if (d.ignoresMouse)
        actions.setIgnoresMouseEvents(*d.ignoresMouse);
    if (d.selectShelf)
        actions.selectShelfTab();
    if (d.expand)
        actions.setExpanded(true);
    else if (d.collapse)
        actions.setExpanded(false);
}
