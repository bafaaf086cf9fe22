// Island rectangles; see IslandGeometry.h.
#include "app/IslandGeometry.h"

namespace IslandGeometry {

NotchGeometry notchGeometry(const NotchMetrics& screen) {
    NotchGeometry g;
    g.hasPhysicalNotch = screen.safeAreaTop > 0;
    if (g.hasPhysicalNotch && screen.auxiliaryTopLeftWidth && screen.auxiliaryTopRightWidth) {
        g.collapsedSize =
            QSizeF(screen.frame.width() - *screen.auxiliaryTopLeftWidth - *screen.auxiliaryTopRightWidth,
                   screen.safeAreaTop);
    }
    return g;
}

QRectF panelFrame(const QRectF& screen) {
    return QRectF(midX(screen) - kPanelWidth / 2.0, screen.top(), kPanelWidth, kPanelHeight);
}

QRectF closedRect(const QRectF& screen, const QSizeF& collapsedSize) {
    const QRectF island(midX(screen) - collapsedSize.width() / 2.0, screen.top(), collapsedSize.width(),
                        collapsedSize.height());
    return island.adjusted(-kClosedMarginX, -kClosedMarginY, kClosedMarginX, kClosedMarginY);
}

std::pair<QRectF, QRectF> earRects(const QRectF& closed) {
    return {QRectF(closed.left() - kEarWidth, closed.top(), kEarWidth, closed.height()),
            QRectF(closed.right(), closed.top(), kEarWidth, closed.height())};
}

QRectF timerEarRect(const QRectF& closed) {
    const qreal width = kTimerWingWidth - kClosedMarginX;
    return QRectF(closed.left() - width, closed.top(), width, closed.height());
}

QRectF hotZone(const QRectF& closed, bool indicatorsActive) {
    const qreal grow = indicatorsActive ? kIndicatorMarginX : 0;
    return closed.adjusted(-grow, 0, grow, 0);
}

QRectF openArea(const QRectF& screen, const QSizeF& expandedSize) {
    const QRectF dashboard(midX(screen) - expandedSize.width() / 2.0, screen.top(), expandedSize.width(),
                           expandedSize.height());
    return dashboard.adjusted(-kOpenAreaMargin, -kOpenAreaMargin, kOpenAreaMargin, kOpenAreaMargin);
}

QRectF islandRectInPanel(const QSizeF& panelSize, const QSizeF& islandSize) {
    return QRectF((panelSize.width() - islandSize.width()) / 2.0, 0, islandSize.width(), islandSize.height());
}

} // namespace IslandGeometry
