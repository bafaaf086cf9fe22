// Backlight levels read with plain system calls: each read is two tiny files, several times a second.
#include "platform/sysfs/SysfsBacklight.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A whole non-negative number from a small file, or nothing when the file is missing or holds
// anything else (sysfs ends its values with a line feed).
std::optional<long long> readNumber(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char buf[32];
    ssize_t n;
    do {
        n = ::read(fd, buf, sizeof buf);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n <= 0 || n == ssize_t(sizeof buf))
        return std::nullopt;
    const char* end = buf + n;
    while (end > buf && (end[-1] == '\n' || end[-1] == ' ' || end[-1] == '\t'))
        --end;
    long long value = 0;
    const auto [ptr, ec] = std::from_chars(buf, end, value);
    if (ec != std::errc() || ptr != end || ptr == buf || value < 0)
        return std::nullopt;
    return value;
}

int typeRank(const QString& folder) {
    QFile f(folder + QStringLiteral("/type"));
    if (!f.open(QIODevice::ReadOnly))
        return 3;
    const QByteArray type = f.read(64).trimmed();
    if (type == "firmware")
        return 0;
    if (type == "platform")
        return 1;
    if (type == "raw")
        return 2;
    return 3;
}

} // namespace

SysfsBacklight::SysfsBacklight(QString root)
    : m_root(std::move(root)) {
    choose();
}

void SysfsBacklight::choose() {
    m_device.clear();
    m_sinceScan = 0;
    const QDir dir(m_root);
    // Device entries are symbolic links to the device's own folder: follow them.
    const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    int best = 4;
    for (const QString& name : names) {
        const QString folder = dir.filePath(name);
        if (!QFile::exists(folder + QStringLiteral("/max_brightness")))
            continue;
        const int rank = typeRank(folder);
        if (rank < best) {
            best = rank;
            m_device = QFile::encodeName(folder);
        }
    }
    m_levelPath = m_device + "/brightness";
    m_maxPath = m_device + "/max_brightness";
}

std::optional<double> SysfsBacklight::readBrightness() {
    if (m_device.isEmpty()) {
        if (++m_sinceScan < kRescanEvery)
            return std::nullopt;
        choose();
        if (m_device.isEmpty())
            return std::nullopt;
    }
    const auto max = readNumber(m_maxPath);
    const auto level = readNumber(m_levelPath);
    if (!max) {
        // The device went away (a dock unplugged, a driver reloaded): look again on a later read.
        m_device.clear();
        return std::nullopt;
    }
    if (*max == 0 || !level)
        return std::nullopt;
    return std::min(1.0, double(*level) / double(*max));
}
