// What the program learns about other processes: trees, start times, command lines, environment markers
// and listening TCP ports. Implementations are safe to call from any thread.
#pragma once

#include <QtGlobal>

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

class ProcessTable {
public:
    struct Stat {
        qint32 pid = 0;
        qint32 ppid = 0;
        char state = '?';
        qint32 pgrp = 0;        // process group
        qint32 session = 0;     // session
        quint64 startTicks = 0; // clock ticks after boot
    };

    // An environment variable of a process: unreadable (another user), absent, or its value.
    struct EnvValue {
        bool readable = false;
        std::optional<QString> value;
    };

    ProcessTable() = default;
    virtual ~ProcessTable() = default;
    Q_DISABLE_COPY_MOVE(ProcessTable)

    virtual std::optional<Stat> stat(qint32 pid) const = 0;
    // Seconds since the epoch at which the process started, or nothing when it is gone.
    virtual std::optional<double> startTime(qint32 pid) const = 0;
    // The arguments joined with spaces, as `ps -o args=` prints them; empty when unreadable.
    virtual QString cmdline(qint32 pid) const = 0;
    // The arguments one by one, from their first 64 KiB; empty when unreadable.
    virtual QByteArrayList arguments(qint32 pid) const = 0;
    virtual EnvValue environValue(qint32 pid, const QByteArray& name) const = 0;
    // `root` followed by all of its descendants, found with one scan; parents come before their children.
    virtual QList<qint32> tree(qint32 root) const = 0;
    // Every process there is, from one scan.
    virtual QList<Stat> all() const = 0;
    // The local ports of the TCP sockets in the listening state held open by any of `pids`.
    virtual QList<quint16> listeningPorts(const QList<qint32>& pids) const = 0;
};
