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
    : CapsuleButton(Look{QSize(2 * padding.width() + 1, 2 * padding.height())}, parent) {
    setText(text);
    m_symbol = symbol;
    m_fill = SystemColors::white(fill);
}

CapsuleButton::CapsuleButton(const Look& look, QWidget* parent)
    : QPushButton(parent)
    , m_look(look) {
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
}

void CapsuleButton::setSymbol(const QString& symbol) {
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    updateGeometry();
    update();
}

void CapsuleButton::setFill(qreal fill) {
    setFillColor(SystemColors::white(fill));
}

void CapsuleButton::setFillColor(const QColor& color) {
    m_fill = color;
    update();
}

void CapsuleButton::setInk(qreal opacity) {
    setInkColor(SystemColors::white(opacity));
}

void CapsuleButton::setInkColor(const QColor& color) {
    m_ink = color;
    update();
}

int CapsuleButton::iconSide() const {
    if (m_symbol.isEmpty())
        return 0;
    return m_look.iconSide > 0 ? m_look.iconSide : fontMetrics().height() - 2;
}

QSize CapsuleButton::sizeHint() const {
    const int side = iconSide();
    const int icon = side ? side + m_look.iconGap + 2 : 0;
    return QSize(m_look.around.width() + icon + fontMetrics().horizontalAdvance(text()),
                 m_look.around.height() + fontMetrics().height());
}

void CapsuleButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(isEnabled() ? 1.0 : 0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(m_fill);
    const qreal inset = m_look.edgeInset;
    const QRectF r = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    const QColor ink = m_ink;
    const int side = iconSide();
    if (!side && m_look.qtCentredText) {
        p.setPen(ink);
        p.setFont(font());
        p.drawText(rect(), Qt::AlignCenter, text());
        return;
    }
    const int gap = side ? m_look.iconGap : 0;
    const int textWidth = fontMetrics().horizontalAdvance(text());
    int x = (width() - side - gap - textWidth) / 2;
    if (side) {
        const QSize iconSize(side, side);
        p.drawPixmap(QRect(QPoint(x, (height() - side) / 2), iconSize),
                     Icons::pixmap(m_symbol, iconSize, ink, devicePixelRatioF()));
        x += side + gap;
    }
    p.setPen(ink);
    p.setFont(font());
    p.drawText(QRect(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
}

} // namespace KitPanelStyle
