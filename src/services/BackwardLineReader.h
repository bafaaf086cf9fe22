// Reads a text file's lines from the last to the first, a block at a time from the end, so that a search
// for the newest matching line in a log of hundreds of megabytes touches only its tail.
#pragma once

#include <QByteArray>
#include <QFile>

class BackwardLineReader {
public:
    static constexpr qint64 kDefaultBlock = 64 * 1024;
    // A line longer than this is passed over whole instead of being held in memory.
    static constexpr qint64 kDefaultMaxLine = 32 * 1024 * 1024;

    explicit BackwardLineReader(const QString& path, qint64 blockSize = kDefaultBlock,
                                qint64 maxLineLength = kDefaultMaxLine);

    bool isOpen() const { return m_file.isOpen(); }
    // The previous non-empty line (without its line feed), or false at the start of the file or on a read
    // error.
    bool previous(QByteArray* line);
    // Bytes read from the file so far.
    qint64 bytesRead() const { return m_bytesRead; }

private:
    bool fill();

    QFile m_file;
    qint64 m_block;
    qint64 m_maxLine;
    qint64 m_pos = 0;    // bytes before this offset are not read yet
    QByteArray m_buffer; // the unread part: [0, m_end) holds text ending at m_pos's former value
    qsizetype m_end = 0;
    bool m_skipping = false; // inside an over-long line, whose bytes are being dropped
    qint64 m_bytesRead = 0;
};
