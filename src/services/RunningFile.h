// "running.json": which saved command runs as which process, kept so that the next run of the program
// can take its services back.
//
// Each command's id maps to a pid, as it always has. Beside it, keys of the form "<id>.start",
// "<id>.group" and "<id>.groupStart" say when that process started and which group its shell led; they
// are integers too, so a version that knows only the pids reads the file as before and skips them.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QUuid>

#include <optional>

class RunningFile {
public:
    struct Entry {
        qint32 pid = -1;
        // Seconds after boot at which `pid` started; none in files older versions wrote.
        std::optional<qint32> start;
        // The group and session its shell led, with the shell's start, when `pid` is not that shell;
        // 0 for the shell itself (or when not known).
        qint32 group = 0;
        std::optional<qint32> groupStart;
        bool operator==(const Entry&) const = default;
    };
    struct Contents {
        QHash<QUuid, qint32> pids;   // entries whose key is a well-formed id
        QHash<QUuid, Entry> entries; // the same, with what else was recorded for them
        QDateTime written;           // the file's modification time; invalid when unknown
    };

    explicit RunningFile(const QString& supportDir);

    QString path() const { return m_path; }
    // Nothing when there is no usable file. One that is not a JSON object of 32-bit integers, or cannot
    // be read, is set aside first.
    std::optional<Contents> read() const;
    // Writes `entries` unless the file already holds exactly that from an earlier write of this object;
    // true when the file holds `entries` afterwards.
    bool writeEntries(const QHash<QUuid, Entry>& entries);
    // The same with pids alone.
    bool write(const QHash<QUuid, qint32>& pids);
    // How many times the file was actually replaced.
    int writes() const { return m_writes; }

private:
    QString m_path;
    std::optional<QHash<QUuid, Entry>> m_written;
    int m_writes = 0;
};
