// A switch with a title and an explanation beside it; clicking the texts toggles it too.
#pragma once

#include <QString>

class QHBoxLayout;
class QWidget;
class Switch;

namespace SwitchRow {
// An empty `detail` shows the title alone.
QHBoxLayout* make(Switch* toggle, const QString& title, const QString& detail, QWidget* parent,
                  int titlePixels = 13);
} // namespace SwitchRow
