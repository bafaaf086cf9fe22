// The 7 × 7 coloured circle that tells whether a saved service runs, crashed or is idle.
#pragma once

#include <QColor>
#include <QWidget>

class StatusDot : public QWidget {
    Q_OBJECT
public:
    explicit StatusDot(QWidget* parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(QColor color);

    QSize sizeHint() const override { return QSize(7, 7); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color;
};
