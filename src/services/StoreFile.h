// Reading a store's file without ever blocking or reading without bound, and setting aside what cannot
// be used, so that the next save cannot destroy what the user had.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace AppPaths {

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
