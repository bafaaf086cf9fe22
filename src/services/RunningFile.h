// "running.json": which saved command runs as which process, kept so that the next run of the program
// can take its services back.
#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QUuid>

#include <optional>

class RunningFile {
public:
    struct Contents {
        QHash<QUuid, qint32> pids; // entries whose key is a well-formed id
        QDateTime written;         // the file's modification time; invalid when unknown
    };

    explicit RunningFile(const QString& supportDir);

    QString path() const { return m_path; }
    // Nothing when there is no usable file. One that is not a JSON object of 32-bit integers, or cannot
    // be read, is set aside first.
    std::optional<Contents> read() const;
    // Writes `pids` unless the file already holds exactly that from an earlier write of this object;
    // true when the file holds `pids` afterwards.
    bool write(const QHash<QUuid, qint32>& pids);
    // How many times the file was actually replaced.
    int writes() const { return m_writes; }

private:
    QString m_path;
    std::optional<QHash<QUuid, qint32>> m_written;
    int m_writes = 0;
};
