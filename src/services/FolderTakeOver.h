// The start-up step that takes over the earlier product's folders and makes ours owner-only.
#pragma once

#include <QString>

namespace AppPaths {

class Folders;

// Run once by the program at start, before any store is read: takes over the earlier product's support
// and logs folders (see migrated). Running it again changes nothing that the first run did not.
void prepareFolders(const Folders& folders);

// Takes over `oldDir` when `newDir` does not exist, creates `newDir` 0700 and makes its regular files 0600.
// Never fails; returns `newDir`.
QString migrated(const QString& newDir, const QString& oldDir);

} // namespace AppPaths
