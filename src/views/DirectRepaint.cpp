// The widget's visible rectangle is drawn into a small image exactly as a repaint of that rectangle
// would draw it, and put onto the window. What lies beneath the widget (the window and the widget's
// parents, drawn without their children) is kept from one frame to the next until a usual repaint
// reaches the widget: a frame then draws only the widget itself.
#include "views/DirectRepaint.h"

#include "platform/WindowPixels.h"

#include <QEvent>
#include <QGraphicsEffect>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>
#include <QWindow>

DirectRepaint::DirectRepaint(QWidget* widget)
    : QObject(widget)
    , m_widget(widget) {
    m_widget->installEventFilter(this);
}

bool DirectRepaint::repaint(int look) {
    if (putNow(look))
        return true;
    m_widget->update();
    return false;
}

bool DirectRepaint::putNow(int look) {
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

    m_rendering = true;
    if (m_backdropAt != inWindow || m_backdropWindow != window) {
        m_backdrop = backdrop(top, inWindow);
        m_backdropAt = inWindow;
        m_backdropWindow = window;
        m_looks.clear();
    }
    const bool known = look >= 0 && look < 256;
    QImage image = known && !m_backdrop.isNull() ? m_looks.value(look) : QImage();
    if (!image.isNull()) {
        // Drawn before over the same backdrop.
    } else if (!m_backdrop.isNull()) {
        // What lies beneath is as it was: only the widget itself is drawn again.
        image = m_backdrop;
        QPainter p(&image);
        QWidget::RenderFlags flags = QWidget::DrawChildren;
        if (m_widget->autoFillBackground())
            flags |= QWidget::DrawWindowBackground;
        m_widget->render(&p, QPoint(), QRegion(visible), flags);
        p.end();
        if (known)
            m_looks.insert(look, image);
    } else {
        image = QImage(inWindow.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QWidget::RenderFlags flags = QWidget::DrawChildren;
        if (!top->testAttribute(Qt::WA_TranslucentBackground))
            flags |= QWidget::DrawWindowBackground;
        top->render(&image, QPoint(), QRegion(inWindow), flags);
    }
    m_rendering = false;
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

QImage DirectRepaint::backdrop(QWidget* top, const QRect& inWindow) const {
    QList<QWidget*> chain; // the window first, down to the widget's parent
    for (QWidget* w = m_widget; w != top; w = w->parentWidget())
        chain.prepend(w->parentWidget());
    // Another widget over or under this one, or over one of its parents, there: the whole window is
    // drawn each time instead.
    for (QWidget* w = m_widget; w != top; w = w->parentWidget())
        for (QObject* o : w->parentWidget()->children()) {
            auto* sibling = qobject_cast<QWidget*>(o);
            if (sibling && sibling != w && !sibling->isWindow() && sibling->isVisible() &&
                QRect(sibling->mapTo(top, QPoint()), sibling->size()).intersects(inWindow))
                return {};
        }
    QImage image(inWindow.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    for (QWidget* w : std::as_const(chain)) {
        QWidget::RenderFlags flags;
        if (w == top ? !top->testAttribute(Qt::WA_TranslucentBackground) : w->autoFillBackground())
            flags |= QWidget::DrawWindowBackground;
        w->render(&p, QPoint(), QRegion(QRect(w->mapFrom(top, inWindow.topLeft()), inWindow.size())), flags);
    }
    return image;
}

bool DirectRepaint::eventFilter(QObject* watched, QEvent* event) {
    // A usual repaint of the widget means what lies beneath it may have changed.
    if (watched == m_widget && event->type() == QEvent::Paint && !m_rendering) {
        m_backdropAt = QRect();
        m_looks.clear();
    }
    if (watched == m_widget && event->type() == QEvent::Paint) {
        if (static_cast<QPaintEvent*>(event)->rect().contains(m_widget->visibleRegion().boundingRect()))
            m_behind = false;
    } else if (watched == m_watched && event->type() == QEvent::Expose && m_behind) {
        m_widget->update();
    }
    return false;
}
