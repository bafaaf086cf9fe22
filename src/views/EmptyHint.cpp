// Style of the empty-state hint.
#include "views/EmptyHint.h"

EmptyHint::EmptyHint(const QString& text, QWidget* parent)
    : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setText(text);
    setAlignment(Qt::AlignCenter);
    setWordWrap(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setContentsMargins(0, 20, 0, 20);

    QFont f = font();
    f.setPixelSize(11);
    setFont(f);
    setStyleSheet(QStringLiteral("QLabel { color: rgba(255, 255, 255, 115); background: transparent; }"));
}
