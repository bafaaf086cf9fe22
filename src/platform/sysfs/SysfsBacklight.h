// The backlight level from the kernel's backlight class folder, one device per display panel; its
// changes, and devices that come and go, are heard from udev's device monitor.
#pragma once

#include "platform/BrightnessReader.h"
#include "platform/ChangeNotice.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QSocketNotifier;
struct udev;
struct udev_monitor;

class SysfsBacklight final : public BrightnessReader {
public:
    // `root` holds one folder per device, each with `brightness`, `max_brightness` and `type`.
    // `watch`: listen to udev for the backlight devices' events (the real folder only).
    explicit SysfsBacklight(QString root = QStringLiteral("/sys/class/backlight"), bool watch = true);
    ~SysfsBacklight() override;

    std::optional<double> readBrightness() override;
    void setChangeHandler(std::function<void()> handler) override { m_changeNotice.set(std::move(handler)); }
    bool present() const override { return !m_device.isEmpty(); }
    bool announcesChanges() const override { return m_monitor != nullptr; }

    // The device folder read from, chosen by type (firmware, then platform, then raw) and then by name;
    // empty when there is none.
    QString device() const { return QString::fromLocal8Bit(m_device); }

    // What the monitor does with one event of a backlight device, by its action ("add", "remove",
    // "change", ...): a device that came or went has the folder looked through again; every event is
    // announced. Public for its tests, which cannot make the kernel send one.
    void handleEvent(const QByteArray& action);

private:
    void choose();
    void startMonitor();
    void readMonitor();

    ChangeNotice m_changeNotice;
    QString m_root;
    QByteArray m_device; // absolute path, in the file system's encoding
    QByteArray m_levelPath;
    QByteArray m_maxPath;
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
