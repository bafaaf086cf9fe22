// A file system of a few megabytes mounted on a folder for the length of a test, so that writes into it
// meet a full disk for real: a tmpfs, which needs the right to mount (root here). Where mounting is not
// allowed, works() is false and the test skips.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>

class SmallDisk {
public:
    SmallDisk(QString path, qint64 bytes)
        : m_path(std::move(path)) {
        QDir().mkpath(m_path);
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0700";
        m_mounted = ::mount("tmpfs", QFile::encodeName(m_path).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                            options.constData()) == 0;
        if (!m_mounted)
            m_error = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~SmallDisk() {
        // Detached rather than refused while something still holds a file in it.
        if (m_mounted)
            ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool works() const { return m_mounted; }
    // Why mounting failed.
    QString error() const { return m_error; }

private:
    QString m_path;
    bool m_mounted = false;
    QString m_error;
};
