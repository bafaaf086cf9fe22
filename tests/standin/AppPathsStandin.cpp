// Temporary test-only stand-in for the private-files routines, compiled only while the real ones
// are not in the tree (see cmake/parts/settings.cmake). Just enough for the defaults store's tests.
#include "services/AppPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace AppPaths {

static QString configHome() {
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    return xdg.isEmpty() ? QDir::homePath() + "/.config" : xdg;
}

QString supportDir() {
    return QDir::homePath() + "/.local/share/Quillbay";
}
QString logsDir() {
    return QDir::homePath() + "/.local/state/Quillbay/logs";
}
QString configDir() {
    return configHome() + "/Quillbay";
}

QString defaultsFile(const QString& domain) {
    const QString folder =
        domain == "com.farrowlight.vestrand" ? QStringLiteral("Vestrand") : QStringLiteral("Quillbay");
    return configHome() + "/" + folder + "/defaults.json";
}

QString migrated(const QString& newDir, const QString&) {
    QDir().mkpath(newDir);
    return newDir;
}

bool writePrivate(const QByteArray& data, const QString& path, QString* error) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

QString moveAside(const QString& path) {
    if (!QFileInfo::exists(path))
        return {};
    const QString target = path + ".corrupt-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss");
    return QFile::rename(path, target) ? target : QString();
}

} // namespace AppPaths
