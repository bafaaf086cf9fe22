// An on/off switch: a rounded track with a sliding knob. Toggled by click or Space, and reachable
// with Tab. Its text is not drawn; it names the switch for assistive tools.
#pragma once

#include <QAbstractButton>

class Switch : public QAbstractButton {
    Q_OBJECT
public:
    enum class Size { regular, small };

    explicit Switch(QWidget* parent = nullptr);
    Switch(const QString& accessibleName, Size size, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Size m_size = Size::regular;
};
