// The program's private folders and the one way its files are written.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <optional>

namespace AppPaths {

// $XDG_DATA_HOME/Quillbay (default ~/.local/share/Quillbay), 0700; takes over "Vestrand" on first use.
QString supportDir();
// $XDG_STATE_HOME/Quillbay/logs (default ~/.local/state/Quillbay/logs), 0700; same take-over.
QString logsDir();
// $XDG_CONFIG_HOME/Quillbay (default ~/.config/Quillbay): where the defaults store lives.
QString configDir();
// $XDG_CONFIG_HOME/<folder>/defaults.json of a defaults domain such as "com.farrowlight.vestrand", the
// folder being the domain's last dot-component capitalised ("Vestrand"). Empty for a domain that gives no
// usable folder name (empty last component, or one holding a slash).
QString defaultsFile(const QString& domain);

// Takes over `oldDir` when `newDir` does not exist, creates `newDir` 0700 and makes its regular files 0600.
// Never fails; returns `newDir`.
QString migrated(const QString& newDir, const QString& oldDir);
// How many times `migrated` has run in this process; the folders above run it once each, on first use.
int setupRuns();

// Creates `path` and its missing parents owner-only (0700), as the private folders are made; folders that
// exist are left as they are. False when it is not a folder afterwards.
bool makePrivateFolders(const QString& path);

// Writes `data` to `path` without ever exposing it with wider permissions than 0600: a temporary file
// created 0600 in the same folder, flushed to disk, then renamed over the target. Creates the parent
// folder (0700) when missing. A symbolic link at `path` is kept: the write goes to the file it leads to,
// in that file's folder. What is neither missing nor a regular file (a FIFO, a device, a folder, a link
// that leads nowhere or to a file that may not be written) is never replaced. On failure returns false,
// sets `error` and leaves no temporary file behind.
bool writePrivate(const QByteArray& data, const QString& path, QString* error = nullptr);

// Renames an unreadable store to "<name>.corrupt-<yyyyMMdd-HHmmss>" so that the next save cannot destroy
// what the user had. Returns the new path, or an empty string when nothing was moved.
// A name already taken gets a counter ("-2", "-3", ...).
QString moveAside(const QString& path);
// The same with the time stamp taken from `now`.
QString moveAside(const QString& path, const QDateTime& now);

// The most a store may hold; a larger one is set aside unread rather than loaded whole into memory.
inline constexpr qint64 kMaxStoreBytes = qint64(64) << 20;

// What reading a store found.
struct StoreRead {
    enum class Status {
        Missing,    // nothing at the path
        Read,       // `data` holds the whole file
        Unreadable, // a file that could not be read or is too large: to be set aside
        Refused,    // not a regular file (FIFO, device, socket, folder) or a link that leads nowhere:
                    // left as it is, never opened for reading
    };
    Status status = Status::Missing;
    QByteArray data;
    // The regular file that holds the store: `path` itself, or where its link leads. Empty when refused.
    QString file;
    // False when `file` is reached through a link and may not be replaced (a read-only target).
    bool writable = true;
    QString why; // for a refused or unwritable store: what it is, for the log
};

// Reads a store without ever blocking (a FIFO or device at the path is refused, not opened for a read
// that could wait forever), following a symbolic link wherever it leads, and without reading more than
// `maxBytes`. Temporary files that an interrupted save left beside the store are removed first.
StoreRead readStore(const QString& path, qint64 maxBytes = kMaxStoreBytes);

// What becomes of a store once it has been read and, when read, decoded: an unreadable or undecodable
// file is set aside, and a store that can no longer be written (refused, unwritable, or set aside from
// behind a link) gets one log line. False when saves cannot reach the file for this session.
bool settleStore(const QString& path, const StoreRead& read, bool decoded);

// Reads the store at `path` through `decode` (bytes -> std::optional<T>). A store that cannot be read or
// decoded is moved aside first, so that the next save cannot destroy it; one that is not a regular file
// is left alone. Nothing when there is no usable store. `saves` (when given) tells whether saves can reach
// the file for this session (see settleStore).
template <typename Decode>
auto loadStore(const QString& path, Decode&& decode, bool* saves = nullptr)
    -> decltype(decode(QByteArray())) {
    const StoreRead read = readStore(path);
    decltype(decode(QByteArray())) decoded;
    if (read.status == StoreRead::Status::Read)
        decoded = decode(read.data);
    const bool reachable = settleStore(path, read, bool(decoded));
    if (saves)
        *saves = reachable;
    return decoded;
}

} // namespace AppPaths
