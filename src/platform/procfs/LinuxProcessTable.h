// The process table read from /proc: one scan per tree, command lines, environment markers and the
// kernel's TCP tables.
#pragma once

#include "platform/ProcessTable.h"

#include <QSet>

class LinuxProcessTable final : public ProcessTable {
public:
    // `procRoot` lets tests point the reader at a fixture tree instead of /proc.
    explicit LinuxProcessTable(QString procRoot = QStringLiteral("/proc"));

    std::optional<Stat> stat(qint32 pid) const override;
    std::optional<double> startTime(qint32 pid) const override;
    QString cmdline(qint32 pid) const override;
    QByteArrayList arguments(qint32 pid) const override;
    EnvValue environValue(qint32 pid, const QByteArray& name) const override;
    QList<qint32> tree(qint32 root) const override;
    QList<Stat> all() const override;
    QList<quint16> listeningPorts(const QList<qint32>& pids) const override;

    // The fields of a /proc/<pid>/stat line; the command name may hold spaces and ')'.
    static std::optional<Stat> parseStat(const QByteArray& line);
    // Ports of the listening rows of a /proc/net/tcp or tcp6 table whose inode is in `inodes`.
    static QList<quint16> parseListening(const QByteArray& table, const QSet<quint64>& inodes);
    // The socket inodes named by the links in /proc/<pid>/fd.
    QSet<quint64> socketInodes(qint32 pid) const;

private:
    QString m_root;
};
