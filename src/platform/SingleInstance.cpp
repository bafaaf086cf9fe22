// The per-user instance lock: flock(2) on a file in a folder only this user can write to.
#include "platform/SingleInstance.h"

#include "platform/LogCategories.h"
#include <QByteArray>
#include <QStringList>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

QByteArray env(const char* name) {
    const char* value = std::getenv(name);
    return value ? QByteArray(value) : QByteArray();
}

// A folder that only this user can enter and write, as $XDG_RUNTIME_DIR is meant to be. Anything else
// (unset, relative, shared, someone else's) could let another user hold or pre-create our lock.
bool isPrivateFolder(const QByteArray& path) {
    if (path.isEmpty() || !path.startsWith('/'))
        return false;
    struct stat st {};
    if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (st.st_uid != ::getuid() || (st.st_mode & 077) != 0)
        return false;
    return ::access(path.constData(), W_OK | X_OK) == 0;
}

QByteArray homeFolder() {
    QByteArray home = env("HOME");
    if (home.isEmpty()) {
        if (const passwd* pw = ::getpwuid(::getuid()))
            home = pw->pw_dir;
    }
    return home;
}

QByteArray stateFolder() {
    const QByteArray xdg = env("XDG_STATE_HOME");
    if (xdg.startsWith('/'))
        return xdg;
    const QByteArray home = homeFolder();
    return home.isEmpty() ? QByteArray() : home + "/.local/state";
}

// Creates each missing component 0700; existing components are left as they are.
bool makePath(const QByteArray& path) {
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash < 0)
            return true;
    }
}

// The fallback folder: $STATE/Quillbay/run, a real folder of ours with mode 0700.
bool prepareFallback(const QByteArray& folder, QString* error) {
    if (!makePath(folder)) {
        *error = QStringLiteral("cannot create %1: %2").arg(QString::fromLocal8Bit(folder), errnoText(errno));
        return false;
    }
    struct stat st {};
    if (::lstat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
        *error = QStringLiteral("%1 is not a folder owned by this user").arg(QString::fromLocal8Bit(folder));
        return false;
    }
    if ((st.st_mode & 07777) != 0700 && ::chmod(folder.constData(), 0700) != 0) {
        *error = QStringLiteral("cannot make %1 private: %2")
                     .arg(QString::fromLocal8Bit(folder), errnoText(errno));
        return false;
    }
    return true;
}

bool isValidID(const QString& id) {
    return !id.isEmpty() && !id.contains(QLatin1Char('/')) && !id.contains(QLatin1Char('\0')) &&
           id != QLatin1String(".") && id != QLatin1String("..");
}

} // namespace

SingleInstance::SingleInstance(const QString& bundleID) {
    if (!isValidID(bundleID)) {
        m_error = QStringLiteral("invalid bundle identifier \"%1\"").arg(bundleID);
        return;
    }
    const QByteArray fileName = bundleID.toLocal8Bit() + ".lock";
    const QByteArray runtime = env("XDG_RUNTIME_DIR");
    if (isPrivateFolder(runtime)) {
        m_lockPath = QString::fromLocal8Bit(runtime + '/' + fileName);
        return;
    }
    const QByteArray state = stateFolder();
    if (state.isEmpty()) {
        m_error = QStringLiteral("neither XDG_RUNTIME_DIR, XDG_STATE_HOME nor HOME is usable");
        return;
    }
    const QByteArray folder = state + "/Quillbay/run";
    if (prepareFallback(folder, &m_error))
        m_lockPath = QString::fromLocal8Bit(folder + '/' + fileName);
}

SingleInstance::~SingleInstance() {
    release();
}

void SingleInstance::release() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

SingleInstance::Result SingleInstance::tryAcquire() {
    if (m_fd >= 0)
        return Result::Acquired;
    if (m_lockPath.isEmpty())
        return Result::Failed;

    const QByteArray path = m_lockPath.toLocal8Bit();
    // O_CLOEXEC: a child that inherited the descriptor would keep the lock after we exit, and saved services
    // outlive the program by design.
    int fd;
    do {
        fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        m_error = QStringLiteral("cannot open %1: %2").arg(m_lockPath, errnoText(errno));
        return Result::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) {
        m_error = QStringLiteral("%1 is not a regular file owned by this user").arg(m_lockPath);
        ::close(fd);
        return Result::Failed;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK) {
            qCDebug(lcPlatform, "instance lock %s is held by another copy", qUtf8Printable(m_lockPath));
            return Result::AlreadyRunning;
        }
        m_error = QStringLiteral("cannot lock %1: %2").arg(m_lockPath, errnoText(err));
        return Result::Failed;
    }
    m_fd = fd;
    m_error.clear();
    qCDebug(lcPlatform, "instance lock %s taken", qUtf8Printable(m_lockPath));
    return Result::Acquired;
}
