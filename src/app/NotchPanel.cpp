// The island's overlay window; see NotchPanel.h.
//
// Override-redirect (X11BypassWindowManagerHint) rather than a dock-type window: the window manager
// then never moves, decorates or lists it, it shows on every desktop, and it stays above
// full-screen windows, which managers stack over "above" docks. The price: nobody keeps it on top,
// so whenever a window is mapped or restacked it checks that no managed window lies over it, and
// whenever the compositing manager changes hands, that the transparency it relies on is still there.
// The one exception is a dialog of its own (the form's file pickers): the panel then sits directly
// under it, still above everything else, and hands it the keyboard.
#include "app/NotchPanel.h"

#include "app/IslandGeometry.h"
#include "platform/BlankPages.h"
#include "platform/DesktopWindows.h"
#include "platform/LogCategories.h"
#include "views/NotchView.h"

#include <QApplication>
#include <QBackingStore>
#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {

QRegion islandRegion(const QRectF& rect, qreal bottomRadius) {
    // The outline the island is drawn with. A shape is one bit a pixel: the pixels it keeps along the
    // curve are painted black beneath the island (see paintEvent), so its edge is black against
    // whatever lies behind, never the window's light background blended into the antialiased edge.
    return QRegion(NotchView::islandPath(rect, bottomRadius).toFillPolygon().toPolygon());
}

} // namespace

NotchPanel::NotchPanel(DesktopWindows& desktop, QWidget* content, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint)
    , m_content(content)
    , m_desktop(desktop) {
    m_composited = m_desktop.compositorRunning() || !m_desktop.available();
    m_translucent = m_composited;
    if (m_translucent)
        setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    // The open dashboard often stays on screen after the keyboard went back to another window.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setFixedSize(int(IslandGeometry::kPanelWidth), int(IslandGeometry::kPanelHeight));
    if (m_content) {
        m_content->setParent(this);
        m_content->setGeometry(rect());
    }
    m_islandRect = IslandGeometry::islandRectInPanel(size(), IslandGeometry::kDefaultCollapsedSize);
    updateMask();
    connect(&m_watch, &QTimer::timeout, this, &NotchPanel::watchDesktop);
    // Keys that were already on their way when the island let the keyboard go, and presses that
    // take it back, are seen before any widget of the panel.
    qApp->installEventFilter(this);
}

NotchPanel::~NotchPanel() {
    if (m_watched)
        m_desktop.watchChanges({});
}

void NotchPanel::startWatching() {
    if (!m_watched) {
        m_watched = m_desktop.watchChanges([this] { m_watch.start(); });
        if (m_watched) {
            // A window dragged across the desktop sends a stream of notices: one check per pause.
            m_watch.setSingleShot(true);
            m_watch.setInterval(50);
        } else {
            m_watch.setSingleShot(false);
            m_watch.setInterval(1000);
        }
    }
    watchDesktop(); // whatever happened while hidden
    if (!m_watched)
        m_watch.start();
}

QWidget* NotchPanel::openDialog() const {
    // Our own dialogs are windows parented to the panel; the last shown is the one on top.
    QWidget* top = nullptr;
    for (QObject* child : children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w && w->isWindow() && w->isVisible() &&
            (w->windowType() == Qt::Dialog || w->windowType() == Qt::Window))
            top = w;
    }
    return top;
}

void NotchPanel::watchDesktop() {
    QWidget* dialog = isVisible() ? openDialog() : nullptr;
    const WId frame = dialog ? m_desktop.topLevelOf(dialog->winId()) : 0;
    if (frame && m_desktop.isViewable(frame)) {
        if (m_desktop.managedWindowAbove(winId(), {frame}))
            raise();
        m_desktop.stackDirectlyBelow(winId(), frame);
        // The island took the keyboard when it opened; the dialog's window manager may not take it back.
        if (!m_dialogShown && m_desktop.isViewable(dialog->winId()) &&
            m_desktop.inputFocus() == quint32(winId()))
            m_desktop.setInputFocus(quint32(dialog->winId()));
        m_dialogShown = true;
    } else if (isVisible()) {
        // Other programs' override-redirect popups (menus, tooltips) may stay above us.
        if (m_dialogShown || m_desktop.managedWindowAbove(winId(), {}))
            raise();
        const bool dialogClosed = m_dialogShown;
        m_dialogShown = false;
        if (dialogClosed && wantsKeyboard())
            takeFocus(); // the island is still open under the closed dialog: its form gets the keys again
        else if (dialogClosed)
            settleKeyboard();
    }
    // A compositor that quits would leave the whole panel black; a new one cannot change the
    // window's visual, so the mask stays then.
    const bool running = m_desktop.compositorRunning();
    if (running != m_composited) {
        m_composited = running;
        updateMask();
    }
}

void NotchPanel::placeOn(const QRectF& screenFrame) {
    const QRectF f = IslandGeometry::panelFrame(screenFrame);
    move(qRound(f.x()), qRound(f.y()));
}

void NotchPanel::setIgnoresMouseEvents(bool ignore) {
    m_ignoresMouse = ignore;
    updateInputShape();
}

void NotchPanel::setIslandShape(const QRectF& rect, qreal bottomRadius, bool drawn) {
    if (rect == m_islandRect && bottomRadius == m_bottomRadius && drawn == m_drawn)
        return;
    m_islandRect = rect;
    m_bottomRadius = bottomRadius;
    m_drawn = drawn;
    updateMask();
    updateInputShape();
}

void NotchPanel::applyExpanded(bool expanded) {
    m_expanded = expanded;
    setIgnoresMouseEvents(!expanded);
    if (expanded) {
        raise();
        takeFocus();
    } else {
        giveBackFocus();
    }
}

void NotchPanel::releaseKeyboard() {
    if (!m_expanded)
        return; // collapsed: closing handed it back already
    m_keyboardReleased = true;
    giveBackFocus();
}

bool NotchPanel::strayFocus(quint32 focus) const {
    // Some window managers leave a focus that reverted to the root there, while they still call the
    // window that had it before active.
    if (focus <= 1 || focus == quint32(winId()) || focus == m_desktop.rootWindow())
        return true;
    // A window of ours that is no longer shown (a closed dialog, an ended screen capture).
    for (QWindow* w : QGuiApplication::allWindows())
        if (w->handle() && quint32(w->winId()) == focus)
            return !w->isVisible();
    return false;
}

void NotchPanel::settleKeyboard() {
    if (!m_desktop.available())
        return;
    const auto focus = m_desktop.inputFocus();
    if (wantsKeyboard()) {
        // Opened over the open island (a capture from its kit): the island had the keyboard before.
        if (focus && *focus != quint32(winId()) && strayFocus(*focus) && isVisible())
            m_desktop.setInputFocus(quint32(winId()));
        return;
    }
    if (!m_previousFocus || !focus || !strayFocus(*focus) || *focus == *m_previousFocus)
        return;
    const quint32 previous = *m_previousFocus;
    qCDebug(lcIsland, "keyboard focus strayed to 0x%x; goes back to the window that had it before (0x%x)",
            *focus, previous);
    m_desktop.setInputFocus(previous <= 1 || m_desktop.windowExists(previous) ? previous : 1);
}

void NotchPanel::takeFocus() {
    m_keyboardReleased = false;
    if (!m_desktop.available()) {
        activateWindow();
        return;
    }
    const auto focus = m_desktop.inputFocus();
    // Taken back from our own closed dialog, the focus to return later is still the one from before it.
    if (focus && *focus != quint32(winId()) && !m_dialogShown)
        m_previousFocus = focus;
    m_desktop.setInputFocus(quint32(winId()));
    m_desktop.holdKeysAfter(winId());
}

void NotchPanel::giveBackFocus() {
    if (!m_desktop.available())
        return;
    // The user may have clicked elsewhere meanwhile; only hand back what we still hold.
    if (m_desktop.inputFocus() != quint32(winId())) {
        qCDebug(lcIsland, "keyboard focus moved elsewhere meanwhile; left where it is");
        m_desktop.passHeldKeys();
        return;
    }
    // Nobody to hand it to: the window under the pointer gets it, never the hidden island.
    const quint32 previous = m_previousFocus.value_or(1);
    const bool special = previous <= 1; // none or pointer root
    const quint32 to = special || m_desktop.windowExists(previous) ? previous : 1;
    qCDebug(lcIsland, "keyboard focus handed back to 0x%x (had it before: 0x%x)", to, previous);
    m_desktop.setInputFocus(to);
    // The key that closed a surface held what was typed after it: that goes to the new focus now.
    m_desktop.passHeldKeys();
}

bool NotchPanel::eventFilter(QObject* watched, QEvent* e) {
    const QEvent::Type t = e->type();
    if (t == QEvent::Hide && !watched->isWidgetType() && watched != windowHandle() &&
        qobject_cast<QWindow*>(watched)) {
        // A window of ours that may have held the keyboard went (a capture's or a sampler's overlay,
        // a menu): where the focus reverted to nobody, it goes back to whoever had it. Once the
        // window is gone on the server too.
        QMetaObject::invokeMethod(this, &NotchPanel::settleKeyboard, Qt::QueuedConnection);
        return false;
    }
    const bool key = t == QEvent::KeyPress || t == QEvent::KeyRelease || t == QEvent::ShortcutOverride ||
                     t == QEvent::InputMethod;
    if ((!key && t != QEvent::MouseButtonPress) || !watched->isWidgetType())
        return false;
    auto* w = static_cast<QWidget*>(watched);
    if (w->window() != this)
        return false;
    if (t == QEvent::MouseButtonPress) {
        // The island gave the keyboard back but is still open: a press on it asks for it again.
        if (m_expanded && m_keyboardReleased)
            takeFocus();
        return false;
    }
    // A closing key stopped the keyboard; once this key has done its work (the focus moved on or not),
    // the keyboard runs again. Seen from its shortcut check on, which comes also when a shortcut takes it.
    if ((t == QEvent::KeyPress || t == QEvent::ShortcutOverride) && !m_passQueued) {
        const int k = static_cast<QKeyEvent*>(e)->key();
        if (k == Qt::Key_Escape || k == Qt::Key_Return || k == Qt::Key_Enter) {
            m_passQueued = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_passQueued = false;
                    m_desktop.passHeldKeys();
                },
                Qt::QueuedConnection);
        }
    }
    // Typed for the window the keyboard went back to, or while the island is hidden: never for a field
    // of the island the user no longer looks at.
    return !wantsKeyboard();
}

void NotchPanel::updateInputShape() {
    if (!testAttribute(Qt::WA_WState_Created))
        return; // applied once the native window exists
    QRect shape;
    if (!m_ignoresMouse) {
        const qreal dpr = devicePixelRatioF();
        const QRectF r = m_islandRect;
        shape = QRectF(r.topLeft() * dpr, r.size() * dpr).toAlignedRect();
    }
    if (m_writtenInputShape == shape)
        return;
    if (m_desktop.available()) {
        if (m_desktop.setInputShape(winId(), shape))
            m_writtenInputShape = shape;
    } else if (QWindow* w = windowHandle()) {
        // Without X the platform offers only all or nothing.
        w->setFlag(Qt::WindowTransparentForInput, m_ignoresMouse);
        m_writtenInputShape = shape;
    }
}

void NotchPanel::updateMask() {
    if (composited()) {
        clearMask(); // transparent pixels really are transparent
        return;
    }
    if (m_drawn && !m_islandRect.isEmpty()) {
        setMask(islandRegion(m_islandRect, m_bottomRadius));
    } else {
        clearMask();
        if (testAttribute(Qt::WA_WState_Created))
            m_desktop.clearBoundingShape(winId());
    }
}

bool NotchPanel::event(QEvent* e) {
    const bool r = QWidget::event(e);
    if (e->type() == QEvent::Show && m_desktop.available())
        startWatching();
    else if (e->type() == QEvent::Hide)
        m_watch.stop();
    if (e->type() == QEvent::WinIdChange || e->type() == QEvent::Show) {
        // A new native window starts with the default shapes.
        m_writtenInputShape.reset();
        updateInputShape();
        if (!m_drawn)
            updateMask();
    }
    return r;
}

void NotchPanel::paintEvent(QPaintEvent*) {
    // Without transparency the window's own background shows wherever the island's antialiased edge
    // does not cover a pixel the shape keeps: black, as the island is, rather than the light default.
    if (!m_translucent)
        QPainter(this).fillRect(rect(), Qt::black);
}

std::size_t NotchPanel::releaseBlankPixels() {
    QBackingStore* store = backingStore();
    QPaintDevice* device = store ? store->paintDevice() : nullptr;
    // An image (the X11 shared-memory copy, or the heap where the server has none) can give pages back.
    if (!device || device->devType() != QInternal::Image)
        return 0;
    const auto* image = static_cast<const QImage*>(device);
    auto* bits = const_cast<uchar*>(image->constBits());
    const auto bytes = std::size_t(image->sizeInBytes());
    if (m_translucent)
        return releaseBlankPages(bits, bytes, 0); // transparent reads back as it was
    // An opaque window's black reads back as zeros, which only the rows beyond the shape may show: they
    // never show, and are painted black again before the shape reaches them.
    const qreal ratio = image->devicePixelRatio();
    const QRect shown = m_drawn && !m_islandRect.isEmpty() ? mask().boundingRect() : QRect();
    const std::size_t line = std::size_t(image->bytesPerLine());
    const std::size_t top =
        shown.isEmpty() ? bytes : std::size_t(std::max(0.0, std::floor(shown.top() * ratio))) * line;
    const std::size_t below =
        shown.isEmpty() ? bytes
                        : std::min(bytes, std::size_t(std::ceil((shown.bottom() + 1) * ratio)) * line);
    std::size_t released = releaseBlankPages(bits, top, 0xff000000u);
    if (below < bytes)
        released += releaseBlankPages(bits + below, bytes - below, 0xff000000u);
    return released;
}

void NotchPanel::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (m_content)
        m_content->setGeometry(rect());
}
