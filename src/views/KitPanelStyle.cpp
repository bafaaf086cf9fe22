// The pixel fonts, text labels and capsule button shared by the tab views.
#include "views/KitPanelStyle.h"

#include "views/Icons.h"
#include "views/SystemColors.h"

#include <QBoxLayout>
#include <QFontDatabase>
#include <QLabel>
#include <QPainter>

namespace KitPanelStyle {

QFont pixelFont(qreal px, QFont::Weight weight, bool monospaced) {
    QFont f = monospaced ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont();
    f.setPixelSize(qRound(px));
    f.setWeight(weight);
    return f;
}

QLabel* textLabel(const QString& text, const QFont& font, const QString& colour, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    l->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(colour));
    return l;
}

PanelColumn panelColumn(QWidget* panel, QMargins margins, int spacing, int topSpacing) {
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(margins);
    column->setSpacing(spacing);
    auto* top = new QHBoxLayout;
    top->setSpacing(topSpacing);
    column->addLayout(top);
    return {column, top};
}

CapsuleButton::CapsuleButton(const QString& symbol, const QString& text, qreal fill, QSize padding,
                             QWidget* parent)
    : QPushButton(text, parent)
    , m_symbol(symbol)
    , m_fill(fill)
    , m_padding(padding) {
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
}

void CapsuleButton::setFill(qreal fill) {
    m_fill = fill;
    update();
}

void CapsuleButton::setInk(qreal opacity) {
    setInkColor(SystemColors::white(opacity));
}

void CapsuleButton::setInkColor(const QColor& color) {
    m_ink = color;
    update();
}

QSize CapsuleButton::sizeHint() const {
    const int icon = m_symbol.isEmpty() ? 0 : fontMetrics().height() + 4;
    return QSize(2 * m_padding.width() + icon + fontMetrics().horizontalAdvance(text()) + 1,
                 2 * m_padding.height() + fontMetrics().height());
}

void CapsuleButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(isEnabled() ? 1.0 : 0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(SystemColors::white(m_fill));
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    const QColor ink = m_ink;
    const int iconSide = m_symbol.isEmpty() ? 0 : fontMetrics().height() - 2;
    const int textWidth = fontMetrics().horizontalAdvance(text());
    int x = (width() - iconSide - (iconSide ? 4 : 0) - textWidth) / 2;
    if (iconSide) {
        const QSize iconSize(iconSide, iconSide);
        p.drawPixmap(QRect(QPoint(x, (height() - iconSide) / 2), iconSize),
                     Icons::pixmap(m_symbol, iconSize, ink, devicePixelRatioF()));
        x += iconSide + 4;
    }
    p.setPen(ink);
    p.setFont(font());
    p.drawText(QRect(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
}

} // namespace KitPanelStyle
