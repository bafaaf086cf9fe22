// Style of the dark text field: white text, faint prompt, translucent rounded background.
#include "views/DarkField.h"

#include "views/SystemColors.h"

#include <QPalette>

DarkField::DarkField(const QString& placeholder, QWidget* parent)
    : QLineEdit(parent) {
    setPlaceholderText(placeholder);
    setFrame(false);
    setAttribute(Qt::WA_MacShowFocusRect, false);

    QFont f = font();
    f.setPixelSize(11);
    setFont(f);

    // The prompt colour is not reachable through a style sheet in Qt 6.4; the palette carries it.
    QPalette p = palette();
    p.setColor(QPalette::PlaceholderText, SystemColors::white(0.3));
    p.setColor(QPalette::Text, Qt::white);
    setPalette(p);

    setStyleSheet(QStringLiteral("QLineEdit { background: rgba(255, 255, 255, 20); color: white;"
                                 " border: none; border-radius: 6px; padding: 6px 8px; }"));
}
