// Small shared pieces of the kit's views: pixel fonts and the flat capsule button.
#pragma once

#include <QFont>
#include <QPushButton>
#include <QString>

namespace KitPanelStyle {

QFont pixelFont(qreal px, QFont::Weight weight = QFont::Normal, bool monospaced = false);

// A plain button with a symbol and a label on a capsule filled with white at `fill`.
class CapsuleButton : public QPushButton {
public:
    CapsuleButton(const QString& symbol, const QString& text, qreal fill, QSize padding,
                  QWidget* parent = nullptr);
    void setFill(qreal fill);
    void setInk(qreal opacity);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
    qreal m_fill;
    qreal m_ink = 1.0;
    QSize m_padding;
};

} // namespace KitPanelStyle
