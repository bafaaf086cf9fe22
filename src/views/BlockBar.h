// A fraction shown as a row of small blocks, coloured by how full it is.
#pragma once

#include <QColor>
#include <QWidget>

class BlockBar : public QWidget {
    Q_OBJECT
public:
    explicit BlockBar(double fraction = 0.0, int blocks = 10, QWidget* parent = nullptr);

    double fraction() const { return m_fraction; }
    void setFraction(double fraction);
    int blocks() const { return m_blocks; }

    // How many blocks are coloured: fraction × blocks rounded half away from zero, within [0, blocks].
    // A fraction that is not a number colours none.
    static int filledCount(double fraction, int blocks);
    // Red above 0.85, orange above 0.6, green otherwise.
    static QColor fillColor(double fraction);

    QSize sizeHint() const override { return QSize(120, 13); }
    QSize minimumSizeHint() const override { return QSize(0, 13); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_fraction = 0.0;
    int m_blocks = 0;
};
