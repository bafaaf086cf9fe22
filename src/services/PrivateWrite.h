// The one way the program writes its files: owner-only from the first byte, atomic, durable.
#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace AppPaths {

inline constexpr mode_t kPrivateFolderMode = 0700;
inline constexpr mode_t kPrivateFileMode = 0600;

// Creates `path` and its missing parents owner-only (0700), as the private folders are made; folders that
// exist are left as they are. False when it is not a folder afterwards.
bool makePrivateFolders(const QString& path);

// Writes `data` to `path` without ever exposing it with wider permissions than 0600: a temporary file
// created 0600 in the same folder, flushed to disk, then renamed over the target. Creates the parent
// folder (0700) when missing; an existing parent is made 0700 only when it is one of our folders (named
// Quillbay, or inside one), so a folder of the user's keeps its mode. A symbolic link at `path` is kept:
// the write goes to the file it leads to, in that file's folder. What is neither missing nor a regular
// file (a FIFO, a device, a folder, a link that leads nowhere or to a file that may not be written) is
// never replaced. On failure returns false, sets `error` and leaves no temporary file behind.
bool writePrivate(const QByteArray& data, const QString& path, QString* error = nullptr);

// Where the symbolic link at `path` finally leads, or an empty string (with `why`) when it leads nowhere.
// `writable` tells whether that file and its folder may be written (`why` says so when not).
QString linkedFile(const QString& path, bool* writable, QString* why);

} // namespace AppPaths
