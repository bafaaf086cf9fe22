// A full-screen window over a frozen picture of one screen, above every other window, holding the keyboard
// and the pointer: either the user drags out an area, or points at one pixel through a magnifying loupe.
// Escape or a right click cancels; so does the time limit.
#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRasterWindow>
#include <QRect>
#include <QTimer>

#include <functional>
#include <optional>

class ScreenOverlay : public QRasterWindow {
    Q_OBJECT
public:
    enum class Mode { area, color };

    // `shot` is the screen's picture in device pixels, `geometry` the screen's place on the desktop.
    ScreenOverlay(Mode mode, QImage shot, QRect geometry, int timeoutMs = 120000);
    ~ScreenOverlay() override;

    // Exactly one of these runs, once, when the overlay ends; the overlay then deletes itself later.
    std::function<void(std::optional<QImage>)> areaDone;
    std::function<void(std::optional<QColor>)> colorDone;

    // Shows the overlay and takes the keyboard and the pointer.
    void open();
    // The selected rectangle in the window's coordinates (empty while nothing is dragged).
    QRect selection() const {
        return QRect(QPoint(qMin(m_anchor.x(), m_current.x()), qMin(m_anchor.y(), m_current.y())),
                     QSize(qAbs(m_current.x() - m_anchor.x()), qAbs(m_current.y() - m_anchor.y())));
    }
    // The picture's pixel under a window position.
    QColor colorAt(QPoint pos) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPoint devicePoint(QPoint pos) const;
    void finishArea(std::optional<QImage> image);
    void finishColor(std::optional<QColor> color);
    void cancel();
    void end();

    Mode m_mode;
    QImage m_shot;
    QTimer m_timeout;
    QPoint m_anchor;
    QPoint m_current;
    QPoint m_pointer{-1, -1};
    bool m_dragging = false;
    bool m_finished = false;
};
