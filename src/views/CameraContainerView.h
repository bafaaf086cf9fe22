// The camera mirror's floating window: the picture cut to its shape, mirrored and bordered as the
// service says, moved by dragging its middle and resized from its edges and corners with the aspect
// ratio kept. The application makes it while the mirror is on and places it below the notch.
#pragma once

#include "services/CameraGeometry.h"

#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QWidget>

class CameraService;

class CameraContainerView : public QWidget {
    Q_OBJECT
public:
    // `composited`: transparent pixels show through (a compositing manager runs); without it the
    // window is cut to its shape instead.
    CameraContainerView(CameraService& service, bool composited, QWidget* parent = nullptr);

    // The window's frame in global coordinates, kept in fractions; the window itself lies on whole pixels.
    QRectF frame() const { return m_frame; }
    void setFrame(const QRectF& frame);

    bool composited() const { return m_composited; }
    // The outline the picture is cut to, in window coordinates.
    QPainterPath shapePath() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    enum class Drag { none, move, resize };

    void restyle(bool resizeToAspect);
    void updateCursor(QPointF pos);

    CameraService& m_service;
    bool m_composited;
    QRectF m_frame;
    Drag m_drag = Drag::none;
    CameraGeometry::Edge m_edge = CameraGeometry::Edge::none;
    QRectF m_pressFrame;
    QPointF m_pressGlobal;
    qreal m_ratio = 16.0 / 9.0;
};
