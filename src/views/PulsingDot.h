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
    // The time between two frames of the pulse.
    static constexpr int kFrameMs = 100;

    explicit PulsingDot(QColor color, QWidget* parent = nullptr);

    QColor color() const { return m_color; }
    bool pulsing() const { return m_pulsing; }
    // The dot's opacity at this moment.
    double currentOpacity() const;
    // The opacity in steps of 1/kLooks, as drawn.
    static constexpr int kLooks = 128;
    int look() const;
    // Where set, each frame goes straight onto the window (see DirectRepaint).
    void setWindowPixels(WindowPixels* pixels) { m_repaint.setPixels(pixels); }
    DirectRepaint& frames() { return m_repaint; }

    QSize sizeHint() const override { return QSize(6, 6); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_color;
    bool m_pulsing = false;
    QElapsedTimer m_clock;
    QTimer m_frames;
    DirectRepaint m_repaint{this};
};
