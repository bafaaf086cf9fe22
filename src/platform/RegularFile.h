// Opening another program's files for reading without ever blocking: what is not a regular file once
// links are followed (a FIFO, a device, a socket, a folder) is refused before and after it is opened, and
// the open itself cannot wait for a FIFO's writer.
#pragma once

#include <QString>

class QFile;

namespace RegularFile {

// True when `path`, links followed, names a regular file now.
bool isRegular(const QString& path);
// Opens `path` read-only into `file` (which then owns the descriptor); false when it is not a regular
// file or cannot be opened.
bool open(QFile& file, const QString& path);

} // namespace RegularFile
