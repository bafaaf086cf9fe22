// Store files: reading one without blocking or without bound, and setting aside what cannot be used.
#include "services/StoreFile.h"

#include "services/Log.h"
#include "services/PrivateWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AppPaths {

namespace {

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

bool exists(const QByteArray& path) {
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
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

} // namespace

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
        file = linkedFile(path, &result.writable, &result.why);
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
