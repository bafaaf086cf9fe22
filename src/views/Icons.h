// The interface's symbols: each symbol name of src/resources/icons/symbols.txt as a tinted, scalable icon.
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace Icons {

// The symbol drawn in `color` (alpha included), sharp at every size and device-pixel ratio; disabled
// buttons get it faded. An unknown name gives a null icon and is logged once.
QIcon icon(const QString& symbolName, QColor color = Qt::white);

// The same as a pixmap fitted into `size` device-independent pixels, for labels. Null for an unknown name.
QPixmap pixmap(const QString& symbolName, QSize size, QColor color = Qt::white, qreal devicePixelRatio = 1.0);

} // namespace Icons
