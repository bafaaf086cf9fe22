// Private writes: a 0600 temporary file beside the target, fsync, rename, then the folder's fsync.
#include "services/PrivateWrite.h"

#include "services/AppFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AppPaths {

namespace {

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
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
    if (::mkdir(native(clean).constData(), kPrivateFolderMode) == 0) {
        if (created)
            *created = true;
        return true;
    }
    return errno == EEXIST && ::stat(native(clean).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// True when `folder` is one of our folders or lies inside one. Every folder the program keeps files in
// is named after it, whichever XDG base holds it, so the name is enough and no list of places is needed.
bool isOurFolder(const QString& folder) {
    const QLatin1String name(kFolderName);
    const QStringList parts = QDir::cleanPath(folder).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    return parts.contains(name);
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

bool makePrivateFolders(const QString& path) {
    return makeFolders(path);
}

QString linkedFile(const QString& path, bool* writable, QString* why) {
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
            const QString real = linkedFile(target, &writable, &why);
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
    if ((created || isOurFolder(parent)) && ::chmod(native(parent).constData(), kPrivateFolderMode) != 0)
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
    if (::fchmod(fd, kPrivateFileMode) != 0)
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

} // namespace AppPaths
