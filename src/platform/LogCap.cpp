// The log keeper's work: copy, and cut the front when the cap is reached.
#include "platform/LogCap.h"

#include <algorithm>
#include <vector>

#include <cerrno>
#include <fcntl.h>
#include <linux/falloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LogCap {

namespace {

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Replaces `path` with a new file holding the last `keepBytes` of `fd`.
int rewriteNewest(int fd, const std::string& path, int64_t size, int64_t keepBytes) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = dir + "/." + base.substr(0, 200) + ".keep-XXXXXX";
    const int out = ::mkostemp(temp.data(), O_CLOEXEC | O_APPEND);
    if (out < 0)
        return fd;
    ::fchmod(out, 0600);
    std::vector<char> buffer(1 << 16);
    int64_t offset = size - keepBytes;
    bool ok = true;
    while (ok) {
        const ssize_t n = ::pread(fd, buffer.data(), buffer.size(), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        ok = writeAll(out, buffer.data(), size_t(n));
        offset += n;
    }
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        ::close(out);
        return fd;
    }
    ::close(fd);
    return out;
}

// The descriptor still names the file at `path` (no one replaced or removed it).
bool stillAtPath(int fd, const std::string& path) {
    struct stat open, named;
    return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

} // namespace

int openLog(const std::string& path) {
    int fd;
    do
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int trim(int fd, const std::string& path, int64_t keepBytes, bool allowCut) {
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= keepBytes)
        return fd;
    const int64_t block = st.st_blksize > 0 ? st.st_blksize : 4096;
    // Whole blocks from the front; what stays is at least keepBytes.
    const int64_t drop = (st.st_size - keepBytes) / block * block;
    if (allowCut && drop > 0 && ::fallocate(fd, FALLOC_FL_COLLAPSE_RANGE, 0, drop) == 0)
        return fd;
    // The file system cannot cut a file's front (or refused this range).
    return rewriteNewest(fd, path, st.st_size, keepBytes);
}

int keep(int in, int fd, const std::string& path, int64_t capBytes) {
    capBytes = std::max(capBytes, kMinCapBytes);
    const int64_t keepBytes = capBytes / 2;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        // A same-named service's keeper may have replaced the file, or the user removed it.
        if (!stillAtPath(fd, path)) {
            const int reopened = openLog(path);
            if (reopened >= 0) {
                ::close(fd);
                fd = reopened;
            }
        }
        struct stat st;
        if (::fstat(fd, &st) == 0 && st.st_size + n > capBytes)
            fd = trim(fd, path, keepBytes);
        writeAll(fd, buffer.data(), size_t(n));
    }
    ::close(fd);
    return 0;
}

} // namespace LogCap
