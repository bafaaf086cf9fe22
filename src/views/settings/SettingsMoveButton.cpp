// The small symbol button; see SettingsMoveButton.h.
#include "views/settings/SettingsMoveButton.h"

#include "views/Icons.h"

#include <QEvent>

SettingsMoveButton::SettingsMoveButton(const QString& symbol, const QString& help, QWidget* parent)
    : QToolButton(parent)
    , m_symbol(symbol) {
    setAutoRaise(true);
    setFixedSize(kSide, kSide);
    setIconSize(QSize(11, 11));
    setToolTip(help);
    setAccessibleName(help);
    setFocusPolicy(Qt::StrongFocus);
    paintIcon();
}

void SettingsMoveButton::changeEvent(QEvent* event) {
    QToolButton::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        paintIcon();
}

void SettingsMoveButton::paintIcon() {
    setIcon(Icons::icon(m_symbol, palette().color(QPalette::ButtonText)));
}
