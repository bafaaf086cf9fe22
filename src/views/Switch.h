// An on/off switch: a rounded track with a sliding knob. Toggled by click or Space, and reachable
// with Tab. In the settings window it follows the window's palette and its text only names it for
// assistive tools; on the island it is the island's green and its text is drawn beside it.
#pragma once

#include <QAbstractButton>

class Switch : public QAbstractButton {
    Q_OBJECT
public:
    enum class Size { regular, small };

    // The settings window's switch.
    explicit Switch(QWidget* parent = nullptr);
    Switch(const QString& accessibleName, Size size, QWidget* parent = nullptr);
    // The island's switch: a 32 × 18 track, green when on, with setText() drawn to its right.
    static Switch* onIsland(QWidget* parent);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    enum class Look { window, island };
    Switch(Look look, QWidget* parent);

    QRectF track() const;

    Look m_look = Look::window;
    Size m_size = Size::regular;
};
