// A small coloured dot that fades between full and quarter opacity for as long as it is shown.
#pragma once

#include "views/DirectRepaint.h"

#include <QColor>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class PulsingDot : public QWidget {
    Q_OBJECT
public:
    // The fade is shown in this many even steps of opacity each way; a frame is drawn only when the
    // step changes, so a pulse wakes the program 2 × kSteps times a period however smooth the curve.
    static constexpr int kSteps = 4;
    static constexpr double kPeriodMs = 1400.0;

    explicit PulsingDot(QColor color, QWidget* parent = nullptr);

    QColor color() const { return m_color; }
    bool pulsing() const { return m_pulsing; }
    // The dot's opacity at this moment.
    double currentOpacity() const;
    // The step shown now: 0 is full opacity, kSteps the lowest.
    int look() const;
    // The step shown `ms` into a period, and the time of the first change after `ms` (both in ms into
    // a period; the change may be in the next period).
    static int lookAt(double ms);
    static double nextChangeAfter(double ms);
    static double opacityOf(int look);
    // Where set, each frame goes straight onto the window (see DirectRepaint).
    void setWindowPixels(WindowPixels* pixels) { m_repaint.setPixels(pixels); }
    DirectRepaint& frames() { return m_repaint; }

    QSize sizeHint() const override { return QSize(6, 6); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void scheduleNextFrame();

    QColor m_color;
    bool m_pulsing = false;
    QElapsedTimer m_clock;
    QTimer m_frames;
    DirectRepaint m_repaint{this};
};
