#include "views/ChipRow.h"

#include "views/Icons.h"
#include "views/SystemColors.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>

namespace {

// A flat capsule button: filled white at 0.16 when chosen, bare otherwise.
class ChipButton : public QPushButton {
public:
    using QPushButton::QPushButton;
    bool chosen = false;

protected:
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
        const QSize iconSize = symbol.isEmpty() ? QSize(0, 0) : QSize(12, 12);
        const int gap = symbol.isEmpty() ? 0 : 4;
        const int textWidth = fontMetrics().horizontalAdvance(text());
        const int total = iconSize.width() + gap + textWidth;
        int x = (width() - total) / 2;
        if (!symbol.isEmpty())
            p.drawPixmap(QRect(QPoint(x, (height() - iconSize.height()) / 2), iconSize),
                         Icons::pixmap(symbol, iconSize, ink, devicePixelRatioF()));
        x += iconSize.width() + gap;
        p.setPen(ink);
        p.setFont(font());
        p.drawText(QRect(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    }
    QSize sizeHint() const override {
        const int icon = symbol.isEmpty() ? 0 : 12 + 4;
        return QSize(11 + icon + fontMetrics().horizontalAdvance(text()) + 11, fontMetrics().height() + 10);
    }

public:
    QString symbol;
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
        b->setObjectName(QStringLiteral("chip-%1").arg(chip.value));
        b->setFlat(true);
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
