// Backlight levels read with plain system calls, two tiny files a read, and only when udev says that
// something changed (or the caller has to look for itself).
#include "platform/sysfs/SysfsBacklight.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <libudev.h>

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

SysfsBacklight::SysfsBacklight(QString root, bool watch)
    : m_root(std::move(root)) {
    choose();
    if (watch)
        startMonitor();
}

SysfsBacklight::~SysfsBacklight() {
    m_notifier.reset();
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
}

void SysfsBacklight::startMonitor() {
    m_udev = udev_new();
    if (!m_udev)
        return;
    // Events as udev passes them on once its rules ran, not the kernel's raw ones.
    udev_monitor* monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!monitor)
        return;
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor, "backlight", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        udev_monitor_unref(monitor);
        return;
    }
    m_monitor = monitor;
    m_notifier = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { readMonitor(); });
}

void SysfsBacklight::readMonitor() {
    // The socket is non-blocking: every event waiting is taken, then the loop sleeps again.
    for (int i = 0; i < 64; ++i) {
        udev_device* device = udev_monitor_receive_device(m_monitor);
        if (!device)
            return;
        const char* action = udev_device_get_action(device);
        const QByteArray what = action ? QByteArray(action) : QByteArray();
        udev_device_unref(device);
        handleEvent(what);
    }
}

void SysfsBacklight::handleEvent(const QByteArray& action) {
    if (action != "change")
        choose(); // a device came, went, or moved
    m_changeNotice.notify();
}

void SysfsBacklight::choose() {
    m_device.clear();
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
    if (m_device.isEmpty())
        return std::nullopt; // until a device is announced
    const auto max = readNumber(m_maxPath);
    const auto level = readNumber(m_levelPath);
    if (!max) {
        // The device went away (a dock unplugged, a driver reloaded) without a word: look for another
        // once, then wait for an announcement.
        choose();
        return std::nullopt;
    }
    if (*max == 0 || !level)
        return std::nullopt;
    return std::min(1.0, double(*level) / double(*max));
}
