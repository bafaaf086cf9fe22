#include "views/CameraContainerView.h"

#include "services/CameraService.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {

QRect pixelRect(const QRectF& r) {
    return QRect(qRound(r.x()), qRound(r.y()), std::max(1, qRound(r.width())),
                 std::max(1, qRound(r.height())));
}

// The part of the picture that fills `target` without bars: the middle of it, cropped to the target's shape.
QRectF filledSource(QSizeF image, QSizeF target) {
    if (image.isEmpty() || target.isEmpty())
        return QRectF(QPointF(0, 0), image);
    const qreal scale = std::max(target.width() / image.width(), target.height() / image.height());
    const QSizeF shown(target.width() / scale, target.height() / scale);
    return QRectF(QPointF((image.width() - shown.width()) / 2, (image.height() - shown.height()) / 2), shown);
}

} // namespace

CameraContainerView::CameraContainerView(CameraService& service, bool composited, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus)
    , m_service(service)
    , m_composited(composited) {
    setObjectName(QStringLiteral("cameraMirror"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    if (m_composited)
        setAttribute(Qt::WA_TranslucentBackground);
    else
        setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    // The limits are kept by the resize rule; Qt's own would bend the picture's proportions.
    setMinimumSize(1, 1);

    connect(&m_service, &CameraService::frameChanged, this, qOverload<>(&QWidget::update));
    connect(&m_service, &CameraService::shapeChanged, this, [this] { restyle(true); });
    for (auto signal : {&CameraService::borderOnChanged, &CameraService::borderColorIndexChanged,
                        &CameraService::borderWidthChanged, &CameraService::mirroredChanged})
        connect(&m_service, signal, this, qOverload<>(&QWidget::update));
    m_frame = QRectF(0, 0, CameraGeometry::kWidth,
                     CameraGeometry::kWidth / CameraShapes::aspect(m_service.shape()));
}

void CameraContainerView::setFrame(const QRectF& frame) {
    m_frame = frame;
    setGeometry(pixelRect(frame));
    restyle(false); // a hidden window hears of its new size only once shown
}

QPainterPath CameraContainerView::shapePath() const {
    QPainterPath path;
    const QRectF r(rect());
    if (m_service.shape() == CameraShape::circle) {
        path.addEllipse(r);
    } else {
        const qreal radius = CameraGeometry::cornerRadius(m_service.shape(), r.size());
        path.addRoundedRect(r, radius, radius);
    }
    return path;
}

void CameraContainerView::restyle(bool resizeToAspect) {
    if (resizeToAspect)
        setFrame(CameraGeometry::fittedToAspect(m_frame, m_service.shape()));
    if (!m_composited)
        setMask(m_service.shape() == CameraShape::circle ? QRegion(rect(), QRegion::Ellipse)
                                                         : QRegion(shapePath().toFillPolygon().toPolygon()));
    update();
}

void CameraContainerView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (size() != pixelRect(m_frame).size())
        m_frame.setSize(size()); // the window manager sized it, not setFrame()
    restyle(false);
}

void CameraContainerView::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (pos() != pixelRect(m_frame).topLeft())
        m_frame.moveTopLeft(pos()); // moved by the window manager
}

void CameraContainerView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath path = shapePath();
    if (m_composited) {
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(rect(), Qt::transparent);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    p.save();
    // Without a compositor the window's mask already cuts the shape, and clipping again costs more than
    // the picture itself.
    if (m_composited)
        p.setClipPath(path);
    p.fillRect(rect(), Qt::black);
    const QImage frame = m_service.frame();
    if (!frame.isNull()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        if (m_service.mirrored()) {
            p.translate(width(), 0);
            p.scale(-1, 1);
        }
        p.drawImage(QRectF(rect()), frame, filledSource(frame.size(), size()));
    }
    p.restore();

    // Drawn inside the outline, as wide as asked but never wider than the window can hold.
    qreal width = m_service.borderWidth();
    if (!m_service.borderOn() || !(width > 0))
        return;
    width = std::min(width, std::min<qreal>(this->width(), height()) / 2);
    const QRectF inner = QRectF(rect()).adjusted(width / 2, width / 2, -width / 2, -width / 2);
    p.setPen(QPen(m_service.borderColor(), width));
    p.setBrush(Qt::NoBrush);
    if (m_service.shape() == CameraShape::circle) {
        p.drawEllipse(inner);
    } else {
        const qreal radius = std::max<qreal>(0, CameraGeometry::kCornerRadius - width / 2);
        p.drawRoundedRect(inner, radius, radius);
    }
}

void CameraContainerView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_edge = CameraGeometry::edgeAt(event->position(), size());
    m_pressFrame = m_frame;
    m_pressGlobal = event->globalPosition();
    if (m_edge == CameraGeometry::Edge::none) {
        // The window manager moves it where there is one; by hand otherwise.
        const bool system = windowHandle() && windowHandle()->startSystemMove();
        m_drag = system ? Drag::none : Drag::move;
        return;
    }
    m_drag = Drag::resize;
    m_ratio = CameraGeometry::guardedRatio(QSizeF(CameraShapes::aspect(m_service.shape()), 1));
}

void CameraContainerView::mouseMoveEvent(QMouseEvent* event) {
    const QPointF delta = event->globalPosition() - m_pressGlobal;
    switch (m_drag) {
    case Drag::move:
        setFrame(m_pressFrame.translated(delta));
        break;
    case Drag::resize:
        setFrame(CameraGeometry::resized(m_pressFrame, m_edge, delta, m_ratio));
        break;
    case Drag::none:
        updateCursor(event->position());
        break;
    }
}

void CameraContainerView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    m_drag = Drag::none;
    m_edge = CameraGeometry::Edge::none;
    updateCursor(event->position());
}

void CameraContainerView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (m_drag == Drag::none)
        setCursor(Qt::ArrowCursor);
}

void CameraContainerView::updateCursor(QPointF pos) {
    setCursor(CameraGeometry::cursorFor(CameraGeometry::edgeAt(pos, size())));
}
