// A column of rows of which only those near the visible part of the enclosing scroll area exist as
// widgets: a list of thousands costs its data, not thousands of widget trees. Each row is as tall as
// its own content; a row not made yet is reckoned as tall as the rows made so far on average.
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
    // cause this) and shows `count` rows made afresh, measured afresh.
    void reset(int count);
    int count() const { return int(m_rows.size()); }
    // The row at `index` while it exists, else null.
    QWidget* rowAt(int index) const;
    // The height reckoned for a row not made yet plus the spacing; 0 until the first row has been made.
    int pitch() const { return m_estimate > 0 ? m_estimate + m_spacing : 0; }
    // Where the row at `index` starts and how tall it is (measured, or reckoned while not made).
    int rowTop(int index) const;
    int rowHeight(int index) const;

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
    // Measures a made row at the current width; true when its height changed.
    bool measure(int index);
    // Recomputes the tops from the heights and moves the made rows there.
    void relayout();
    void place(int index);
    static bool holdsFocus(const QWidget* row);

    Factory m_factory;
    int m_spacing = 0;
    int m_estimate = 0;
    std::vector<QWidget*> m_rows; // null where the row is not made
    std::vector<int> m_heights;   // 0 where the row has not been measured at this width
    std::vector<int> m_tops;      // one more than the rows: the last is the column's height plus spacing
    int m_measuredSum = 0;
    int m_measuredCount = 0;
    int m_measuredWidth = -1;
    QPointer<QAbstractScrollArea> m_area;
    // Only compared, never cast: the filter still runs while the scroll area is being destroyed.
    QPointer<QObject> m_viewport;
    bool m_filling = false;
};
