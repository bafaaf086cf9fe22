// Walking a tool's log folder with the POSIX directory calls: QDirIterator with QFileInfo stats each file
// twice and turns every name and time into Qt's types, which a refresh over many logs pays for each time.
// The stats are most of what is left, so they are shared with helper threads when there are some; what
// the caller sees, and in which order, does not depend on it.
#include "services/RecentLogs.h"

#include "services/WorkPool.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Deep enough for any real tree; a loop through bind mounts ends here.
constexpr int kMaxDepth = 64;
// Threads of the helpers' pool a walk takes besides its own.
constexpr int kHelpers = 3;
// Folders open at once: few enough to leave the process its descriptors.
constexpr size_t kBatch = 128;
// Most stats a helper makes at a time.
constexpr size_t kStatsPerShare = 256;

bool isLogName(const char* name) {
    const size_t n = std::strlen(name);
    return n >= 6 && std::memcmp(name + n - 6, ".jsonl", 6) == 0;
}

// One folder as read: its recent logs and its subfolders, each in the order the folder lists them.
struct Folder {
    QByteArray path;        // in the file system's encoding, no trailing slash
    qsizetype relative = 0; // where the part below the root starts in `path` (after its slash)
    int depth = 0;
    struct Log {
        quint64 device;
        quint64 inode;
        qint64 size;
        qint64 modifiedMs;
        qint64 modifiedNs;
        qsizetype name; // offset in `names`
    };
    std::vector<Log> logs;
    QByteArray names;                 // the names of the entries that may be logs, each ending in a NUL
    std::vector<QByteArray> subnames; // the subfolders' names
    std::vector<size_t> children;     // their indices in the walk's list, once known
};

// An entry that may be a log, waiting for its stat.
struct Candidate {
    Folder* folder;
    int dirFd;
    qsizetype name;
    struct stat st;
    bool found;
};

// Opens `folder` below the root one name at a time, never through a link: what was listed as a folder
// when its parent was read must still be one.
int openBelow(int rootFd, const Folder& folder) {
    int fd = ::dup(rootFd);
    qsizetype from = folder.relative;
    while (fd >= 0 && from < folder.path.size()) {
        qsizetype end = folder.path.indexOf('/', from);
        if (end < 0)
            end = folder.path.size();
        const QByteArray name = folder.path.sliced(from, end - from);
        const int next =
            ::openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        ::close(fd);
        fd = next;
        from = end + 1;
    }
    return fd;
}

// Lists one folder, left open for the stats of the entries that may be logs: those need one each (of the
// file a link leads to), and an entry of unknown type one more. Null when it cannot be read.
DIR* listFolder(int rootFd, Folder& folder, std::vector<Candidate>& candidates) {
    const int fd = openBelow(rootFd, folder);
    if (fd < 0)
        return nullptr;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return nullptr;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        const unsigned char type = entry->d_type;
        if (type == DT_DIR || type == DT_UNKNOWN) {
            if (type == DT_UNKNOWN) {
                struct stat st {};
                if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                if (S_ISDIR(st.st_mode)) {
                    folder.subnames.emplace_back(name);
                    continue;
                }
                if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
                    continue;
            } else {
                folder.subnames.emplace_back(name);
                continue;
            }
        }
        if ((type != DT_REG && type != DT_LNK && type != DT_UNKNOWN) || !isLogName(name))
            continue;
        candidates.push_back({&folder, ::dirfd(dir), folder.names.size(), {}, false});
        folder.names.append(name, qsizetype(std::strlen(name) + 1));
    }
    return dir;
}

// Hands the logs to `visit` depth first: a folder's own logs, then each subfolder's, as the folders list
// them.
void visitFrom(const std::vector<Folder>& folders, size_t index,
               const std::function<void(const LogFile&)>& visit) {
    const Folder& folder = folders[index];
    for (const Folder::Log& log : folder.logs) {
        LogFile file;
        file.device = log.device;
        file.inode = log.inode;
        file.size = log.size;
        file.modifiedMs = log.modifiedMs;
        file.modifiedNs = log.modifiedNs;
        file.folder = &folder.path;
        file.name = folder.names.constData() + log.name;
        visit(file);
    }
    for (size_t child : folder.children)
        visitFrom(folders, child, visit);
}

} // namespace

QString LogFile::path() const {
    return QFile::decodeName(*folder + '/' + name);
}

void walkRecentLogs(const QString& root, qint64 cutoffMs, WorkPool* helpers,
                    const std::function<void(const LogFile&)>& visit) {
    QByteArray path = QFile::encodeName(root);
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    const int rootFd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (rootFd < 0)
        return;
    std::vector<Folder> folders(1);
    folders[0].path = path;
    folders[0].relative = path.size();
    // One depth at a time, a batch of folders at once: the folders are listed on this thread, then the
    // stats, most of a walk's cost, are shared with the helpers, which write only into `candidates` (a
    // helper's allocations would grow and shrink an arena of its own on every walk).
    std::vector<Candidate> candidates;
    std::vector<DIR*> open;
    std::vector<size_t> shares; // where each share of the stats starts in `candidates`
    for (size_t first = 0, end = 1; first < end; first = end, end = folders.size()) {
        for (size_t batch = first; batch < end; batch += kBatch) {
            const size_t batchEnd = std::min(end, batch + kBatch);
            candidates.clear();
            open.clear();
            for (size_t i = batch; i < batchEnd; ++i) {
                if (DIR* dir = listFolder(rootFd, folders[i], candidates))
                    open.push_back(dir);
            }
            // A share holds the entries of one folder (of a large one, a part): threads that stat
            // through the same folder's descriptor contend for its reference count.
            shares.clear();
            for (size_t c = 0; c < candidates.size(); ++c) {
                if (shares.empty() || candidates[c].dirFd != candidates[c - 1].dirFd ||
                    c - shares.back() >= kStatsPerShare)
                    shares.push_back(c);
            }
            auto stat = [&](int share) {
                const size_t last =
                    size_t(share) + 1 < shares.size() ? shares[size_t(share) + 1] : candidates.size();
                for (size_t c = shares[size_t(share)]; c < last; ++c) {
                    Candidate& entry = candidates[c];
                    entry.found = ::fstatat(entry.dirFd, entry.folder->names.constData() + entry.name,
                                            &entry.st, 0) == 0;
                }
            };
            if (helpers)
                helpers->runAll(int(shares.size()), kHelpers, stat);
            else
                for (size_t share = 0; share < shares.size(); ++share)
                    stat(int(share));
            for (DIR* dir : open)
                ::closedir(dir);
            for (const Candidate& entry : candidates) {
                const struct stat& st = entry.st;
                if (!entry.found || !S_ISREG(st.st_mode))
                    continue;
                const qint64 modifiedMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
                if (modifiedMs <= cutoffMs)
                    continue;
                entry.folder->logs.push_back(
                    {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size), modifiedMs,
                     qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, entry.name});
            }
        }
        for (size_t i = first; i < end; ++i) {
            std::vector<QByteArray> subnames = std::move(folders[i].subnames);
            folders[i].subnames = {};
            if (folders[i].depth >= kMaxDepth)
                continue;
            for (QByteArray& name : subnames) {
                folders[i].children.push_back(folders.size());
                Folder sub;
                sub.path = folders[i].path + '/' + name;
                sub.relative = folders[i].depth == 0 ? path.size() + 1 : folders[i].relative;
                sub.depth = folders[i].depth + 1;
                folders.push_back(std::move(sub));
            }
        }
    }
    ::close(rootFd);
    visitFrom(folders, 0, visit);
}

QList<RecentLog> recentLogs(const QString& root, const QDateTime& cutoff) {
    QList<RecentLog> logs;
    walkRecentLogs(root, cutoff.toMSecsSinceEpoch(), [&](const LogFile& file) {
        logs.append({file.path(), QDateTime::fromMSecsSinceEpoch(file.modifiedMs, Qt::UTC), file.size});
    });
    return logs;
}
