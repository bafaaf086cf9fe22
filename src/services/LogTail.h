// Reads the end of a service's log file for the log view, without ever loading the whole file.
#pragma once

#include <QString>

#include <optional>

namespace LogTail {

// The log view shows at most this much of a log's end.
inline constexpr qint64 kMaxBytes = 32768;

// The last `maxBytes` bytes of the regular file at `path`, decoded as UTF-8. When the file is longer, the
// first (cut) line is dropped if the text holds a line feed. Bytes of a character cut at either end are
// dropped and any other invalid byte becomes U+FFFD, so a log always shows as text. Nothing only when the
// file cannot be opened or read (missing, not a regular file, no permission).
std::optional<QString> read(const QString& path, qint64 maxBytes = kMaxBytes);

} // namespace LogTail
