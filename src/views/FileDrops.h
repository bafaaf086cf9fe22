// What the island makes of dragged files: the local files a drag carries, and the few drop targets
// inside the dashboard that take files for themselves instead of the shelf.
#pragma once

#include <QList>
#include <QUrl>

class QMimeData;
class QWidget;

namespace FileDrops {

// The local files of a drag, in order; web addresses and other items are left out.
QList<QUrl> localFiles(const QMimeData* mime);

// Marks `target` as taking file drops itself; the dashboard then leaves drags over it alone.
void claim(QWidget* target);
// Whether `widget`, or one of its ancestors up to (not including) `host`, took that mark.
bool claimed(const QWidget* widget, const QWidget* host);

} // namespace FileDrops
