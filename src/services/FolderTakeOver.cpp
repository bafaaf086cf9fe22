// Taking over the earlier product's folders: a rename when ours is still missing, then owner-only modes.
#include "services/FolderTakeOver.h"

#include "services/AppFolders.h"
#include "services/PrivateWrite.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace AppPaths {

namespace {

bool exists(const QByteArray& path) {
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

} // namespace

void prepareFolders(const Folders& folders) {
    migrated(folders.supportDir(), folders.earlierSupportDir());
    migrated(folders.logsDir(), folders.earlierLogsDir());
}

QString migrated(const QString& newDir, const QString& oldDir) {
    const QByteArray newPath = QFile::encodeName(newDir);
    const QByteArray oldPath = QFile::encodeName(oldDir);
    // Every step is best effort: a folder that could not be prepared still names where writes go.
    if (!exists(newPath) && exists(oldPath)) {
        makePrivateFolders(QFileInfo(newDir).path());
        ::rename(oldPath.constData(), newPath.constData());
    }
    makePrivateFolders(newDir);
    ::chmod(newPath.constData(), kPrivateFolderMode);

    DIR* dir = ::opendir(newPath.constData());
    if (!dir)
        return newDir;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        // lstat, so that a link's target outside the folder keeps its mode.
        struct stat st;
        if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::fchmodat(dirFd, name, kPrivateFileMode, 0);
    }
    ::closedir(dir);
    return newDir;
}

} // namespace AppPaths
