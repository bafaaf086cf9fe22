#include "app/CameraMirrorController.h"

#include "services/CameraGeometry.h"
#include "services/CameraService.h"
#include "views/CameraContainerView.h"

#include <QGuiApplication>
#include <QScreen>

CameraMirrorController::CameraMirrorController(CameraService& service,
                                               std::function<std::optional<ScreenMetrics>()> screen,
                                               std::function<bool()> composited,
                                               std::function<void(QWidget&)> prepare, QObject* parent)
    : QObject(parent)
    , m_service(service)
    , m_screen(std::move(screen))
    , m_composited(std::move(composited))
    , m_prepare(std::move(prepare)) {
    connect(&m_service, &CameraService::isActiveChanged, this, &CameraMirrorController::follow);
    follow();
}

CameraMirrorController::~CameraMirrorController() {
    delete m_window.data();
}

void CameraMirrorController::follow() {
    if (!m_service.isActive()) {
        delete m_window.data();
        return;
    }
    if (m_window)
        return;
    std::optional<ScreenMetrics> screen = m_screen ? m_screen() : std::nullopt;
    if (!screen) {
        const QScreen* primary = QGuiApplication::primaryScreen();
        if (!primary)
            return; // no screen to show it on; the mirror runs unseen until one comes
        screen = ScreenMetrics{QRectF(primary->geometry()), 0, std::nullopt, std::nullopt};
    }
    m_window = new CameraContainerView(m_service, m_composited ? m_composited() : true);
    m_window->setFrame(CameraGeometry::initialFrame(screen->frame, screen->safeAreaTop, m_service.shape()));
    if (m_prepare)
        m_prepare(*m_window);
    m_window->show();
    m_window->raise();
}
