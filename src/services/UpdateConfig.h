// Everything the update service takes from the build and the running process; tests replace each part.
// Parts left empty are filled from the build and the running program by completed().
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class ProcessTable;
class ServiceLauncher;

struct UpdateConfig {
    // "host" or "host:port" of the maker's web service (https only).
    QString host;
    // The minisign public key (the base64 line of a minisign .pub file) that signs every release.
    QByteArray publicKey;
    // The running version; empty means the application's version.
    QString currentVersion;
    // The folder an update replaces; empty means the one that holds the running program.
    QString installDir;
    // The private folder for downloads and the swap lock; empty means defaultWorkDir().
    QString workDir;
    // The process the swap helper waits for; 0 means this one.
    qint64 pid = 0;
    // The swap helper; empty means quillbay-swap beside the running program.
    QString helper;
    // The helper that makes the check's and the signature's requests (quillbay-fetch); empty, or not
    // there, means they are made in this process.
    QString fetchHelper;
    // Starts the swap helper without waiting for it, handing `handOverFd` (the swap lock) over as its
    // descriptor 3; by default a process of its own session started through `launcher`.
    std::function<bool(const QString& program, const QStringList& arguments, int handOverFd)> startDetached;
    // What starts the swap helper when `startDetached` is not given; without either it cannot start.
    ServiceLauncher* launcher = nullptr;
    // Where a swap script of an earlier version is looked for before leftovers are removed; without
    // it they are kept.
    const ProcessTable* processTable = nullptr;
    // Ends the program once the swap helper runs (a queued QCoreApplication::quit by default).
    std::function<void()> quit;
    // Largest update archive accepted.
    qint64 maxDownloadBytes = qint64(512) * 1024 * 1024;

    // The build's settings: the maker's host and public key as configured in CMake.
    static UpdateConfig fromBuild();
    // $XDG_CACHE_HOME/Quillbay/update (default ~/.cache/Quillbay/update).
    static QString defaultWorkDir();
    // This configuration with every part left empty filled in: the build's version (0.0.0 without one),
    // the running program's install folder, helper and process, defaultWorkDir(), a start of the helper
    // through `launcher`, and a queued quit of the application.
    UpdateConfig completed() const;
};
