// Backward line reading in blocks.
#include "services/BackwardLineReader.h"

#include "platform/RegularFile.h"
#include "services/AIUsageText.h"

#include <algorithm>
#include <cstring>

BackwardLineReader::BackwardLineReader(const QString& path, qint64 blockSize, qint64 maxLineLength,
                                       qint64 end)
    : m_block(std::max<qint64>(1, blockSize))
    , m_maxLine(std::max<qint64>(1, maxLineLength)) {
    if (RegularFile::open(m_file, path)) {
        const qint64 size = m_file.size();
        m_pos = end < 0 ? size : std::min(end, size);
    }
}

// Reads the block before m_pos into m_buffer. False at the start of the file or on an error.
bool BackwardLineReader::fill() {
    if (m_pos <= 0 || !m_file.isOpen())
        return false;
    const qint64 count = std::min(m_block, m_pos);
    const qint64 from = m_pos - count;
    if (!m_file.seek(from)) {
        m_error = true;
        return false;
    }
    // The previous block may now be one of the held parts: a new buffer, not an overwrite.
    m_buffer = QByteArray(count, Qt::Uninitialized);
    if (m_file.read(m_buffer.data(), count) != count) {
        m_buffer.clear();
        m_end = 0;
        m_error = true;
        return false;
    }
    m_pos = from;
    m_end = m_buffer.size();
    m_bytesRead += count;
    return true;
}

bool BackwardLineReader::previous(QByteArray* line, qint64* lineStart) {
    for (;;) {
        const char* data = m_buffer.constData();
        const void* hit = m_end > 0 ? memrchr(data, '\n', size_t(m_end)) : nullptr;
        const bool atFileStart = !hit && m_pos <= 0;
        if (hit || atFileStart) {
            // The line runs from just after this line feed (or the file's start) to the held parts' end.
            const qsizetype start = hit ? static_cast<const char*>(hit) - data + 1 : 0;
            const qsizetype own = m_end - start;
            const bool wasSkipping = m_skipping;
            const qint64 length = own + m_held;
            m_skipping = false;
            m_end = hit ? start - 1 : 0;
            bool wanted = !wasSkipping && length > 0 && length <= m_maxLine;
            // A line wholly inside the block is tested where it lies; one in pieces is put together first.
            if (wanted && m_parts.empty() && !m_required.isEmpty() &&
                !AIUsageText::containsBytes(QByteArrayView(data + start, own), m_required))
                wanted = false;
            if (wanted) {
                QByteArray out;
                out.reserve(qsizetype(length));
                out.append(data + start, own);
                for (auto it = m_parts.crbegin(); it != m_parts.crend(); ++it)
                    out.append(*it);
                if (!m_required.isEmpty() && !m_parts.empty() && !AIUsageText::containsBytes(out, m_required))
                    wanted = false;
                *line = std::move(out);
                if (lineStart)
                    *lineStart = m_pos + start;
            }
            m_parts.clear();
            m_held = 0;
            if (wanted)
                return true;
            if (m_floor >= 0 && m_pos + start < m_floor) {
                m_end = 0;
                m_pos = 0;
                return false;
            }
            if (atFileStart) {
                m_buffer.clear();
                return false;
            }
            continue;
        }
        // No line feed in what is left of the block: all of it belongs to a line that began earlier.
        if (!m_skipping && m_end > 0) {
            m_held += m_end;
            if (m_held > m_maxLine) {
                // Too long to hold: drop it, and only look for where it starts.
                m_parts.clear();
                m_held = 0;
                m_skipping = true;
            } else if (m_end == m_buffer.size()) {
                m_parts.push_back(std::move(m_buffer));
            } else {
                m_parts.emplace_back(data, m_end);
            }
        }
        m_end = 0;
        if (!fill())
            return false;
    }
}
