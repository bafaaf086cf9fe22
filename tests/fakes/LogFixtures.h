// Writing other tools' log files for the AI usage and agent tests: content and modification time.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTest>

namespace LogFixtures {

// Writes `content` to `path` (making its folders) and sets its modification time. False on any failure.
inline bool write(const QString& path, const QByteArray& content, const QDateTime& modified) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        return false;
    file.flush();
    return file.setFileTime(modified, QFileDevice::FileModificationTime);
}

inline bool append(const QString& path, const QByteArray& content, const QDateTime& modified) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append) || file.write(content) != content.size())
        return false;
    file.flush();
    return file.setFileTime(modified, QFileDevice::FileModificationTime);
}

inline bool touch(const QString& path, const QDateTime& modified) {
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(modified, QFileDevice::FileModificationTime);
}

} // namespace LogFixtures
