// Small shared pieces of the island's tab views: pixel fonts, plain text labels and the flat capsule
// button.
#pragma once

#include <QColor>
#include <QFont>
#include <QMargins>
#include <QPushButton>
#include <QString>

class QHBoxLayout;
class QLabel;
class QVBoxLayout;

namespace KitPanelStyle {

QFont pixelFont(qreal px, QFont::Weight weight = QFont::Normal, bool monospaced = false);

// A label that shows `text` as written, in `font` and the style-sheet colour `colour`, over nothing.
QLabel* textLabel(const QString& text, const QFont& font, const QString& colour, QWidget* parent);

// A panel's layout: its column, and the row of controls that heads it.
struct PanelColumn {
    QVBoxLayout* column;
    QHBoxLayout* top;
};

// Lays `panel` out as a column inside `margins`, its rows `spacing` apart, headed by a row of controls
// `topSpacing` apart; what else the panel shows goes in the column below that row.
PanelColumn panelColumn(QWidget* panel, QMargins margins = {}, int spacing = 8, int topSpacing = 6);

// A plain button with a symbol and a label on a capsule filled with white at `fill`.
class CapsuleButton : public QPushButton {
public:
    CapsuleButton(const QString& symbol, const QString& text, qreal fill, QSize padding,
                  QWidget* parent = nullptr);
    void setFill(qreal fill);
    // The label's colour: white at `opacity`, or any colour (a red "Delete").
    void setInk(qreal opacity);
    void setInkColor(const QColor& color);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
    qreal m_fill;
    QColor m_ink = Qt::white;
    QSize m_padding;
};

} // namespace KitPanelStyle
