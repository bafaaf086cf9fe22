// The see-through scroll page the island's lists are laid on: no frame, no horizontal scroll bar, and
// the island's black showing through it.
#pragma once

#include <Qt>

class QScrollArea;
class QWidget;

namespace ScrollPage {

// How much of the page is see-through: the area alone (its content then keeps the backgrounds its
// widgets draw), or every widget in it as well.
enum class Clear { area, everything };

// A resizable scroll area with no frame and no horizontal scroll bar. Its vertical bar follows
// `vertical`; the page still scrolls by the wheel without one.
QScrollArea* create(QWidget* parent, Clear clear = Clear::area,
                    Qt::ScrollBarPolicy vertical = Qt::ScrollBarAlwaysOff);

// Puts `content` on `page` and keeps it see-through (QScrollArea::setWidget turns its background fill
// on).
void setContent(QScrollArea* page, QWidget* content);

} // namespace ScrollPage
