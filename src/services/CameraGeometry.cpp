#include "services/CameraGeometry.h"

#include <algorithm>
#include <cmath>

namespace CameraGeometry {

namespace {

// Raise to the minimum when at or below it, then lower to the maximum when above it.
qreal clamp(qreal value, qreal minimum, qreal maximum) {
    if (value <= minimum)
        value = minimum;
    if (value > maximum)
        value = maximum;
    return value;
}

// Qt's rectangles flipped to y-up and back; the same formula works both ways.
QRectF flipped(const QRectF& r) {
    return QRectF(r.x(), -(r.y() + r.height()), r.width(), r.height());
}

} // namespace

QRectF initialFrame(const QRectF& screen, qreal safeAreaTop, CameraShape shape) {
    const qreal inset = safeAreaTop > 0 ? safeAreaTop : kTopInsetWithoutNotch;
    const qreal height = kWidth / CameraShapes::aspect(shape);
    return QRectF(screen.center().x() - kWidth / 2, screen.top() + inset + kGapBelowNotch, kWidth, height);
}

QRectF fittedToAspect(const QRectF& frame, CameraShape shape) {
    return QRectF(frame.x(), frame.y(), frame.width(), frame.width() / CameraShapes::aspect(shape));
}

Edge edgeAt(QPointF pos, QSizeF size) {
    const qreal up = size.height() - pos.y(); // the rule is stated with y growing upward
    const bool nearLeft = pos.x() <= kResizeInset;
    const bool nearRight = pos.x() >= size.width() - kResizeInset;
    const bool nearTop = up >= size.height() - kResizeInset;
    const bool nearBottom = up <= kResizeInset;
    if (nearTop && (nearLeft || nearRight))
        return nearLeft ? Edge::topLeft : Edge::topRight;
    if (nearBottom) {
        if (nearLeft)
            return Edge::bottomLeft;
        return nearRight ? Edge::bottomRight : Edge::bottom;
    }
    if (nearLeft)
        return Edge::left;
    if (nearRight)
        return Edge::right;
    return nearTop ? Edge::top : Edge::none;
}

Qt::CursorShape cursorFor(Edge edge) {
    switch (edge) {
    case Edge::left:
    case Edge::right:
        return Qt::SizeHorCursor;
    case Edge::top:
    case Edge::bottom:
        return Qt::SizeVerCursor;
    case Edge::topLeft:
    case Edge::bottomRight:
        return Qt::SizeFDiagCursor;
    case Edge::topRight:
    case Edge::bottomLeft:
        return Qt::SizeBDiagCursor;
    case Edge::none:
        break;
    }
    return Qt::ArrowCursor;
}

qreal guardedRatio(QSizeF aspect) {
    const qreal height = aspect.height() <= 0.001 ? 0.001 : aspect.height();
    const qreal ratio = aspect.width() / height;
    return ratio <= 0.001 || std::isnan(ratio) ? 0.001 : ratio;
}

QRectF resized(const QRectF& start, Edge edge, QPointF delta, qreal ratio, QSizeF minimum, QSizeF maximum) {
    if (edge == Edge::none)
        return start;
    const qreal r = ratio <= 0.001 || std::isnan(ratio) ? 0.001 : ratio;
    const QRectF f = flipped(start);
    const qreal dx = delta.x();
    const qreal dy = -delta.y();
    const auto clampW = [&](qreal w) { return clamp(w, minimum.width(), maximum.width()); };
    const auto clampH = [&](qreal h) { return clamp(h, minimum.height(), maximum.height()); };
    QRectF out;
    switch (edge) {
    case Edge::right: {
        const qreal w = clampW(std::abs(f.width() + dx));
        out = QRectF(f.x(), f.y(), w, w / r);
        break;
    }
    case Edge::left: {
        const qreal free = std::abs(f.width() - dx);
        const qreal w = clampW(free);
        out = QRectF(f.right() - free, f.y(), w, w / r);
        break;
    }
    case Edge::top: {
        const qreal h = clampH(std::abs(f.height() + dy));
        out = QRectF(f.x(), f.y(), r * h, h);
        break;
    }
    case Edge::bottom: {
        const qreal free = std::abs(f.height() - dy);
        const qreal h = clampH(free);
        out = QRectF(f.x(), f.bottom() - free, r * h, h);
        break;
    }
    case Edge::topLeft:
    case Edge::topRight:
    case Edge::bottomLeft:
    case Edge::bottomRight: {
        const bool leftSide = edge == Edge::topLeft || edge == Edge::bottomLeft;
        qreal w = clampW(leftSide ? f.width() - dx : f.width() + dx);
        qreal h = w / r;
        if (h < minimum.height()) {
            h = minimum.height();
            w = r * h;
        } else if (h > maximum.height()) {
            h = maximum.height();
            w = r * h;
        }
        // QRectF's bottom() is y + height: in y-up terms, the top edge.
        const qreal x = leftSide ? f.right() - w : f.x();
        const qreal y = edge == Edge::topLeft || edge == Edge::topRight ? f.y() : f.bottom() - h;
        out = QRectF(x, y, w, h);
        break;
    }
    case Edge::none:
        break;
    }
    return flipped(out);
}

qreal cornerRadius(CameraShape shape, QSizeF size) {
    return shape == CameraShape::circle ? std::min(size.width(), size.height()) / 2 : kCornerRadius;
}

int clampedIndex(qint64 index, int count) {
    if (count <= 0 || index < 0)
        return 0;
    return int(std::min<qint64>(index, count - 1));
}

} // namespace CameraGeometry
