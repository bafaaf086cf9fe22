// Style of the section caption.
#include "views/SectionTitle.h"

SectionTitle::SectionTitle(const QString& text, QWidget* parent)
    : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setContentsMargins(0, 2, 0, 0);

    QFont f = font();
    f.setPixelSize(9);
    f.setBold(true);
    setFont(f);
    setStyleSheet(QStringLiteral("QLabel { color: rgba(255, 255, 255, 89); background: transparent; }"));
    setTitle(text);
}

void SectionTitle::setTitle(const QString& text) {
    // QString::toUpper is locale-independent, so "i" stays "I" under a Turkish locale.
    setText(text.toUpper());
}
