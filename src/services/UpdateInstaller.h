// The blocking half of an update, run on a worker thread: checks the downloaded archive's signature,
// unpacks it into a private folder, checks what it holds and stages it beside the install folder, for the
// helper that swaps the folders once the program has quit. Also what a start does after an update that
// was cut short: the install folder's name put back, and what no update uses any more removed.
#pragma once

#include "platform/FolderSwap.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class ProcessTable;

namespace UpdateInstaller {

// How far unpacking has come, in percent of the work it takes (entries written and content bytes, both
// counted before unpacking begins); called on the unpacking thread, once per change.
using Progress = std::function<void(int percent)>;

// Why an attempt stopped; each maps to the text the user sees.
enum class Failure {
    none,
    securityCheck, // bad or foreign signature
    notSigned,     // the signed comment names another team or version
    unsafeContent, // names or links that leave the folder, special files, more than the limits
    cannotOpen,    // the archive cannot be read or unpacked
    noApp,         // no Quillbay/bin/quillbay in it
    cannotStage,   // the staging copy failed
    cannotPrepare, // no replaceable install folder, no swap helper, or another swap under way
};

struct Request {
    QString archive;      // the downloaded archive, already checked against its SHA-256
    QByteArray signature; // the text of its .minisig
    QByteArray publicKey; // the built-in key
    QString version;      // the offered version
    QString installDir;   // the folder to replace
    QString workDir;      // private folder (0700) for the unpacked tree and the swap lock
    qint64 pid = 0;       // the process the helper waits for
    QString team;         // the signing team the signed comment must name
    QString helper;       // the swap helper (quillbay-swap) of the running install
    // How long to wait for the swap lock: a swap ends within it (10 s for the program to end, 3 s for the
    // new version to start, then the removal of the old folder).
    int lockWaitMs = 30000;
    // Told while the archive unpacks; may be empty.
    Progress progress;
};

struct Outcome {
    Failure failure = Failure::none;
    // Why, for the log: never text taken from the archive.
    QString detail;
    // When the system refused a write (a full disk, a folder that may not be written): its error number and
    // the folder written into, for the user to be told; 0 and empty otherwise.
    int systemError = 0;
    QString folder;
    // When it succeeded: the helper to start, its arguments, and the swap lock, taken, to hand over to it
    // (descriptor FolderSwap::kHandOverFd).
    QString program;
    QStringList arguments;
    // The staged successor the helper is to put in place; removed again when the helper cannot start.
    QString staging;
    std::shared_ptr<UniqueFd> lock;
};

Outcome prepare(const Request& request);

// An install folder the update may replace: it holds the marker file and the user can write both it and
// its parent (the swap renames it).
bool isReplaceable(const QString& installDir);

struct Extracted {
    Failure failure = Failure::none; // none, unsafeContent or cannotOpen
    QString detail;
    int systemError = 0; // set when writing an unpacked file failed and the system said why
};
// Unpacks a tar archive (any compression libarchive reads) into `destination`, refusing absolute names,
// ".." parts, links that lead out of the top folder they sit in (followed through the other links), chains
// of more than kMaxLinks links, anything written through a link, special files, more than `maxBytes` of
// content and more than `maxEntries` entries. `destination` may itself be reached through links. With
// `progress`, the archive is read through once before unpacking, to count what there is to do.
Extracted extract(const QString& archive, const QString& destination, qint64 maxBytes,
                  int maxEntries = 200000, const Progress& progress = {});

// The swap lock inside the work folder.
QString lockFile(const QString& workDir);

// A start from "X.old" while "X" is missing (a swap stopped between its two renames) and no swap is under
// way: renames the folder back to "X". Returns the folder the program runs from afterwards.
QString restoreInstallFolder(const QString& installDir, const QString& workDir);

// What updates that were cut short may have left: everything in the work folder but the lock, and beside
// a replaceable install folder its ".new", ".old" and ".failed". Only lists, so it is quick.
QStringList leftovers(const QString& installDir, const QString& workDir);

// Removes `paths` unless a swap is under way: the lock is held, or the swap script of an earlier version
// still runs (looked up in `processes`). Returns how many were removed, or -1 when they were left for a
// later start.
int removeLeftovers(const QStringList& paths, const QString& workDir, const ProcessTable& processes);

inline constexpr const char* kMarker = FolderSwap::kMarker;
// The most links one name may lead through, itself included: as many as the system follows in one lookup.
inline constexpr int kMaxLinks = 40;

} // namespace UpdateInstaller
