#include "views/ChipRow.h"

#include "views/Icons.h"
#include "views/SystemColors.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>

#include <algorithm>

namespace {

// A flat capsule button: filled white at 0.16 when chosen, bare otherwise. Never narrower than its title.
class ChipButton : public QPushButton {
public:
    using QPushButton::QPushButton;
    bool chosen = false;
    QString symbol;
    bool symbolShown = true;
    int padding = 11;

    QSize sizeHint() const override {
        const int icon = showsSymbol() ? 12 + 4 : 0;
        return QSize(padding + icon + fontMetrics().horizontalAdvance(text()) + padding,
                     fontMetrics().height() + 10);
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool showsSymbol() const { return symbolShown && !symbol.isEmpty(); }

    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (chosen) {
            p.setPen(Qt::NoPen);
            p.setBrush(SystemColors::white(0.16));
            const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
            p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
        }
        const QColor ink = chosen ? QColor(Qt::white) : SystemColors::white(0.5);
        // A chip without a symbol is its title alone.
        const QSize iconSize = showsSymbol() ? QSize(12, 12) : QSize(0, 0);
        const int gap = showsSymbol() ? 4 : 0;
        const int textWidth = fontMetrics().horizontalAdvance(text());
        const int total = iconSize.width() + gap + textWidth;
        int x = (width() - total) / 2;
        if (showsSymbol())
            p.drawPixmap(QRect(QPoint(x, (height() - iconSize.height()) / 2), iconSize),
                         Icons::pixmap(symbol, iconSize, ink, devicePixelRatioF()));
        x += iconSize.width() + gap;
        p.setPen(ink);
        p.setFont(font());
        p.drawText(QRect(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    }
};

} // namespace

ChipRow::ChipRow(QWidget* parent)
    : QWidget(parent)
    , m_layout(new QHBoxLayout(this)) {
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(6);
}

void ChipRow::setChips(const QList<Chip>& chips) {
    qDeleteAll(m_buttons);
    m_buttons.clear();
    m_chips = chips;
    for (const Chip& chip : chips) {
        auto* b = new ChipButton(chip.title, this);
        b->symbol = chip.symbol;
        b->symbolShown = !m_compact;
        b->padding = m_padding;
        b->setObjectName(QStringLiteral("chip-%1").arg(chip.value));
        b->setFlat(true);
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        b->setCursor(Qt::PointingHandCursor);
        QFont f = b->font();
        f.setPixelSize(10);
        f.setWeight(QFont::DemiBold);
        b->setFont(f);
        const int value = chip.value;
        connect(b, &QPushButton::clicked, this, [this, value] { emit chosen(value); });
        m_layout->addWidget(b);
        m_buttons.append(b);
    }
    restyle();
    updateGeometry();
}

void ChipRow::setSpacing(int padding, int spacing) {
    m_padding = padding;
    m_layout->setSpacing(spacing);
    for (QAbstractButton* b : m_buttons) {
        static_cast<ChipButton*>(b)->padding = padding;
        b->updateGeometry();
    }
    updateGeometry();
}

void ChipRow::setCurrent(int value) {
    if (value == m_current)
        return;
    m_current = value;
    restyle();
}

QAbstractButton* ChipRow::button(int value) const {
    for (int i = 0; i < m_chips.size(); ++i)
        if (m_chips[i].value == value)
            return m_buttons[i];
    return nullptr;
}

void ChipRow::restyle() {
    for (int i = 0; i < m_chips.size(); ++i) {
        auto* b = static_cast<ChipButton*>(m_buttons[i]);
        b->chosen = m_chips[i].value == m_current;
        b->update();
    }
}

int ChipRow::widthFor(bool compact) const {
    int width = 0;
    for (QAbstractButton* b : m_buttons) {
        auto* chip = static_cast<ChipButton*>(b);
        const bool shown = chip->symbolShown;
        chip->symbolShown = !compact;
        width += chip->sizeHint().width();
        chip->symbolShown = shown;
    }
    return width + m_layout->spacing() * std::max<int>(0, int(m_buttons.size()) - 1);
}

QSize ChipRow::sizeHint() const {
    int height = 0;
    for (QAbstractButton* b : m_buttons)
        height = std::max(height, b->sizeHint().height());
    return QSize(widthFor(false), height);
}

QSize ChipRow::minimumSizeHint() const {
    return QSize(widthFor(true), sizeHint().height());
}

void ChipRow::resizeEvent(QResizeEvent* event) {
    setCompact(width() < widthFor(false));
    QWidget::resizeEvent(event);
}

void ChipRow::setCompact(bool compact) {
    if (compact == m_compact)
        return;
    m_compact = compact;
    for (QAbstractButton* b : m_buttons) {
        static_cast<ChipButton*>(b)->symbolShown = !compact;
        b->updateGeometry();
        b->update();
    }
}
