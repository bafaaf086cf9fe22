// The named system colours of the island's dark look, shared by the small views and the island.
#pragma once

#include <QColor>

namespace SystemColors {

inline QColor red() {
    return QColor(255, 69, 58);
}
inline QColor orange() {
    return QColor(255, 159, 10);
}
inline QColor green() {
    return QColor(48, 209, 88);
}
inline QColor cyan() {
    return QColor(100, 210, 255);
}
inline QColor pink() {
    return QColor(255, 55, 95);
}
inline QColor purple() {
    return QColor(191, 90, 242);
}

// White at the given opacity, the usual way secondary text and fills are drawn on black.
inline QColor white(double opacity) {
    QColor c(Qt::white);
    c.setAlphaF(float(opacity));
    return c;
}

} // namespace SystemColors
