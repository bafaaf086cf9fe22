// Makes a folder refuse new entries for the length of a test, also for root (which ignores the mode
// bits): the immutable attribute is set where the mode is not enough.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>

#include <unistd.h>

class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(QString path)
        : m_path(std::move(path)) {
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (::geteuid() == 0)
            m_immutable = QProcess::execute("chattr", {"+i", m_path}) == 0;
        const QString probe = QDir(m_path).filePath(".probe");
        QFile f(probe);
        m_works = !f.open(QIODevice::WriteOnly);
        if (!m_works)
            QFile::remove(probe);
    }
    ~ReadOnlyFolder() { release(); }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    // Whether the folder really refuses writes here (false where neither way is available).
    bool works() const { return m_works; }
    void release() {
        if (m_immutable)
            QProcess::execute("chattr", {"-i", m_path});
        m_immutable = false;
        QFile::setPermissions(m_path,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

private:
    QString m_path;
    bool m_immutable = false;
    bool m_works = false;
};
