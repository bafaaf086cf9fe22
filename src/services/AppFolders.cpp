// The folders value: XDG base folders read from an environment once, when the value is made.
#include "services/AppFolders.h"

#include <QDir>
#include <QFile>

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace AppPaths {

namespace {

QString accountHome() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return QDir::cleanPath(QFile::decodeName(found->pw_dir));
    return QStringLiteral("/");
}

QString homeOf(const QProcessEnvironment& environment) {
    const QString home = environment.value(QStringLiteral("HOME"));
    if (!home.isEmpty() && QDir::isAbsolutePath(home))
        return QDir::cleanPath(home);
    return accountHome();
}

// An XDG base folder: the variable when it holds an absolute path, else the default under the home.
QString xdgBase(const QProcessEnvironment& environment, const QString& variable, const QString& home,
                const char* homeRelative) {
    const QString value = environment.value(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(home + QLatin1Char('/') + QLatin1String(homeRelative));
}

} // namespace

Folders::Folders(const QString& dataHome, const QString& stateHome, const QString& configHome)
    : m_support(dataHome + QLatin1Char('/') + QLatin1String(kFolderName))
    , m_logs(stateHome + QLatin1Char('/') + QLatin1String(kFolderName) + QLatin1String("/logs"))
    , m_config(configHome + QLatin1Char('/') + QLatin1String(kFolderName))
    , m_configHome(configHome)
    , m_earlierSupport(dataHome + QLatin1Char('/') + QLatin1String(kEarlierFolderName))
    , m_earlierLogs(stateHome + QLatin1Char('/') + QLatin1String(kEarlierFolderName) +
                    QLatin1String("/logs")) {}

Folders Folders::fromEnvironment(const QProcessEnvironment& environment) {
    const QString home = homeOf(environment);
    return Folders(xdgBase(environment, QStringLiteral("XDG_DATA_HOME"), home, ".local/share"),
                   xdgBase(environment, QStringLiteral("XDG_STATE_HOME"), home, ".local/state"),
                   xdgBase(environment, QStringLiteral("XDG_CONFIG_HOME"), home, ".config"));
}

Folders Folders::underHome(const QString& home) {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), home);
    return fromEnvironment(environment);
}

QString Folders::defaultsFile(const QString& domain) const {
    return defaultsFileIn(m_configHome, domain);
}

QString defaultsFileIn(const QString& configHome, const QString& domain) {
    QString folder = domain.section(QLatin1Char('.'), -1);
    // A domain is a name, never a path: refuse anything that could leave the config folder.
    if (folder.isEmpty() || folder.contains(QLatin1Char('/')) || folder.contains(QChar(0)))
        return QString();
    folder[0] = folder[0].toUpper();
    return configHome + QLatin1Char('/') + folder + QLatin1String("/defaults.json");
}

} // namespace AppPaths
