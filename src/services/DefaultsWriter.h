// Writes snapshots of the defaults file on a worker thread, so that the disk sync never lands on the
// main thread. One write runs at a time; a snapshot queued behind it is replaced by a newer one.
#pragma once

#include <QByteArray>
#include <QString>
#include <QThreadPool>

#include <condition_variable>
#include <mutex>
#include <optional>

class DefaultsWriter {
public:
    explicit DefaultsWriter(QString path);
    // Writes what is still queued and waits for it.
    ~DefaultsWriter();
    DefaultsWriter(const DefaultsWriter&) = delete;
    DefaultsWriter& operator=(const DefaultsWriter&) = delete;

    // Queues the whole file's bytes and returns at once. A snapshot that is queued but not yet being
    // written is dropped in favour of this one.
    void submit(QByteArray bytes);
    // Blocks until nothing is queued or being written. True when the last write succeeded (or none ran).
    bool waitForIdle();

    // Finished writes, failed ones included; lets tests count how assignments were coalesced.
    int writesDone() const;

private:
    void drain();

    const QString m_path;
    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    std::optional<QByteArray> m_queued;
    bool m_running = false;
    bool m_lastOk = true;
    int m_writesDone = 0;
    QThreadPool m_pool; // last: its end waits for the worker before the rest goes
};
