#include "platform/qt/ScreenOverlay.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kLoupeCells = 11; // pixels across the magnified square, the picked one in the middle
constexpr int kLoupeZoom = 10;

} // namespace

ScreenOverlay::ScreenOverlay(Mode mode, QImage shot, QRect geometry, int timeoutMs)
    : m_mode(mode)
    , m_shot(std::move(shot)) {
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint);
    setGeometry(geometry);
    setCursor(Qt::CrossCursor);
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(timeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, &ScreenOverlay::cancel);
}

ScreenOverlay::~ScreenOverlay() {
    // Closed from outside (the program quits): the caller still hears that nothing was chosen.
    if (m_finished)
        return;
    m_finished = true;
    if (auto done = std::move(areaDone))
        done(std::nullopt);
    if (auto done = std::move(colorDone))
        done(std::nullopt);
}

void ScreenOverlay::open() {
    show();
    raise();
    requestActivate();
    setKeyboardGrabEnabled(true);
    setMouseGrabEnabled(true);
    m_timeout.start();
}

QPoint ScreenOverlay::devicePoint(QPoint pos) const {
    if (width() <= 0 || height() <= 0)
        return pos;
    return QPoint(int(qint64(pos.x()) * m_shot.width() / width()),
                  int(qint64(pos.y()) * m_shot.height() / height()));
}

QColor ScreenOverlay::colorAt(QPoint pos) const {
    const QPoint p = devicePoint(pos);
    if (!m_shot.valid(p))
        return QColor();
    return QColor(m_shot.pixel(p));
}

void ScreenOverlay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(QRect(QPoint(0, 0), size()), m_shot);
    if (m_mode == Mode::area) {
        const QRect sel = selection();
        QPainterPath dim;
        dim.addRect(QRectF(QPointF(0, 0), QSizeF(size())));
        if (m_dragging && !sel.isEmpty()) {
            QPainterPath hole;
            hole.addRect(QRectF(sel));
            dim = dim.subtracted(hole);
        }
        p.fillPath(dim, QColor(0, 0, 0, 100));
        if (m_dragging && !sel.isEmpty()) {
            p.setPen(QPen(Qt::white, 1));
            p.drawRect(sel.adjusted(0, 0, -1, -1));
        }
        return;
    }
    if (m_pointer.x() < 0)
        return;
    // The loupe: the pixels around the pointer, enlarged, the picked one framed, and its value.
    const QPoint centre = devicePoint(m_pointer);
    const int side = kLoupeCells * kLoupeZoom;
    QPoint at = m_pointer + QPoint(20, 20);
    if (at.x() + side > width())
        at.setX(m_pointer.x() - 20 - side);
    if (at.y() + side + 24 > height())
        at.setY(m_pointer.y() - 20 - side - 24);
    const QRect loupe(at, QSize(side, side));
    const QRect source(centre - QPoint(kLoupeCells / 2, kLoupeCells / 2), QSize(kLoupeCells, kLoupeCells));
    QImage cells(kLoupeCells, kLoupeCells, QImage::Format_RGB32);
    cells.fill(Qt::black);
    {
        QPainter c(&cells);
        c.drawImage(QPoint(0, 0), m_shot, source);
    }
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(loupe, cells);
    p.setPen(QPen(Qt::white, 2));
    p.drawRect(loupe);
    const QRect middle(loupe.topLeft() + QPoint(kLoupeCells / 2 * kLoupeZoom, kLoupeCells / 2 * kLoupeZoom),
                       QSize(kLoupeZoom, kLoupeZoom));
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(middle);
    const QColor c = colorAt(m_pointer);
    const QRect label(loupe.bottomLeft() + QPoint(0, 4), QSize(side, 20));
    p.fillRect(label, QColor(0, 0, 0, 200));
    p.setPen(Qt::white);
    p.drawText(label, Qt::AlignCenter, c.isValid() ? c.name(QColor::HexRgb).toUpper() : QString());
}

void ScreenOverlay::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        cancel();
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    if (m_mode == Mode::color) {
        const QColor c = colorAt(event->position().toPoint());
        finishColor(c.isValid() ? std::optional<QColor>(c) : std::nullopt);
        return;
    }
    m_dragging = true;
    m_anchor = m_current = event->position().toPoint();
    update();
}

void ScreenOverlay::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (m_mode == Mode::color) {
        m_pointer = pos;
        update();
        return;
    }
    if (!m_dragging)
        return;
    const QRect before = selection();
    m_current = pos;
    update(before.united(selection()).adjusted(-2, -2, 2, 2));
}

void ScreenOverlay::mouseReleaseEvent(QMouseEvent* event) {
    if (m_mode != Mode::area || !m_dragging || event->button() != Qt::LeftButton)
        return;
    m_current = event->position().toPoint();
    m_dragging = false;
    const QRect sel = selection().intersected(QRect(QPoint(0, 0), size()));
    if (sel.width() < 2 || sel.height() < 2) {
        cancel();
        return;
    }
    const QPoint topLeft = devicePoint(sel.topLeft());
    const QPoint end = devicePoint(sel.topLeft() + QPoint(sel.width(), sel.height()));
    finishArea(m_shot.copy(QRect(topLeft, QSize(end.x() - topLeft.x(), end.y() - topLeft.y()))));
}

void ScreenOverlay::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape)
        cancel();
}

void ScreenOverlay::finishArea(std::optional<QImage> image) {
    if (m_finished)
        return;
    m_finished = true;
    end();
    if (auto done = std::move(areaDone))
        done(std::move(image));
    colorDone = nullptr;
}

void ScreenOverlay::finishColor(std::optional<QColor> color) {
    if (m_finished)
        return;
    m_finished = true;
    end();
    if (auto done = std::move(colorDone))
        done(std::move(color));
    areaDone = nullptr;
}

void ScreenOverlay::cancel() {
    if (m_mode == Mode::area)
        finishArea(std::nullopt);
    else
        finishColor(std::nullopt);
}

void ScreenOverlay::end() {
    m_timeout.stop();
    setKeyboardGrabEnabled(false);
    setMouseGrabEnabled(false);
    hide();
    deleteLater();
}
