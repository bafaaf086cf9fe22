#include "platform/qt/OverlayScreenTools.h"

#include "platform/qt/ScreenOverlay.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

ScreenOverlay* OverlayScreenTools::makeOverlay(int mode) {
    if (m_open)
        return nullptr;
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return nullptr;
    const QImage shot = screen->grabWindow(0).toImage();
    if (shot.isNull())
        return nullptr;
    auto* overlay = new ScreenOverlay(ScreenOverlay::Mode(mode), shot, screen->geometry());
    overlay->setScreen(screen);
    m_open = overlay;
    return overlay;
}

void OverlayScreenTools::selectArea(std::function<void(std::optional<QImage>)> done) {
    ScreenOverlay* overlay = makeOverlay(int(ScreenOverlay::Mode::area));
    if (!overlay) {
        done(std::nullopt);
        return;
    }
    overlay->areaDone = std::move(done);
    overlay->open();
}

void OverlayScreenTools::sample(std::function<void(std::optional<QColor>)> done) {
    ScreenOverlay* overlay = makeOverlay(int(ScreenOverlay::Mode::color));
    if (!overlay) {
        done(std::nullopt);
        return;
    }
    overlay->colorDone = std::move(done);
    overlay->open();
}
