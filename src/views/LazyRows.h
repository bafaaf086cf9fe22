// A column of equally tall rows of which only those near the visible part of the enclosing scroll area
// exist as widgets: a list of thousands costs its data, not thousands of widget trees.
#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

class QAbstractScrollArea;

class LazyRows : public QWidget {
    Q_OBJECT
public:
    // Makes the row for an index as a child of the given parent.
    using Factory = std::function<QWidget*(int index, QWidget* parent)>;

    LazyRows(Factory factory, int spacing, QWidget* parent = nullptr);

    // Forgets every row (they go once the current event has been handled, so a row's own button may
    // cause this) and shows `count` rows made afresh.
    void reset(int count);
    int count() const { return int(m_rows.size()); }
    // The row at `index` while it exists, else null.
    QWidget* rowAt(int index) const;
    // The pitch of one row (its height plus the spacing); 0 until the first row has been made.
    int pitch() const { return m_rowHeight > 0 ? m_rowHeight + m_spacing : 0; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

private:
    void findScrollArea();
    void fill();
    void drop(int index);
    void place(int index);
    static bool holdsFocus(const QWidget* row);

    Factory m_factory;
    int m_spacing = 0;
    int m_rowHeight = 0;
    std::vector<QWidget*> m_rows; // null where the row is not made
    QPointer<QAbstractScrollArea> m_area;
    // Only compared, never cast: the filter still runs while the scroll area is being destroyed.
    QPointer<QObject> m_viewport;
    bool m_filling = false;
};
