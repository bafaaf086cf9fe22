// The settings window's type sizes and the desktop palette's muted colours, shared by its sections.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QString>
#include <QWidget>

namespace SettingsLook {

// The desktop font at `pixels`, with `weight`.
inline QFont font(int pixels, QFont::Weight weight = QFont::Normal) {
    QFont f;
    f.setPixelSize(pixels);
    f.setWeight(weight);
    return f;
}

inline QFont monospace(int pixels, QFont::Weight weight = QFont::Normal) {
    QFont f(QStringLiteral("monospace"));
    f.setStyleHint(QFont::Monospace);
    f.setPixelSize(pixels);
    f.setWeight(weight);
    return f;
}

// Secondary text: the palette's text colour, faded.
inline QColor secondary(const QPalette& palette) {
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.6f);
    return c;
}

inline void setTextColor(QWidget* w, const QColor& color) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, color);
    p.setColor(QPalette::Text, color);
    w->setPalette(p);
}

// A label of `pixels` in the secondary colour, wrapped.
inline QLabel* note(const QString& text, int pixels, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(font(pixels));
    label->setWordWrap(true);
    setTextColor(label, secondary(label->palette()));
    return label;
}

// A rounded box filled with the control background, for lists and forms.
inline QString boxStyle(const char* objectName, int radius) {
    return QStringLiteral("#%1 { background: palette(base); border-radius: %2px; }")
        .arg(QLatin1String(objectName))
        .arg(radius);
}

} // namespace SettingsLook
