// Keeps a service's log under a size cap by dropping its oldest part. Used by the log keeper, a small
// process of its own that outlives the program, so this is plain C++ over system calls, without Qt.
#pragma once

#include <cstdint>
#include <string>

namespace LogCap {

// What a service's log may grow to.
inline constexpr int64_t kDefaultCapBytes = int64_t(64) << 20;
// Smaller caps are raised to this, so that one read of output always fits below the cap after a trim.
inline constexpr int64_t kMinCapBytes = int64_t(1) << 20;

// Opens `path` for appending, creating it owner-only; never follows a link. -1 on failure.
int openLog(const std::string& path);

// When the file behind `fd` holds more than `keepBytes`, drops its oldest part so that about `keepBytes`
// of its newest remain: in place where the file system can cut a file's front (writers that append keep
// their descriptors), else by writing the newest part to a new file that replaces `path`. Returns the
// descriptor to go on with (`fd`, or the new file's with `fd` closed); `fd` when nothing could be done.
int trim(int fd, const std::string& path, int64_t keepBytes, bool allowCut = true);

// Copies `in` into the log at `path` (opened as `fd`) until every writer of `in` has gone, keeping the
// file at no more than `capBytes`. Output that cannot be written (a full disk) is dropped, never held
// back, so the service never waits on its log. Returns the exit status for the keeper.
int keep(int in, int fd, const std::string& path, int64_t capBytes);

} // namespace LogCap
