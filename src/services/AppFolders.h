// The program's folders as one value: made once at start from the environment (or by a test) and handed
// to whatever keeps files. Naming a folder never touches the disk.
#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace AppPaths {

// The name of each of our folders, and the earlier product's name for the same folders.
inline constexpr char kFolderName[] = "Quillbay";
inline constexpr char kEarlierFolderName[] = "Vestrand";

class Folders {
public:
    // The places `environment` gives. An XDG base variable that is unset, empty or not an absolute path
    // is ignored (its default under the home is used); HOME that is not an absolute path gives way to the
    // account's home folder.
    static Folders fromEnvironment(const QProcessEnvironment& environment);
    // The places of a home with no XDG base variables set.
    static Folders underHome(const QString& home);

    // $XDG_DATA_HOME/Quillbay (default ~/.local/share/Quillbay).
    QString supportDir() const { return m_support; }
    // $XDG_STATE_HOME/Quillbay/logs (default ~/.local/state/Quillbay/logs).
    QString logsDir() const { return m_logs; }
    // $XDG_CONFIG_HOME/Quillbay (default ~/.config/Quillbay): where the defaults store lives.
    QString configDir() const { return m_config; }
    // $XDG_CONFIG_HOME itself, where other programs keep their settings too.
    QString configHome() const { return m_configHome; }
    // The defaults file of `domain` (see defaultsFileIn) under this configHome().
    QString defaultsFile(const QString& domain) const;

    // Where the earlier product kept the same folders, taken over at start (see prepareFolders).
    QString earlierSupportDir() const { return m_earlierSupport; }
    QString earlierLogsDir() const { return m_earlierLogs; }

    friend bool operator==(const Folders&, const Folders&) = default;

private:
    Folders(const QString& dataHome, const QString& stateHome, const QString& configHome);

    QString m_support;
    QString m_logs;
    QString m_config;
    QString m_configHome;
    QString m_earlierSupport;
    QString m_earlierLogs;
};

// <configHome>/<folder>/defaults.json of a defaults domain such as "com.farrowlight.vestrand", the folder
// being the domain's last dot-component capitalised ("Vestrand"). Empty for a domain that gives no usable
// folder name (empty last component, or one holding a slash).
QString defaultsFileIn(const QString& configHome, const QString& domain);

} // namespace AppPaths
