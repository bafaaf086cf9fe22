// The desktop's windows through xcb, on the connection Qt uses; see DesktopWindows.h.
#pragma once

#include "platform/DesktopWindows.h"
#include "platform/x11/X11Desktop.h"

#include <memory>

class X11DesktopWatch;
class X11KeyHold;

class X11DesktopWindows final : public DesktopWindows {
public:
    X11DesktopWindows();
    ~X11DesktopWindows() override;

    bool available() const override;
    bool compositorRunning() const override;
    bool showOnAllDesktops(WId window) override;
    bool setInputShape(WId window, const QRect& region) override;
    bool clearBoundingShape(WId window) override;
    bool managedWindowAbove(WId window, const QList<WId>& except) const override;
    WId topLevelOf(WId window) const override;
    bool stackDirectlyBelow(WId window, WId sibling) override;
    bool isViewable(WId window) const override;
    std::optional<quint32> inputFocus() const override;
    void setInputFocus(quint32 window) override;
    bool windowExists(quint32 window) const override;
    quint32 rootWindow() const override;
    bool holdKeysAfter(WId window) override;
    void passHeldKeys() override;
    bool watchChanges(std::function<void()> changed) override;

private:
    // Asked on each connection, not once a process.
    mutable X11Desktop::ConnectionFacts m_facts;
    std::unique_ptr<X11DesktopWatch>
        m_watch; // made at a watchChanges(), tried again at the next while it cannot be
    std::function<void()> m_changed;
    std::unique_ptr<X11KeyHold> m_keyHold; // made at the first holdKeysAfter()
};
