// The blocking half of an update, run on a worker thread: checks the downloaded archive's signature,
// unpacks it into a private folder, checks what it holds, stages it beside the install folder and writes
// the script that swaps the folders once the program has quit.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace UpdateInstaller {

// Why an attempt stopped; each maps to the text the user sees.
enum class Failure {
    none,
    securityCheck, // bad or foreign signature
    notSigned,     // the signed comment names another team or version
    cannotOpen,    // the archive does not unpack safely
    noApp,         // no Quillbay/bin/quillbay in it
    cannotStage,   // the staging copy failed
    cannotPrepare, // no replaceable install folder, or the script was not written
};

struct Request {
    QString archive;      // the downloaded archive, already checked against its SHA-256
    QByteArray signature; // the text of its .minisig
    QByteArray publicKey; // the built-in key
    QString version;      // the offered version
    QString installDir;   // the folder to replace
    QString workDir;      // private folder (0700) for the unpacked tree and the script
    qint64 pid = 0;       // the process the script waits for
    QString team;         // the signing team the signed comment must name
};

struct Outcome {
    Failure failure = Failure::none;
    QString detail; // for the log
    QString script; // when it succeeded: the script to start with /bin/sh and its arguments
    QStringList arguments;
};

Outcome prepare(const Request& request);

// An install folder the update may replace: it holds the marker file and the user can write both it and
// its parent (the swap renames it).
bool isReplaceable(const QString& installDir);

// Unpacks a tar archive (any compression libarchive reads) into `destination`, refusing absolute names,
// ".." parts, links that leave the tree, special files and more than `maxBytes` of content.
bool extract(const QString& archive, const QString& destination, QString* error, qint64 maxBytes);

// The swap script, run as: sh script pid destination staging archive.
QByteArray scriptText();

inline constexpr char kMarker[] = ".quillbay-bundle";

} // namespace UpdateInstaller
