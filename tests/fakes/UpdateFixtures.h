// Small pieces the update tests share: files written and read whole, a stand-in program that notes which
// copy of it ran, and the id of a process that has ended.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>

namespace UpdateFixtures {

// Writes `data` to `path`, making its folder; `exec` makes it executable by its owner.
inline bool writeFile(const QString& path, const QByteArray& data, bool exec = false) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
        return false;
    f.close();
    return !exec || f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A shell program that appends `name` to `ranFile` and ends with `exitCode`.
inline QByteArray program(const QString& ranFile, const QByteArray& name, int exitCode = 0) {
    return "#!/bin/sh\necho " + name + " >> '" + ranFile.toUtf8() + "'\nexit " +
           QByteArray::number(exitCode) + "\n";
}

// A process id that no longer runs, for a swap to wait on.
inline qint64 endedPid() {
    QProcess p;
    qint64 pid = 0;
    QObject::connect(&p, &QProcess::started, [&] { pid = p.processId(); });
    p.start("true");
    p.waitForFinished(10000);
    return pid;
}

} // namespace UpdateFixtures
