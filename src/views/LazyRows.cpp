// Rows are made as they come within a viewport's height of the visible part and dropped once they are
// further away; the column reserves the height of all of them, so the scroll bar behaves as with real rows.
#include "views/LazyRows.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QLayoutItem>
#include <QScrollBar>

#include <algorithm>

LazyRows::LazyRows(Factory factory, int spacing, QWidget* parent)
    : QWidget(parent)
    , m_factory(std::move(factory))
    , m_spacing(spacing) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    findScrollArea();
}

QWidget* LazyRows::rowAt(int index) const {
    return index >= 0 && index < count() ? m_rows[size_t(index)] : nullptr;
}

void LazyRows::reset(int count) {
    for (int i = 0; i < int(m_rows.size()); ++i)
        drop(i);
    m_rows.assign(size_t(std::max(count, 0)), nullptr);
    if (m_rowHeight == 0 && !m_rows.empty()) {
        // Rows are alike in height: the first one made gives it for all. A layout gives a hidden widget
        // no size, and a row made under a shown column starts hidden, so it is shown before it is measured.
        QWidget* first = m_factory(0, this);
        first->ensurePolished();
        first->show();
        m_rowHeight = std::max(QWidgetItem(first).sizeHint().height(), 1); // with its own limits applied
        m_rows[0] = first;
        place(0);
    }
    updateGeometry();
    fill();
}

QSize LazyRows::sizeHint() const {
    const int n = count();
    return QSize(0, n > 0 ? n * pitch() - m_spacing : 0);
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
    int first = 0;
    int last = count() - 1;
    if (m_area) {
        // The visible band in our coordinates, widened by its own height on each side.
        QWidget* viewport = m_area->viewport();
        const int top = mapFrom(viewport, QPoint(0, 0)).y();
        const int band = std::max(viewport->height(), 1);
        first = std::clamp((top - band) / pitch(), 0, count() - 1);
        last = std::clamp((top + 2 * band) / pitch(), 0, count() - 1);
        if (top + 2 * band < 0)
            last = -1; // the whole column lies below the band
    }
    for (int i = 0; i < count(); ++i) {
        const bool wanted = i >= first && i <= last;
        if (!wanted && m_rows[size_t(i)] && !holdsFocus(m_rows[size_t(i)])) {
            drop(i); // a row being typed into stays until the focus leaves it
        } else if (wanted && !m_rows[size_t(i)]) {
            m_rows[size_t(i)] = m_factory(i, this);
            place(i);
        }
    }
    m_filling = false;
}

void LazyRows::drop(int index) {
    QWidget* row = m_rows[size_t(index)];
    if (!row)
        return;
    m_rows[size_t(index)] = nullptr;
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
    row->setGeometry(0, index * pitch(), width(), m_rowHeight);
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
    if (e->type() == QEvent::Resize && m_viewport && watched == m_viewport.data())
        fill();
    return QWidget::eventFilter(watched, e);
}

void LazyRows::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    for (int i = 0; i < count(); ++i)
        if (m_rows[size_t(i)])
            m_rows[size_t(i)]->resize(width(), m_rowHeight);
    fill();
}

void LazyRows::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    fill();
}
