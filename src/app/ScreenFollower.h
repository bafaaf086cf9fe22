// The island's screen: which one it stands on, and taking it again as screens come, go and change, or
// as the settings name another one.
#pragma once

#include "platform/ScreenList.h"

#include <QObject>
#include <QRectF>
#include <QTimer>

#include <optional>

class NotchState;
class QScreen;
class SettingsService;

class ScreenFollower : public QObject {
    Q_OBJECT
public:
    // Every argument outlives the follower.
    ScreenFollower(ScreenList& screens, NotchState& state, SettingsService& settings,
                   QObject* parent = nullptr);

    // Takes the screen the settings prefer (or the fallback) and the island's geometry from it; false
    // when there is no screen at all, and then the island keeps the screen it had.
    bool take();
    // None until a screen was taken.
    const std::optional<ScreenInfo>& screen() const { return m_screen; }
    std::optional<QRectF> frame() const;

    // Takes the screen again after a change of the screens, and tells who lists them.
    void applyScreen();
    // From now on a change of the preferred screen takes it, and a burst of screen notices (one added,
    // removed, resized, or another made primary) ends in one applyScreen().
    void follow();

signals:
    // A screen was taken again (possibly the same one): the island goes there.
    void screenTaken();
    // After applyScreen() has taken the screen: the list of screens may differ.
    void screensChanged();

private:
    void place();
    void watch(QScreen* screen);

    ScreenList& m_screens;
    NotchState& m_state;
    SettingsService& m_settings;
    std::optional<ScreenInfo> m_screen;
    QTimer m_screenChange; // folds a burst of screen notices into one re-placement
};
