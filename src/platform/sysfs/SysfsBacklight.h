// The backlight level from the kernel's backlight class folder, one device per display panel.
#pragma once

#include "platform/BrightnessReader.h"

#include <QByteArray>
#include <QString>

class SysfsBacklight final : public BrightnessReader {
public:
    // `root` holds one folder per device, each with `brightness`, `max_brightness` and `type`.
    explicit SysfsBacklight(QString root = QStringLiteral("/sys/class/backlight"));

    std::optional<double> readBrightness() override;

    // The device folder read from, chosen by type (firmware, then platform, then raw) and then by name;
    // empty when there is none.
    QString device() const { return QString::fromLocal8Bit(m_device); }

    // Reads without a device are this many apart before the folder is looked through again, so that a
    // machine with no backlight costs almost nothing per read.
    static constexpr int kRescanEvery = 16;

private:
    void choose();

    QString m_root;
    QByteArray m_device; // absolute path, in the file system's encoding
    QByteArray m_levelPath;
    QByteArray m_maxPath;
    int m_sinceScan = 0;
};
