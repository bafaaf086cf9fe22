// The program's private folders (XDG places, taken over from the earlier product) and private file writes.
#include "services/AppPaths.h"

#include "services/Log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AppPaths {

namespace {

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;

std::atomic<int> g_setupRuns{0};

// An XDG base folder: the variable when it holds an absolute path, else the default under home.
QString xdgBase(const char* variable, const char* homeRelative) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(QDir::homePath() + QLatin1Char('/') + QLatin1String(homeRelative));
}

struct Places {
    QString data = xdgBase("XDG_DATA_HOME", ".local/share");
    QString state = xdgBase("XDG_STATE_HOME", ".local/state");
    QString config = xdgBase("XDG_CONFIG_HOME", ".config");
};

// Read once, so that every folder and the private-folder check agree for the life of the process.
const Places& places() {
    static const Places p;
    return p;
}

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

bool exists(const QByteArray& path) {
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

// Creates `path` and any missing parents; the folders made here get 0700 (as XDG asks of new base
// folders), existing ones are left as they are. Sets *created when the last component was made here.
bool makeFolders(const QString& path, bool* created = nullptr) {
    if (created)
        *created = false;
    const QString clean = QDir::cleanPath(path);
    struct stat st;
    if (::stat(native(clean).constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        errno = ENOTDIR;
        return false;
    }
    const QString parent = QFileInfo(clean).path();
    if (parent != clean && !makeFolders(parent))
        return false;
    if (::mkdir(native(clean).constData(), kFolderMode) == 0) {
        if (created)
            *created = true;
        return true;
    }
    return errno == EEXIST && ::stat(native(clean).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// True when `folder` is one of the private folders or lies below one.
bool isPrivateFolder(const QString& folder) {
    const QString clean = QDir::cleanPath(folder);
    const QString roots[] = {places().data + QLatin1String("/Quillbay"),
                             places().state + QLatin1String("/Quillbay"),
                             places().config + QLatin1String("/Quillbay")};
    for (const QString& root : roots) {
        if (clean == root || clean.startsWith(root + QLatin1Char('/')))
            return true;
    }
    return false;
}

// Where a store reached through the link at `path` really lives, or an empty string (with `why`) when
// the link leads nowhere. `writable` tells whether that file and its folder may be written.
QString linkTarget(const QString& path, bool* writable, QString* why) {
    const QString real = QFileInfo(path).canonicalFilePath();
    if (real.isEmpty()) {
        *why = QStringLiteral("a link that leads nowhere");
        return QString();
    }
    *writable = ::access(native(real).constData(), W_OK) == 0 &&
                ::access(native(QFileInfo(real).path()).constData(), W_OK) == 0;
    if (!*writable)
        *why = QStringLiteral("a link to a file that cannot be written");
    return real;
}

// Removes what a save of `file` cut short left beside it (the temporary names writePrivate makes).
void removeInterruptedSaves(const QString& file) {
    const QFileInfo info(file);
    const QByteArray prefix = "." + native(info.fileName()).left(200) + ".tmp-";
    DIR* dir = ::opendir(native(info.path()).constData());
    if (!dir)
        return;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name.size() != prefix.size() + 6 || !name.startsWith(prefix))
            continue;
        struct stat st;
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(dirFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

void keptInMemory(const QString& path, const QString& why) {
    Log::line(QStringLiteral("%1 is %2: its changes are kept in memory for this session").arg(path, why));
}

bool fail(QString* error, const QString& what, int code) {
    if (error)
        *error = what + QLatin1String(": ") + qt_error_string(code);
    return false;
}

bool writeAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

QString supportDir() {
    static const QString dir =
        migrated(places().data + QLatin1String("/Quillbay"), places().data + QLatin1String("/Vestrand"));
    return dir;
}

QString logsDir() {
    static const QString dir = migrated(places().state + QLatin1String("/Quillbay/logs"),
                                        places().state + QLatin1String("/Vestrand/logs"));
    return dir;
}

QString configDir() {
    static const QString dir = places().config + QLatin1String("/Quillbay");
    return dir;
}

QString defaultsFile(const QString& domain) {
    QString folder = domain.section(QLatin1Char('.'), -1);
    // A domain is a name, never a path: refuse anything that could leave the config folder.
    if (folder.isEmpty() || folder.contains(QLatin1Char('/')) || folder.contains(QChar(0)))
        return QString();
    folder[0] = folder[0].toUpper();
    return places().config + QLatin1Char('/') + folder + QLatin1String("/defaults.json");
}

int setupRuns() {
    return g_setupRuns.load();
}

QString migrated(const QString& newDir, const QString& oldDir) {
    ++g_setupRuns;
    const QByteArray newPath = native(newDir);
    const QByteArray oldPath = native(oldDir);
    // Every step is best effort: a folder that could not be prepared still names where writes go.
    if (!exists(newPath) && exists(oldPath)) {
        makeFolders(QFileInfo(newDir).path());
        ::rename(oldPath.constData(), newPath.constData());
    }
    makeFolders(newDir);
    ::chmod(newPath.constData(), kFolderMode);

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
            ::fchmodat(dirFd, name, kFileMode, 0);
    }
    ::closedir(dir);
    return newDir;
}

bool makePrivateFolders(const QString& path) {
    return makeFolders(path);
}

bool writePrivate(const QByteArray& data, const QString& path, QString* error) {
    const QFileInfo info(path);
    QString target = QDir::cleanPath(info.absoluteFilePath());
    if (path.isEmpty() || QFileInfo(target).fileName().isEmpty() ||
        QFileInfo(target).fileName() == QLatin1String(".."))
        return fail(error, QLatin1String("Cannot write \"%1\"").arg(path), EINVAL);
    struct stat existing;
    if (::lstat(native(target).constData(), &existing) == 0) {
        if (S_ISLNK(existing.st_mode)) {
            // The link stays; its file is replaced, in its own folder, so the rename stays atomic.
            bool writable = true;
            QString why;
            const QString real = linkTarget(target, &writable, &why);
            struct stat st;
            if (real.isEmpty() || ::stat(native(real).constData(), &st) != 0 || !S_ISREG(st.st_mode))
                return fail(error,
                            QLatin1String("Will not replace \"%1\", a link to no regular file").arg(path),
                            EINVAL);
            if (!writable)
                return fail(error, QLatin1String("Will not replace \"%1\": %2").arg(path, why), EACCES);
            target = real;
        } else if (!S_ISREG(existing.st_mode)) {
            return fail(error, QLatin1String("Will not replace \"%1\", which is no regular file").arg(path),
                        S_ISDIR(existing.st_mode) ? EISDIR : EINVAL);
        }
    }
    const QString fileName = QFileInfo(target).fileName();
    const QString parent = QFileInfo(target).path();

    bool created = false;
    if (!makeFolders(parent, &created))
        return fail(error, QLatin1String("Cannot create folder \"%1\"").arg(parent), errno);
    // Only our own folders are locked down; a folder of the user's keeps the mode they gave it.
    if ((created || isPrivateFolder(parent)) && ::chmod(native(parent).constData(), kFolderMode) != 0)
        return fail(error, QLatin1String("Cannot restrict folder \"%1\"").arg(parent), errno);

    // The temporary name stays within NAME_MAX however long the target's name is.
    QByteArray tempPath = native(parent) + "/." + native(fileName).left(200) + ".tmp-XXXXXX";
    const int fd = ::mkostemp(tempPath.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(error, QLatin1String("Cannot create a file in \"%1\"").arg(parent), errno);

    const auto abandon = [&](const QString& what) {
        const int code = errno;
        ::close(fd);
        ::unlink(tempPath.constData());
        return fail(error, what, code);
    };
    // mkostemp already gives 0600; fchmod keeps that true under any umask.
    if (::fchmod(fd, kFileMode) != 0)
        return abandon(QLatin1String("Cannot restrict \"%1\"").arg(path));
    if (!writeAll(fd, data.constData(), data.size()))
        return abandon(QLatin1String("Cannot write \"%1\"").arg(path));
    if (::fsync(fd) != 0)
        return abandon(QLatin1String("Cannot flush \"%1\"").arg(path));
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(tempPath.constData());
        return fail(error, QLatin1String("Cannot write \"%1\"").arg(path), code);
    }
    if (::rename(tempPath.constData(), native(target).constData()) != 0) {
        const int code = errno;
        ::unlink(tempPath.constData());
        return fail(error, QLatin1String("Cannot replace \"%1\"").arg(path), code);
    }
    // Make the rename itself durable; a file system that cannot sync folders still has the data.
    const int dirFd = ::open(native(parent).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    if (error)
        error->clear();
    return true;
}

StoreRead readStore(const QString& path, qint64 maxBytes) {
    StoreRead result;
    const QByteArray nativePath = native(path);
    struct stat st;
    if (path.isEmpty() || ::lstat(nativePath.constData(), &st) != 0) {
        result.status = errno == ENOENT || errno == ENOTDIR || path.isEmpty() ? StoreRead::Status::Missing
                                                                              : StoreRead::Status::Unreadable;
        return result;
    }
    QString file = path;
    if (S_ISLNK(st.st_mode)) {
        file = linkTarget(path, &result.writable, &result.why);
        if (file.isEmpty()) {
            result.status = StoreRead::Status::Refused;
            return result;
        }
    }
    removeInterruptedSaves(path);
    if (file != path)
        removeInterruptedSaves(file);
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer that never comes.
    // O_NOFOLLOW: a link swapped in after the check above is refused, not followed.
    int fd;
    do
        fd = ::open(native(file).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno == ELOOP) {
            result.status = StoreRead::Status::Refused;
            result.why = QStringLiteral("a link that was replaced while it was read");
        } else {
            result.status = StoreRead::Status::Unreadable;
            result.file = file;
        }
        return result;
    }
    const auto finish = [&](StoreRead::Status status) {
        ::close(fd);
        result.status = status;
        if (status != StoreRead::Status::Read)
            result.data.clear();
        if (status == StoreRead::Status::Refused)
            result.file.clear();
        return result;
    };
    result.file = file;
    if (::fstat(fd, &st) != 0)
        return finish(StoreRead::Status::Unreadable);
    if (!S_ISREG(st.st_mode)) {
        result.why = S_ISDIR(st.st_mode) ? QStringLiteral("a folder") : QStringLiteral("not a regular file");
        return finish(StoreRead::Status::Refused);
    }
    if (st.st_size > maxBytes)
        return finish(StoreRead::Status::Unreadable);
    // The file may grow while it is read; one byte past the limit is enough to know it is too large.
    result.data.reserve(qsizetype(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return finish(StoreRead::Status::Unreadable);
        if (n == 0)
            break;
        result.data.append(buffer, n);
        if (result.data.size() > maxBytes)
            return finish(StoreRead::Status::Unreadable);
    }
    return finish(StoreRead::Status::Read);
}

bool settleStore(const QString& path, const StoreRead& read, bool decoded) {
    using Status = StoreRead::Status;
    switch (read.status) {
    case Status::Missing:
        return true;
    case Status::Refused:
        keptInMemory(path, read.why);
        return false;
    case Status::Read:
        if (decoded) {
            if (read.writable)
                return true;
            keptInMemory(path, read.why);
            return false;
        }
        break;
    case Status::Unreadable:
        break;
    }
    // Set aside is the file that holds the bytes; a link to it is left to lead nowhere until the user
    // looks, so no save goes through it meanwhile.
    const QString holder = read.file.isEmpty() ? path : read.file;
    const QString moved = moveAside(holder);
    if (moved.isEmpty()) {
        keptInMemory(path, QStringLiteral("unreadable and could not be moved aside"));
        return false;
    }
    if (holder != path) {
        keptInMemory(path, QStringLiteral("a link to a file that could not be read, now at ") + moved);
        return false;
    }
    return true;
}

QString moveAside(const QString& path, const QDateTime& now) {
    const QString clean = QDir::cleanPath(path);
    const QByteArray source = native(clean);
    if (path.isEmpty() || !exists(source))
        return QString();
    const QString base = clean + QLatin1String(".corrupt-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int n = 1; n < 1000; ++n) {
        const QString candidate = n == 1 ? base : base + QLatin1Char('-') + QString::number(n);
        const QByteArray dest = native(candidate);
        // No-replace rename, so that an earlier copy set aside is never overwritten, even by a racing call.
        if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, dest.constData(), RENAME_NOREPLACE) == 0)
            return candidate;
        if (errno == EEXIST)
            continue;
        if (errno != EINVAL && errno != ENOSYS)
            return QString();
        // A file system without no-replace renames: check, then rename.
        if (exists(dest))
            continue;
        return ::rename(source.constData(), dest.constData()) == 0 ? candidate : QString();
    }
    return QString();
}

QString moveAside(const QString& path) {
    return moveAside(path, QDateTime::currentDateTime());
}

} // namespace AppPaths
