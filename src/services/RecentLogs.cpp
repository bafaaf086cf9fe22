// Walking a tool's log folder with the POSIX directory calls: QDirIterator with QFileInfo stats each file
// twice and turns every name and time into Qt's types, which a refresh over many logs pays for each time.
#include "services/RecentLogs.h"

#include <QFile>

#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Deep enough for any real tree; a loop through bind mounts ends here.
constexpr int kMaxDepth = 64;

bool isLogName(const char* name) {
    const size_t n = std::strlen(name);
    return n >= 6 && std::memcmp(name + n - 6, ".jsonl", 6) == 0;
}

void walk(int dirFd, const QByteArray& folder, qint64 cutoffMs, int depth,
          const std::function<void(const LogFile&)>& visit) {
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    std::vector<QByteArray> subfolders;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        const unsigned char type = entry->d_type;
        if (type == DT_DIR || type == DT_UNKNOWN) {
            struct stat st {};
            if (type == DT_UNKNOWN) {
                if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                if (S_ISDIR(st.st_mode)) {
                    subfolders.emplace_back(name);
                    continue;
                }
                if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
                    continue;
            } else {
                subfolders.emplace_back(name);
                continue;
            }
        }
        if ((type != DT_REG && type != DT_LNK && type != DT_UNKNOWN) || !isLogName(name))
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), name, &st, 0) != 0 || !S_ISREG(st.st_mode))
            continue;
        LogFile file;
        file.device = quint64(st.st_dev);
        file.inode = quint64(st.st_ino);
        file.size = qint64(st.st_size);
        file.modifiedMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
        file.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        if (file.modifiedMs <= cutoffMs)
            continue;
        file.folder = &folder;
        file.name = name;
        visit(file);
    }
    if (depth < kMaxDepth) {
        for (const QByteArray& sub : subfolders) {
            const int fd = ::openat(::dirfd(dir), sub.constData(),
                                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
            if (fd >= 0)
                walk(fd, folder + '/' + sub, cutoffMs, depth + 1, visit);
        }
    }
    ::closedir(dir);
}

} // namespace

QString LogFile::path() const {
    return QFile::decodeName(*folder + '/' + name);
}

void walkRecentLogs(const QString& root, qint64 cutoffMs, const std::function<void(const LogFile&)>& visit) {
    QByteArray folder = QFile::encodeName(root);
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0)
        walk(fd, folder, cutoffMs, 0, visit);
}

QList<RecentLog> recentLogs(const QString& root, const QDateTime& cutoff) {
    QList<RecentLog> logs;
    walkRecentLogs(root, cutoff.toMSecsSinceEpoch(), [&](const LogFile& file) {
        logs.append({file.path(), QDateTime::fromMSecsSinceEpoch(file.modifiedMs, Qt::UTC), file.size});
    });
    return logs;
}
