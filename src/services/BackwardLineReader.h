// Reads a text file's lines from the last to the first, a block at a time from the end, so that a search
// for the newest matching line in a log of hundreds of megabytes touches only its tail. Each byte is read
// once and copied at most once more, whatever the lines' lengths; what it holds is bounded by the longest
// line it returns plus one block.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>

#include <vector>

class BackwardLineReader {
public:
    static constexpr qint64 kDefaultBlock = 64 * 1024;
    // A line longer than this is passed over whole instead of being held in memory.
    static constexpr qint64 kDefaultMaxLine = 32 * 1024 * 1024;

    // Reads the file's first `end` bytes (all of it when `end` is negative or past its size).
    explicit BackwardLineReader(const QString& path, qint64 blockSize = kDefaultBlock,
                                qint64 maxLineLength = kDefaultMaxLine, qint64 end = -1);

    bool isOpen() const { return m_file.isOpen(); }
    // Only lines that hold `bytes` are returned; the others are passed over without being copied. The
    // bytes must outlive the reader.
    void setRequired(QByteArrayView bytes) { m_required = bytes; }
    // Reading ends after the line that starts before `offset`, whether it is returned or passed over.
    void setFloor(qint64 offset) { m_floor = offset; }
    // The previous non-empty line (without its line feed) and the offset of its first byte, or false at the
    // start of the file or on a read error.
    bool previous(QByteArray* line, qint64* lineStart = nullptr);
    // Bytes read from the file so far.
    qint64 bytesRead() const { return m_bytesRead; }
    // A seek or read failed: the lines returned so far are all there are.
    bool hasError() const { return m_error; }

private:
    bool fill();

    QFile m_file;
    qint64 m_block;
    qint64 m_maxLine;
    qint64 m_pos = 0;    // file offset of m_buffer's first byte; bytes before it are not read yet
    QByteArray m_buffer; // the block last read; [0, m_end) of it is not returned yet
    qsizetype m_end = 0;
    // The later parts of the line that runs into the block, the latest first; `m_held` bytes in all.
    std::vector<QByteArray> m_parts;
    qint64 m_held = 0;
    bool m_skipping = false; // inside an over-long line, whose bytes are being dropped
    qint64 m_bytesRead = 0;
    bool m_error = false;
    QByteArrayView m_required;
    qint64 m_floor = -1;
};
