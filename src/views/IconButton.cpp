// The symbol button: the whole square takes clicks, the symbol is drawn at 12 px in its tint at 0.8.
#include "views/IconButton.h"

#include "views/Icons.h"

#include <QPainter>

IconButton::IconButton(const QString& symbol, const QString& help, QColor tint, std::function<void()> action,
                       QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(symbol)
    , m_tint(tint)
    , m_action(std::move(action)) {
    setFixedSize(22, 22);
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::NoFocus);
    setToolTip(help);
    setIconSize(QSize(12, 12));
    reloadIcon();
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (m_action)
            m_action();
    });
}

IconButton::IconButton(QWidget* parent)
    : IconButton(QString(), QString(), Qt::white, {}, parent) {}

void IconButton::setSymbol(const QString& symbol) {
    if (symbol == m_symbol)
        return;
    m_symbol = symbol;
    reloadIcon();
}

void IconButton::setTint(QColor tint) {
    if (tint == m_tint)
        return;
    m_tint = tint;
    reloadIcon();
}

void IconButton::reloadIcon() {
    setIcon(m_symbol.isEmpty() ? QIcon() : Icons::icon(m_symbol, m_tint));
    update();
}

void IconButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setOpacity(0.8);
    const QSize s = iconSize();
    const QRect target(QPoint((width() - s.width()) / 2, (height() - s.height()) / 2), s);
    icon().paint(&p, target, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
}
