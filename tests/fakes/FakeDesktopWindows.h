// A desktop the test arranges by hand: whether it can be asked at all, the compositor, the keyboard
// focus, which windows exist and are shown, and what lies above the panel. Every shape and
// restacking request is recorded; changed() announces a change as the real watch does.
#pragma once

#include "platform/DesktopWindows.h"

#include <QHash>
#include <QSet>

#include <type_traits>

class FakeDesktopWindows final : public DesktopWindows {
public:
    struct Stacking {
        WId window = 0;
        WId sibling = 0;
    };

    bool available() const override { return present; }
    bool compositorRunning() const override { return compositor; }
    bool showOnAllDesktops(WId window) override {
        onAllDesktops.append(window);
        return present;
    }
    bool setInputShape(WId window, const QRect& region) override {
        inputShapes.insert(window, region);
        return acceptsShapes;
    }
    bool clearBoundingShape(WId window) override {
        cleared.append(window);
        return acceptsShapes;
    }
    bool managedWindowAbove(WId window, const QList<WId>& except) const override {
        for (WId w : managedAbove.value(window))
            if (!except.contains(w))
                return true;
        return false;
    }
    WId topLevelOf(WId window) const override {
        if (!existing.contains(quint32(window)))
            return 0;
        return frames.value(window, window);
    }
    bool stackDirectlyBelow(WId window, WId sibling) override {
        stacked.append({window, sibling});
        return true;
    }
    bool isViewable(WId window) const override { return viewable.contains(window); }
    std::optional<quint32> inputFocus() const override { return focus; }
    void setInputFocus(quint32 window) override {
        focus = window;
        focusSets.append(window);
    }
    bool windowExists(quint32 window) const override { return existing.contains(window); }
    quint32 rootWindow() const override { return root; }
    bool holdKeysAfter(WId window) override {
        holdingOn = window;
        return present;
    }
    void passHeldKeys() override {
        ++passes;
        // What waited goes where the keyboard is now.
        passedTo.append(focus.value_or(0));
    }
    bool watchChanges(std::function<void()> changed) override {
        m_changed = std::move(changed);
        return watchable;
    }

    // A window was shown or restacked somewhere on the desktop.
    void changed() {
        if (m_changed)
            m_changed();
    }

    bool present = false;
    bool compositor = false;
    bool acceptsShapes = true;
    bool watchable = true;
    std::optional<quint32> focus;
    quint32 root = 0x1e5;
    WId holdingOn = 0; // the window whose Escape and Return hold the keyboard
    int passes = 0;
    QList<quint32> passedTo; // the focus at each passHeldKeys()
    QList<quint32> focusSets;
    QSet<quint32> existing;
    QSet<WId> viewable;
    QHash<WId, WId> frames;              // window -> its window manager's frame
    QHash<WId, QList<WId>> managedAbove; // window -> managed top-level windows stacked above it
    QHash<WId, QRect> inputShapes;       // the last shape written per window
    QList<WId> cleared;
    QList<WId> onAllDesktops;
    QList<Stacking> stacked;

private:
    std::function<void()> m_changed;
};

static_assert(!std::is_abstract_v<FakeDesktopWindows>);
