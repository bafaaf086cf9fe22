// The island's screen and its following; see ScreenFollower.h.
#include "app/ScreenFollower.h"

#include "app/AppScreens.h"
#include "app/IslandGeometry.h"
#include "app/NotchState.h"
#include "services/SettingsService.h"

#include <QGuiApplication>
#include <QScreen>

ScreenFollower::ScreenFollower(ScreenList& screens, NotchState& state, SettingsService& settings,
                               QObject* parent)
    : QObject(parent)
    , m_screens(screens)
    , m_state(state)
    , m_settings(settings) {
    m_screenChange.setSingleShot(true);
    m_screenChange.setInterval(0);
    connect(&m_screenChange, &QTimer::timeout, this, &ScreenFollower::applyScreen);
}

bool ScreenFollower::take() {
    const auto index = AppScreens::resolve(m_screens, m_settings.preferredScreen());
    if (!index)
        return false;
    m_screen = m_screens.screens().at(*index);
    m_state.applyNotchGeometry(IslandGeometry::notchGeometry(m_screen->metrics));
    return true;
}

std::optional<QRectF> ScreenFollower::frame() const {
    if (!m_screen)
        return std::nullopt;
    return m_screen->metrics.frame;
}

void ScreenFollower::place() {
    if (take())
        emit screenTaken();
}

void ScreenFollower::applyScreen() {
    place();
    emit screensChanged();
}

void ScreenFollower::follow() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app) {
        auto soon = [this] { m_screenChange.start(); };
        connect(app, &QGuiApplication::screenAdded, this, [this, soon](QScreen* s) {
            watch(s);
            soon();
        });
        connect(app, &QGuiApplication::screenRemoved, this, soon);
        connect(app, &QGuiApplication::primaryScreenChanged, this, soon);
        for (QScreen* s : QGuiApplication::screens())
            watch(s);
    }
    connect(&m_settings, &SettingsService::preferredScreenChanged, this, &ScreenFollower::place);
}

void ScreenFollower::watch(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, [this] { m_screenChange.start(); });
}
