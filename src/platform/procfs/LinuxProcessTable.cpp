// Reads /proc: one scan per tree, field parsing that survives odd command names, socket inodes and
// the kernel's TCP tables.
#include "platform/procfs/LinuxProcessTable.h"

#include <QHash>

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

QByteArray readSmallFile(const QString& path, qsizetype limit = 1 << 20) {
    QByteArray out;
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return out;
    char buf[8192];
    while (out.size() < limit) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.append(buf, n);
    }
    ::close(fd);
    return out;
}

bool readable(const QString& path) {
    return ::access(path.toLocal8Bit().constData(), R_OK) == 0;
}

std::optional<qint32> parsePid(const char* name) {
    if (!name || !*name)
        return std::nullopt;
    qint64 v = 0;
    for (const char* p = name; *p; ++p) {
        if (*p < '0' || *p > '9')
            return std::nullopt;
        v = v * 10 + (*p - '0');
        if (v > INT32_MAX)
            return std::nullopt;
    }
    return qint32(v);
}

double bootTime(const QString& root) {
    const QByteArray text = readSmallFile(root + "/stat");
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith("btime "))
            return line.mid(6).trimmed().toDouble();
    }
    return 0;
}

} // namespace

LinuxProcessTable::LinuxProcessTable(QString procRoot)
    : m_root(std::move(procRoot)) {}

std::optional<ProcessTable::Stat> LinuxProcessTable::parseStat(const QByteArray& line) {
    // "pid (comm) state ppid ..."; comm is free text, so everything is counted from the last ')'.
    const qsizetype open = line.indexOf('(');
    const qsizetype close = line.lastIndexOf(')');
    if (open <= 0 || close < open)
        return std::nullopt;
    bool ok = false;
    Stat s;
    s.pid = line.left(open).trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    const QList<QByteArray> rest = line.mid(close + 1).simplified().split(' ');
    // rest[0] is field 3 (state), so field N is rest[N - 3].
    if (rest.size() < 20 || rest[0].size() != 1)
        return std::nullopt;
    s.state = rest[0][0];
    s.ppid = rest[1].toInt(&ok);
    if (!ok)
        return std::nullopt;
    s.pgrp = rest[2].toInt(&ok);
    if (!ok)
        return std::nullopt;
    s.session = rest[3].toInt(&ok);
    if (!ok)
        return std::nullopt;
    s.startTicks = rest[19].toULongLong(&ok);
    if (!ok)
        return std::nullopt;
    return s;
}

std::optional<ProcessTable::Stat> LinuxProcessTable::stat(qint32 pid) const {
    if (pid <= 0)
        return std::nullopt;
    return parseStat(readSmallFile(m_root + "/" + QString::number(pid) + "/stat"));
}

std::optional<double> LinuxProcessTable::startTime(qint32 pid) const {
    const auto s = stat(pid);
    if (!s)
        return std::nullopt;
    static const long ticks = ::sysconf(_SC_CLK_TCK);
    return bootTime(m_root) + double(s->startTicks) / double(ticks > 0 ? ticks : 100);
}

QString LinuxProcessTable::cmdline(qint32 pid) const {
    if (pid <= 0)
        return {};
    QByteArray raw = readSmallFile(m_root + "/" + QString::number(pid) + "/cmdline");
    while (raw.endsWith('\0'))
        raw.chop(1);
    raw.replace('\0', ' ');
    return QString::fromUtf8(raw);
}

QByteArrayList LinuxProcessTable::arguments(qint32 pid) const {
    if (pid <= 0)
        return {};
    QByteArray raw = readSmallFile(m_root + "/" + QString::number(pid) + "/cmdline", 64 * 1024);
    if (raw.isEmpty())
        return {};
    // Every argument ends with a NUL, the last one too.
    if (raw.endsWith('\0'))
        raw.chop(1);
    return raw.split('\0');
}

ProcessTable::EnvValue LinuxProcessTable::environValue(qint32 pid, const QByteArray& name) const {
    EnvValue result;
    if (pid <= 0)
        return result;
    const QString path = m_root + "/" + QString::number(pid) + "/environ";
    if (!readable(path))
        return result;
    const QByteArray raw = readSmallFile(path, 4 << 20);
    // A kernel thread has an empty environ; an unreadable one reads as empty as well.
    if (raw.isEmpty())
        return result;
    result.readable = true;
    const QByteArray prefix = name + '=';
    for (const QByteArray& entry : raw.split('\0')) {
        if (entry.startsWith(prefix)) {
            result.value = QString::fromUtf8(entry.mid(prefix.size()));
            break;
        }
    }
    return result;
}

QList<ProcessTable::Stat> LinuxProcessTable::all() const {
    QList<Stat> out;
    if (DIR* dir = ::opendir(m_root.toLocal8Bit().constData())) {
        while (dirent* e = ::readdir(dir)) {
            const auto pid = parsePid(e->d_name);
            if (!pid)
                continue;
            if (const auto s = stat(*pid))
                out.append(*s);
        }
        ::closedir(dir);
    }
    return out;
}

QList<qint32> LinuxProcessTable::tree(qint32 root) const {
    QList<qint32> out;
    if (root <= 0)
        return out;
    QHash<qint32, QList<qint32>> children;
    for (const Stat& s : all()) {
        if (s.pid != s.ppid)
            children[s.ppid].append(s.pid);
    }
    // Depth first, siblings in ascending pid order, each parent before its subtree.
    QList<qint32> stack{root};
    QSet<qint32> seen;
    while (!stack.isEmpty()) {
        const qint32 p = stack.takeLast();
        if (seen.contains(p))
            continue;
        seen.insert(p);
        out.append(p);
        QList<qint32> kids = children.value(p);
        std::sort(kids.begin(), kids.end(), std::greater<>());
        stack.append(kids);
    }
    return out;
}

QSet<quint64> LinuxProcessTable::socketInodes(qint32 pid) const {
    QSet<quint64> inodes;
    const QByteArray dirPath = (m_root + "/" + QString::number(pid) + "/fd").toLocal8Bit();
    DIR* dir = ::opendir(dirPath.constData());
    if (!dir)
        return inodes;
    const int dfd = ::dirfd(dir);
    char target[128];
    while (dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        const ssize_t n = ::readlinkat(dfd, e->d_name, target, sizeof target - 1);
        if (n <= 0)
            continue;
        target[n] = '\0';
        unsigned long long inode = 0;
        if (std::sscanf(target, "socket:[%llu]", &inode) == 1)
            inodes.insert(inode);
    }
    ::closedir(dir);
    return inodes;
}

QList<quint16> LinuxProcessTable::parseListening(const QByteArray& table, const QSet<quint64>& inodes) {
    QList<quint16> ports;
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) { // the first line is the column header
        const QList<QByteArray> f = lines[i].simplified().split(' ');
        if (f.size() < 10 || f[3] != "0A") // 0A: TCP_LISTEN
            continue;
        const qsizetype colon = f[1].lastIndexOf(':');
        if (colon < 0)
            continue;
        bool ok = false;
        const uint port = f[1].mid(colon + 1).toUInt(&ok, 16);
        if (!ok || port > 0xFFFF)
            continue;
        const quint64 inode = f[9].toULongLong(&ok);
        if (!ok || !inodes.contains(inode))
            continue;
        ports.append(quint16(port));
    }
    return ports;
}

QList<quint16> LinuxProcessTable::listeningPorts(const QList<qint32>& pids) const {
    QSet<quint64> inodes;
    for (qint32 pid : pids)
        inodes.unite(socketInodes(pid));
    if (inodes.isEmpty())
        return {};
    QList<quint16> ports = parseListening(readSmallFile(m_root + "/net/tcp", 16 << 20), inodes);
    ports.append(parseListening(readSmallFile(m_root + "/net/tcp6", 16 << 20), inodes));
    return ports;
}
