// Where the island's panel, notch and hot rectangles lie on a screen, as pure functions.
// Qt's y-down global coordinates: a screen's top edge is frame.top().
#pragma once

#include "platform/ScreenList.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>
#include <utility>

namespace IslandGeometry {

inline constexpr qreal kPanelWidth = 688;
inline constexpr qreal kPanelHeight = 344;
inline constexpr QSizeF kDefaultCollapsedSize{196, 32};
inline constexpr qreal kClosedMarginX = 4;
inline constexpr qreal kClosedMarginY = 2;
inline constexpr qreal kIndicatorMarginX = 30;
inline constexpr qreal kEarWidth = 108;
inline constexpr qreal kTimerWingWidth = 64;
inline constexpr qreal kOpenAreaMargin = 12;

// The part of a screen that decides the collapsed island's size.
using NotchMetrics = ScreenMetrics;

struct NotchGeometry {
    bool hasPhysicalNotch = false;
    QSizeF collapsedSize = kDefaultCollapsedSize;
};

NotchGeometry notchGeometry(const NotchMetrics& screen);

// Horizontal centre without QRect::center()'s integer rounding.
inline qreal midX(const QRectF& r) {
    return r.x() + r.width() / 2.0;
}

// Half-open containment, [left, right) x [top, bottom), so that neighbouring rectangles never
// both claim a pixel.
inline bool contains(const QRectF& r, const QPointF& p) {
    return p.x() >= r.left() && p.x() < r.right() && p.y() >= r.top() && p.y() < r.bottom();
}

// The panel: 688 x 344, centred horizontally, top edge on the screen's top edge.
QRectF panelFrame(const QRectF& screen);

// The collapsed island's rectangle plus 4 sideways and 2 above and below.
QRectF closedRect(const QRectF& screen, const QSizeF& collapsedSize);

// The two media ears beside the closed rectangle, left then right.
std::pair<QRectF, QRectF> earRects(const QRectF& closed);

// The part of the timer's wing (64 wide, left of the collapsed island) outside the closed rectangle.
QRectF timerEarRect(const QRectF& closed);

// Where the pointer expands a collapsed island: the closed rectangle, 30 wider on each side while
// indicators show.
QRectF hotZone(const QRectF& closed, bool indicatorsActive);

// Where the pointer keeps an expanded island open: the dashboard plus 12 on every side.
QRectF openArea(const QRectF& screen, const QSizeF& expandedSize);

// The island drawn at the top centre of a panel of the given size, in panel coordinates.
QRectF islandRectInPanel(const QSizeF& panelSize, const QSizeF& islandSize);

} // namespace IslandGeometry
