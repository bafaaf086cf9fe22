// Seek-and-read of a log's last bytes and a lenient UTF-8 decode of them.
#include "services/LogTail.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Length of the sequence a lead byte starts, 0 when it cannot start one.
int sequenceLength(char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0xC2 && b <= 0xDF)
        return 2;
    if (b >= 0xE0 && b <= 0xEF)
        return 3;
    if (b >= 0xF0 && b <= 0xF4)
        return 4;
    return 0;
}

// A writer may be in the middle of a character at the end; it is completed on the next read.
qsizetype withoutIncompleteEnd(const QByteArray& bytes) {
    const qsizetype n = bytes.size();
    qsizetype i = n;
    while (i > 0 && n - i < 3 && isContinuation(bytes[i - 1]))
        --i;
    if (i == 0)
        return n;
    const int need = sequenceLength(bytes[i - 1]);
    return (need > 0 && n - (i - 1) < need) ? i - 1 : n;
}

int openForRead(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    // O_NONBLOCK so that a FIFO at the log's path cannot hang the caller; it is then refused below.
    int fd;
    do
        fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    while (fd < 0 && errno == EINTR);
    return fd;
}

} // namespace

namespace LogTail {

std::optional<QString> read(const QString& path, qint64 maxBytes) {
    const int fd = openForRead(path);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }

    maxBytes = qMax<qint64>(maxBytes, 0);
    const qint64 size = st.st_size;
    const bool cut = size > maxBytes;
    const qint64 offset = cut ? size - maxBytes : 0;

    // The file may grow while it is read; what was there at the stat is what this tick shows.
    QByteArray bytes(qMin(size, maxBytes), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t r = ::pread(fd, bytes.data() + got, size_t(bytes.size() - got), off_t(offset + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (r == 0) // truncated meanwhile (a restart empties the log)
            break;
        got += r;
    }
    ::close(fd);
    bytes.truncate(got);

    qsizetype begin = 0;
    if (cut)
        while (begin < 3 && begin < bytes.size() && isContinuation(bytes[begin]))
            ++begin;
    const qsizetype end = qMax(begin, withoutIncompleteEnd(bytes));
    QString text = QString::fromUtf8(bytes.constData() + begin, end - begin);

    if (cut) {
        const qsizetype lf = text.indexOf(u'\n');
        if (lf >= 0)
            text.remove(0, lf + 1);
    }
    return text;
}

} // namespace LogTail
