// Backward line reading in blocks.
#include "services/BackwardLineReader.h"

#include <algorithm>
#include <cstring>

BackwardLineReader::BackwardLineReader(const QString& path, qint64 blockSize, qint64 maxLineLength)
    : m_file(path)
    , m_block(std::max<qint64>(1, blockSize))
    , m_maxLine(std::max<qint64>(1, maxLineLength)) {
    if (m_file.open(QIODevice::ReadOnly))
        m_pos = m_file.size();
}

// Prepends the block before m_pos to the unread text. False at the start of the file or on an error.
bool BackwardLineReader::fill() {
    if (m_pos <= 0 || !m_file.isOpen())
        return false;
    const qint64 count = std::min(m_block, m_pos);
    const qint64 from = m_pos - count;
    if (!m_file.seek(from))
        return false;
    QByteArray block(count, Qt::Uninitialized);
    if (m_file.read(block.data(), count) != count)
        return false;
    m_pos = from;
    m_bytesRead += count;
    block.append(m_buffer.constData(), m_end);
    m_buffer = std::move(block);
    m_end = m_buffer.size();
    return true;
}

bool BackwardLineReader::previous(QByteArray* line) {
    for (;;) {
        // The last line feed of the unread text ends the line before it... unless nothing precedes it.
        const char* data = m_buffer.constData();
        const void* hit = m_end > 0 ? memrchr(data, '\n', size_t(m_end)) : nullptr;
        if (hit) {
            const qsizetype nl = static_cast<const char*>(hit) - data;
            const qsizetype start = nl + 1;
            const bool wasSkipping = m_skipping;
            m_skipping = false;
            const qsizetype length = m_end - start;
            m_end = nl;
            if (wasSkipping || length == 0)
                continue;
            *line = QByteArray(data + start, length);
            return true;
        }
        if (m_pos <= 0) {
            // The first line of the file.
            const qsizetype length = m_end;
            const bool wasSkipping = m_skipping;
            m_end = 0;
            m_skipping = false;
            if (wasSkipping || length == 0)
                return false;
            *line = QByteArray(data, length);
            m_buffer.clear();
            return true;
        }
        if (m_end >= m_maxLine) {
            // An over-long line: forget what is held and drop bytes until its start is found.
            m_skipping = true;
            m_end = 0;
            m_buffer.clear();
        }
        // Keep only the unread part before prepending.
        m_buffer.truncate(m_end);
        if (!fill())
            return false;
    }
}
