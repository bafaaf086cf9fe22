// The widget's visible rectangle is drawn by the window's widgets into a small image, exactly as a
// repaint of that rectangle would draw it, and put onto the window.
#include "views/DirectRepaint.h"

#include "platform/WindowPixels.h"

#include <QEvent>
#include <QGraphicsEffect>
#include <QImage>
#include <QPaintEvent>
#include <QWidget>
#include <QWindow>

DirectRepaint::DirectRepaint(QWidget* widget)
    : QObject(widget)
    , m_widget(widget) {
    m_widget->installEventFilter(this);
}

bool DirectRepaint::repaint() {
    if (putNow())
        return true;
    m_widget->update();
    return false;
}

bool DirectRepaint::putNow() {
    if (!m_pixels || !m_widget->isVisible() || !m_widget->updatesEnabled())
        return false;
    QWidget* top = m_widget->window();
    QWindow* window = top->windowHandle();
    // An effect (a fade) draws the widget through a picture of its own, and a scaled window puts
    // fractions of pixels: both take the usual path.
    if (!window || top->devicePixelRatioF() != 1.0)
        return false;
    for (QWidget* w = m_widget; w; w = w->isWindow() ? nullptr : w->parentWidget())
        if (w->graphicsEffect())
            return false;
    const QRect visible = m_widget->visibleRegion().boundingRect();
    if (visible.isEmpty())
        return false;
    const QRect inWindow(m_widget->mapTo(top, visible.topLeft()), visible.size());

    QImage image(inWindow.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QWidget::RenderFlags flags = QWidget::DrawChildren;
    if (!top->testAttribute(Qt::WA_TranslucentBackground))
        flags |= QWidget::DrawWindowBackground;
    top->render(&image, QPoint(), QRegion(inWindow), flags);
    if (!m_pixels->put(window, inWindow.topLeft(), image))
        return false;
    m_behind = true; // set after render(), whose paint event counts as a usual repaint
    if (m_watched != window) {
        if (m_watched)
            m_watched->removeEventFilter(this);
        m_watched = window;
        window->installEventFilter(this);
    }
    return true;
}

bool DirectRepaint::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_widget && event->type() == QEvent::Paint) {
        if (static_cast<QPaintEvent*>(event)->rect().contains(m_widget->visibleRegion().boundingRect()))
            m_behind = false;
    } else if (watched == m_watched && event->type() == QEvent::Expose && m_behind) {
        m_widget->update();
    }
    return false;
}
