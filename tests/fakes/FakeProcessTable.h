// A process table the test fills by hand: processes with a parent, a start time, a command line, an
// environment and listening ports. Anything not entered is "gone".
#pragma once

#include "platform/ProcessTable.h"

#include <QHash>
#include <QMap>
#include <functional>
#include <type_traits>

class FakeProcessTable final : public ProcessTable {
public:
    struct Process {
        qint32 ppid = 1;
        char state = 'S';
        qint32 pgrp = 0; // 0: a group of its own
        qint32 session = 0;
        double startTime = 0; // seconds since the epoch
        QString cmdline;
        QMap<QByteArray, QString> environment;
        bool environmentReadable = true;
        QList<quint16> ports;
    };

    std::optional<Stat> stat(qint32 pid) const override {
        const auto it = processes.constFind(pid);
        if (it == processes.cend())
            return std::nullopt;
        return Stat{pid,
                    it->ppid,
                    it->state,
                    it->pgrp ? it->pgrp : pid,
                    it->session ? it->session : pid,
                    quint64(it->startTime * 100)};
    }
    std::optional<double> startTime(qint32 pid) const override {
        const auto it = processes.constFind(pid);
        return it == processes.cend() ? std::nullopt : std::optional<double>(it->startTime);
    }
    QString cmdline(qint32 pid) const override { return processes.value(pid).cmdline; }
    // The made-up command line taken apart at its spaces.
    QByteArrayList arguments(qint32 pid) const override {
        const QString line = processes.value(pid).cmdline;
        return line.isEmpty() ? QByteArrayList() : line.toUtf8().split(' ');
    }
    EnvValue environValue(qint32 pid, const QByteArray& name) const override {
        const auto it = processes.constFind(pid);
        if (it == processes.cend() || !it->environmentReadable)
            return {};
        const auto var = it->environment.constFind(name);
        return {true, var == it->environment.cend() ? std::nullopt : std::optional<QString>(*var)};
    }
    QList<qint32> tree(qint32 root) const override {
        if (!processes.contains(root))
            return {};
        QList<qint32> out{root};
        for (qsizetype i = 0; i < out.size(); ++i) {
            for (auto it = processes.cbegin(); it != processes.cend(); ++it) {
                if (it->ppid == out[i] && it.key() != out[i] && !out.contains(it.key()))
                    out.append(it.key());
            }
        }
        return out;
    }
    QList<Stat> all() const override {
        if (onScan)
            onScan(scans);
        ++scans;
        QList<Stat> out;
        for (auto it = processes.cbegin(); it != processes.cend(); ++it)
            out.append(*stat(it.key()));
        return out;
    }
    QList<quint16> listeningPorts(const QList<qint32>& pids) const override {
        QList<quint16> out;
        for (qint32 pid : pids) {
            for (quint16 port : processes.value(pid).ports) {
                if (!out.contains(port))
                    out.append(port);
            }
        }
        return out;
    }

    QHash<qint32, Process> processes;
    // Runs at the start of every scan with the number of scans before it, so that a test can change
    // the table between one look and the next.
    std::function<void(int)> onScan;
    mutable int scans = 0;
};

static_assert(!std::is_abstract_v<FakeProcessTable>);
