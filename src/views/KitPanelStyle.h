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

// A plain button with a symbol and a label on a capsule: the kit's, filled with white at `fill`, and
// the camera's and timer's, filled with a colour of their own.
class CapsuleButton : public QPushButton {
public:
    struct Look {
        QSize around;          // what the capsule adds to its label's size, for the size hint
        int iconSide = 0;      // the symbol's side; 0: the font's height less 2
        int iconGap = 4;       // between the symbol and the text
        qreal edgeInset = 0.5; // how far inside the button's edge the capsule is drawn
        // A label without a symbol centred over the whole button, where Qt's centring puts it (to the
        // subpixel), rather than from the whole pixel its width leaves.
        bool qtCentredText = false;
    };

    // The kit's: `padding` on each side of the label.
    CapsuleButton(const QString& symbol, const QString& text, qreal fill, QSize padding,
                  QWidget* parent = nullptr);
    explicit CapsuleButton(const Look& look, QWidget* parent = nullptr);

    void setSymbol(const QString& symbol);
    QString symbol() const { return m_symbol; }
    // The capsule's colour: white at `fill`, or any colour (alpha included).
    void setFill(qreal fill);
    void setFillColor(const QColor& color);
    QColor fillColor() const { return m_fill; }
    // The label's colour: white at `opacity`, or any colour (a red "Delete").
    void setInk(qreal opacity);
    void setInkColor(const QColor& color);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int iconSide() const;

    QString m_symbol;
    QColor m_fill;
    QColor m_ink = Qt::white;
    Look m_look;
};

} // namespace KitPanelStyle
