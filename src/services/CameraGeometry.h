// Where the camera mirror opens, which edge the pointer is on, and how a drag at an edge resizes it.
// Pure functions on Qt's coordinates (y grows downward); the resize rule itself is worked in y-up
// coordinates, where its origins are simplest to state, and converted at the boundary.
#pragma once

#include "model/CameraShape.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <Qt>

namespace CameraGeometry {

inline constexpr qreal kWidth = 340;
inline constexpr qreal kGapBelowNotch = 12;
inline constexpr qreal kTopInsetWithoutNotch = 32;
inline constexpr qreal kResizeInset = 14;
inline constexpr qreal kCornerRadius = 16;
inline constexpr QSizeF kMinimumSize{140, 90};
inline constexpr QSizeF kMaximumSize{1400, 1000};

// The edge or corner under the pointer; `none` is the middle, which moves the window.
enum class Edge { none, left, right, top, bottom, topLeft, topRight, bottomLeft, bottomRight };

// The first frame on a screen (global coordinates): 340 wide, centred, its top 12 below the notch,
// whose height is the screen's safe-area top inset, or 32 where the screen has none.
QRectF initialFrame(const QRectF& screen, qreal safeAreaTop, CameraShape shape);

// The frame given the shape's aspect ratio, keeping its left edge, width and top edge.
QRectF fittedToAspect(const QRectF& frame, CameraShape shape);

// The edge at `pos` (window coordinates) of a window of `size`; the bounds 14 from each side count
// as the edge, and the top corners win over the bottom row, which wins over the sides.
Edge edgeAt(QPointF pos, QSizeF size);

Qt::CursorShape cursorFor(Edge edge);

// Width over height, guarded so that a degenerate aspect never divides by zero.
qreal guardedRatio(QSizeF aspect);

// The frame after the pointer moved by `delta` (global, y down) since the press on `edge` of
// `start`. The dragged dimension is kept within `minimum` … `maximum` and the other follows the
// ratio; a corner keeps both within the limits and holds the opposite corner still. At the limit of
// a left or bottom drag the window follows the pointer rather than stopping.
QRectF resized(const QRectF& start, Edge edge, QPointF delta, qreal ratio, QSizeF minimum = kMinimumSize,
               QSizeF maximum = kMaximumSize);

// Half the shorter side for the circle, 16 otherwise.
qreal cornerRadius(CameraShape shape, QSizeF size);

// An index into a list of `count` entries: negative gives the first, beyond the end the last.
int clampedIndex(qint64 index, int count);

} // namespace CameraGeometry
