// The Codex card: the newest rate-limit record in the Codex command-line tool's session logs.
#pragma once

#include "model/AIProviderUsage.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

class CodexUsageReader {
public:
    // `home` is the folder holding ".codex".
    explicit CodexUsageReader(QString home)
        : m_home(std::move(home)) {}

    // Nothing when there is no "~/.codex/sessions" folder; the card with a note when no log of the last
    // three days holds a usable record. Blocks; reads each log backwards from its end, and remembers what
    // it found in each, so that a log that has not changed is not read again and one that grew is read
    // only as far back as its new part. Not thread-safe: one call at a time.
    std::optional<AIProviderUsage> read(const QDateTime& now);

    // The card of one log line, when the line holds at least one usable window.
    static std::optional<AIProviderUsage> cardFromLine(const QByteArray& line, const QDateTime& now);
    // The card of a whole log, walking its lines from the last (the reader's own path, or a whole read).
    static std::optional<AIProviderUsage> cardFromFile(const QString& path, const QDateTime& now,
                                                       qint64 blockSize = 64 * 1024);

    // Bytes read from log files by the last call.
    qint64 lastBytesRead() const { return m_lastBytesRead; }

private:
    // What a record line says, without its text: the card is made from it again at each refresh, since
    // its reset phrases follow the clock.
    struct Window {
        QString label;
        double fraction = 0;
        std::optional<qint64> resetsMs;
    };
    struct Record {
        QList<Window> windows;
        QString plan;
    };
    static std::optional<Record> recordFromLine(const QByteArray& line);
    static AIProviderUsage cardFromRecord(const Record& record, const QDateTime& now);

    struct FileState {
        qint64 size = 0;
        QDateTime modified;
        QByteArray lastBytes;         // the bytes just before `size`, to tell an append from a rewrite
        std::optional<Record> record; // the newest usable record, when the log has one
    };
    // Brings `state` up to date with the file's first `size` bytes; false when it cannot be read.
    bool update(const QString& path, qint64 size, const QDateTime& modified, FileState& state);

    QString m_home;
    QHash<QString, FileState> m_files;
    qint64 m_lastBytesRead = 0;
};
