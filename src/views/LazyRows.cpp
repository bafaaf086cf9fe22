// Rows are made as they come within a viewport's height of the visible part and dropped once they are
// further away; the column reserves the height of all of them, so the scroll bar behaves as with real rows.
#include "views/LazyRows.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QLayoutItem>
#include <QScrollBar>

#include <algorithm>

namespace {

// A layout gives a hidden widget no size, so a row is shown before it is measured; its own limits apply.
int naturalHeight(QWidget* row, int width) {
    row->ensurePolished();
    row->show();
    const QWidgetItem item(row);
    const int h =
        width > 0 && item.hasHeightForWidth() ? item.heightForWidth(width) : item.sizeHint().height();
    return std::max(h, 1);
}

} // namespace

LazyRows::LazyRows(Factory factory, int spacing, QWidget* parent)
    : QWidget(parent)
    , m_factory(std::move(factory))
    , m_spacing(spacing) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_tops.assign(1, 0);
    findScrollArea();
}

QWidget* LazyRows::rowAt(int index) const {
    return index >= 0 && index < count() ? m_rows[size_t(index)] : nullptr;
}

int LazyRows::rowHeight(int index) const {
    if (index < 0 || index >= count())
        return 0;
    const int h = m_heights[size_t(index)];
    return h > 0 ? h : m_estimate;
}

int LazyRows::rowTop(int index) const {
    return m_tops[size_t(std::clamp(index, 0, count()))];
}

void LazyRows::reset(int count) {
    for (int i = 0; i < int(m_rows.size()); ++i)
        drop(i);
    const size_t n = size_t(std::max(count, 0));
    m_rows.assign(n, nullptr);
    m_heights.assign(n, 0);
    m_measuredSum = 0;
    m_measuredCount = 0;
    m_estimate = 0;
    m_measuredWidth = width();
    if (n > 0) {
        // The first row gives the reckoning for the others until more have been measured; rows of
        // another kind shown earlier say nothing about these.
        m_rows[0] = m_factory(0, this);
        m_rows[0]->installEventFilter(this);
        measure(0);
    }
    relayout();
    fill();
}

QSize LazyRows::sizeHint() const {
    return QSize(0, count() > 0 ? m_tops.back() - m_spacing : 0);
}

bool LazyRows::measure(int index) {
    QWidget* row = m_rows[size_t(index)];
    const int h = naturalHeight(row, width());
    int& known = m_heights[size_t(index)];
    if (known == h)
        return false;
    if (known > 0) {
        m_measuredSum -= known;
        --m_measuredCount;
    }
    known = h;
    m_measuredSum += h;
    ++m_measuredCount;
    m_estimate = std::max(1, (m_measuredSum + m_measuredCount / 2) / m_measuredCount);
    return true;
}

void LazyRows::relayout() {
    const int n = count();
    const int before = m_tops.empty() ? 0 : m_tops.back();
    m_tops.resize(size_t(n) + 1);
    int top = 0;
    for (int i = 0; i < n; ++i) {
        m_tops[size_t(i)] = top;
        top += rowHeight(i) + m_spacing;
    }
    m_tops[size_t(n)] = top;
    for (int i = 0; i < n; ++i)
        if (m_rows[size_t(i)])
            place(i);
    if (top != before || n == 0)
        updateGeometry();
}

void LazyRows::findScrollArea() {
    QAbstractScrollArea* area = nullptr;
    for (QWidget* w = parentWidget(); w && !area; w = w->parentWidget())
        area = qobject_cast<QAbstractScrollArea*>(w);
    if (area == m_area)
        return;
    if (m_area) {
        m_area->viewport()->removeEventFilter(this);
        disconnect(m_area->verticalScrollBar(), nullptr, this, nullptr);
    }
    m_area = area;
    m_viewport = m_area ? m_area->viewport() : nullptr;
    if (m_area) {
        m_area->viewport()->installEventFilter(this);
        connect(m_area->verticalScrollBar(), &QScrollBar::valueChanged, this, &LazyRows::fill);
    }
}

void LazyRows::fill() {
    if (m_filling || m_rows.empty() || pitch() == 0)
        return;
    if (!m_area)
        findScrollArea(); // an ancestor may have been put into one since
    m_filling = true;
    const int n = count();
    // Rows made in a pass may turn out taller or shorter than reckoned, which moves the band's rows:
    // a few passes settle it, as every pass measures more of the rows around the band.
    for (int pass = 0; pass < 4; ++pass) {
        int first = 0;
        int last = n - 1;
        if (m_area) {
            // The visible band in our coordinates, widened by its own height on each side.
            QWidget* viewport = m_area->viewport();
            const int top = mapFrom(viewport, QPoint(0, 0)).y();
            const int band = std::max(viewport->height(), 1);
            const auto rowAtY = [&](int y) {
                const auto it = std::upper_bound(m_tops.begin(), m_tops.begin() + n, y);
                return std::clamp(int(it - m_tops.begin()) - 1, 0, n - 1);
            };
            first = rowAtY(top - band);
            last = top + 2 * band < 0 ? -1 : rowAtY(top + 2 * band); // -1: the column lies below the band
        }
        bool moved = false;
        for (int i = 0; i < n; ++i) {
            const bool wanted = i >= first && i <= last;
            QWidget*& row = m_rows[size_t(i)];
            if (!wanted && row && !holdsFocus(row)) {
                drop(i); // a row being typed into stays until the focus leaves it
            } else if (wanted && !row) {
                row = m_factory(i, this);
                row->installEventFilter(this);
                moved = measure(i) || moved;
                place(i);
            }
        }
        if (!moved)
            break;
        relayout();
    }
    m_filling = false;
}

void LazyRows::drop(int index) {
    QWidget* row = m_rows[size_t(index)];
    if (!row)
        return;
    m_rows[size_t(index)] = nullptr;
    row->removeEventFilter(this);
    // Hiding a focused widget hands the focus on to the next row, and a scroll area then scrolls to it.
    if (holdsFocus(row))
        QApplication::focusWidget()->clearFocus();
    row->hide();
    row->setObjectName(QString());
    row->deleteLater();
}

bool LazyRows::holdsFocus(const QWidget* row) {
    const QWidget* focus = QApplication::focusWidget();
    return focus && (focus == row || row->isAncestorOf(focus));
}

void LazyRows::place(int index) {
    QWidget* row = m_rows[size_t(index)];
    row->setGeometry(0, m_tops[size_t(index)], width(), rowHeight(index));
    // Also while the column is hidden: the row then shows with it.
    row->show();
}

bool LazyRows::event(QEvent* e) {
    const bool handled = QWidget::event(e);
    if (e->type() == QEvent::ParentChange) {
        findScrollArea();
        fill();
    } else if (e->type() == QEvent::Show) {
        fill();
    }
    return handled;
}

bool LazyRows::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::Resize && m_viewport && watched == m_viewport.data()) {
        fill();
    } else if (e->type() == QEvent::LayoutRequest && !m_filling) {
        // A row whose content changed after it was made: it takes its new height.
        const auto it = std::find(m_rows.begin(), m_rows.end(), watched);
        if (it != m_rows.end() && measure(int(it - m_rows.begin()))) {
            relayout();
            fill();
        }
    }
    return QWidget::eventFilter(watched, e);
}

void LazyRows::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (width() != m_measuredWidth) {
        // Wrapped text is as tall as the width makes it: what was measured at another width is void.
        m_measuredWidth = width();
        m_measuredSum = 0;
        m_measuredCount = 0;
        std::fill(m_heights.begin(), m_heights.end(), 0);
        for (int i = 0; i < count(); ++i)
            if (m_rows[size_t(i)])
                measure(i);
    }
    relayout();
    fill();
}

void LazyRows::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    fill();
}
