// The request is read byte by byte while in its head (heads are small and bounded), and in runs while in
// a body, so a body never costs more than its cap however it is framed.
#include "RequestReader.h"

#include "HeadText.h"

#include <algorithm>
#include <cctype>

namespace {

using HeadText::decimal;
using HeadText::trimmed;

constexpr size_t kMaxChunkLine = 4096;
bool isTchar(unsigned char c) {
    static const std::string_view extra = "!#$%&'*+-.^_`|~";
    return std::isalnum(c) || extra.find(char(c)) != std::string_view::npos;
}

bool isToken(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return isTchar(c); });
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Splits a comma-separated field value; empty elements are kept so that callers can refuse them.
std::vector<std::string> listItems(std::string_view value) {
    std::vector<std::string> out;
    for (;;) {
        const size_t comma = value.find(',');
        out.push_back(lower(trimmed(value.substr(0, comma))));
        if (comma == std::string_view::npos)
            return out;
        value.remove_prefix(comma + 1);
    }
}

} // namespace

std::string RequestHead::header(std::string_view lowerName) const {
    for (const auto& [name, value] : fields)
        if (name == lowerName)
            return value;
    return {};
}

std::string RequestHead::path() const {
    return target.substr(0, target.find('?'));
}

bool RequestHead::wantsClose() const {
    bool close = false;
    bool keepAlive = false;
    for (const auto& [name, value] : fields) {
        if (name != "connection")
            continue;
        for (const std::string& item : listItems(value)) {
            close = close || item == "close";
            keepAlive = keepAlive || item == "keep-alive";
        }
    }
    return close || (version == "HTTP/1.0" && !keepAlive);
}

RequestReader::RequestReader(Limits limits, BodyLimit bodyLimit)
    : m_limits(limits)
    , m_bodyLimit(std::move(bodyLimit)) {}

void RequestReader::reset() {
    m_state = State::Head;
    m_failure = 0;
    m_reason = "";
    m_seen = 0;
    m_raw.clear();
    m_lineParsed = false;
    m_lineLength = 0;
    m_head = RequestHead();
    m_body.clear();
    m_chunked = false;
    m_left = 0;
    m_limit = 0;
    m_chunk = Chunk::Size;
    m_trailerBytes = 0;
    m_trailerFields = 0;
}

bool RequestReader::fail(int status, const char* reason) {
    m_state = State::Failed;
    m_failure = status;
    m_reason = reason;
    return false;
}

bool RequestReader::expectsContinue() const {
    return m_state == State::Body && m_body.empty() && m_head.version == "HTTP/1.1" &&
           lower(m_head.header("expect")) == "100-continue";
}

size_t RequestReader::feed(const char* data, size_t size) {
    size_t used = 0;
    if (m_state == State::Head)
        used = feedHead(data, size);
    if (m_state != State::Body || used == size)
        return used;
    if (m_chunked)
        return used + feedChunked(data + used, size - used);
    const size_t take = size_t(std::min<uint64_t>(m_left, size - used));
    m_body.append(data + used, take);
    m_seen += take;
    m_left -= take;
    if (m_left == 0)
        m_state = State::Done;
    return used + take;
}

size_t RequestReader::feedHead(const char* data, size_t size) {
    size_t used = 0;
    while (used < size && m_state == State::Head) {
        const char c = data[used++];
        if (++m_seen > m_limits.headBytes)
            return fail(431, "head too large"), used;
        if (c != '\n') {
            if (!m_raw.empty() && m_raw.back() == '\r')
                return fail(400, "bare carriage return"), used;
            m_raw.push_back(c);
            // The carriage return of the line's end is not counted.
            if (c != '\r' && ++m_lineLength > m_limits.lineBytes)
                return m_lineParsed ? (fail(431, "header line too long"), used)
                                    : (fail(414, "request line too long"), used);
            continue;
        }
        if (m_raw.empty() || m_raw.back() != '\r')
            return fail(400, "bare line feed"), used;
        m_lineLength = 0;
        m_raw.pop_back();
        const size_t lineStart = m_raw.rfind('\n') == std::string::npos ? 0 : m_raw.rfind('\n') + 1;
        const std::string_view line = std::string_view(m_raw).substr(lineStart);
        if (!m_lineParsed) {
            // Empty lines before the request line are tolerated; they still count toward the head.
            if (m_raw.empty())
                continue;
            if (!parseRequestLine(m_raw))
                return used;
            m_lineParsed = true;
        } else if (line.empty()) {
            parseHead();
            return used;
        } else if (m_head.fields.size() + 1 > m_limits.headFields) {
            return fail(431, "too many header fields"), used;
        } else if (!parseField(line, false)) {
            return used;
        }
        m_raw.push_back('\n');
    }
    return used;
}

bool RequestReader::parseRequestLine(std::string_view line) {
    const size_t a = line.find(' ');
    const size_t b = a == std::string_view::npos ? a : line.find(' ', a + 1);
    if (b == std::string_view::npos || line.find(' ', b + 1) != std::string_view::npos)
        return fail(400, "malformed request line");
    const std::string_view method = line.substr(0, a), target = line.substr(a + 1, b - a - 1),
                           version = line.substr(b + 1);
    if (!isToken(method) || target.empty() || std::any_of(target.begin(), target.end(), [](char c) {
            return static_cast<unsigned char>(c) <= 0x20 || c == 0x7f;
        }))
        return fail(400, "malformed request line");
    if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || !std::isdigit(version[5]) ||
        version[6] != '.' || !std::isdigit(version[7]))
        return fail(400, "malformed request line");
    if (version != "HTTP/1.1" && version != "HTTP/1.0")
        return fail(505, "unsupported HTTP version");
    m_head.method = method;
    m_head.target = target;
    m_head.version = version;
    return true;
}

bool RequestReader::parseField(std::string_view line, bool trailer) {
    if (line.front() == ' ' || line.front() == '\t')
        return fail(400, "folded header line");
    const size_t colon = line.find(':');
    // White space before the colon is where two readers would disagree on the field's name.
    if (colon == std::string_view::npos || !isToken(line.substr(0, colon)))
        return fail(400, "malformed header field name");
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (std::any_of(value.begin(), value.end(),
                    [](char c) { return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f; }))
        return fail(400, "control character in a header field");
    if (!trailer)
        m_head.fields.emplace_back(lower(line.substr(0, colon)), std::string(value));
    return true;
}

bool RequestReader::parseHead() {
    m_raw.clear();
    if (!chooseFraming())
        return false;
    m_state = (m_chunked || m_left > 0) ? State::Body : State::Done;
    return true;
}

bool RequestReader::chooseFraming() {
    bool haveLength = false;
    uint64_t length = 0;
    std::vector<std::string> codings;
    for (const auto& [name, value] : m_head.fields) {
        if (name == "content-length") {
            for (const std::string& item : listItems(value)) {
                uint64_t v = 0;
                if (!decimal(item, &v))
                    return fail(400, "malformed Content-Length");
                if (haveLength && v != length)
                    return fail(400, "conflicting Content-Length");
                haveLength = true;
                length = v;
            }
        } else if (name == "transfer-encoding") {
            const std::vector<std::string> items = listItems(value);
            codings.insert(codings.end(), items.begin(), items.end());
        }
    }
    if (!codings.empty()) {
        if (haveLength)
            return fail(400, "both Content-Length and Transfer-Encoding");
        if (m_head.version == "HTTP/1.0")
            return fail(400, "Transfer-Encoding in HTTP/1.0");
        for (const std::string& c : codings)
            if (!c.empty() && c != "chunked")
                return fail(501, "unknown transfer coding");
        if (codings.size() != 1 || codings.front() != "chunked")
            return fail(400, "malformed Transfer-Encoding");
        m_chunked = true;
    }
    m_limit = m_bodyLimit ? m_bodyLimit(m_head) : 0;
    if (length > m_limit)
        return fail(413, "body too large");
    m_left = length;
    return true;
}

size_t RequestReader::feedChunked(const char* data, size_t size) {
    size_t used = 0;
    while (used < size && m_state == State::Body) {
        if (m_chunk == Chunk::Data) {
            const size_t take = size_t(std::min<uint64_t>(m_left, size - used));
            m_body.append(data + used, take);
            m_seen += take;
            used += take;
            if ((m_left -= take) == 0)
                m_chunk = Chunk::DataEnd;
            continue;
        }
        const char c = data[used++];
        ++m_seen;
        if (m_chunk == Chunk::DataEnd) {
            if (c != (m_raw.empty() ? '\r' : '\n'))
                return fail(400, "chunk data longer than its size"), used;
            m_raw.push_back(c);
            if (m_raw.size() == 2) {
                m_raw.clear();
                m_chunk = Chunk::Size;
            }
            continue;
        }
        if (c != '\n') {
            if (!m_raw.empty() && m_raw.back() == '\r')
                return fail(400, "bare carriage return"), used;
            m_raw.push_back(c);
            if (m_chunk == Chunk::Size && m_raw.size() > kMaxChunkLine)
                return fail(400, "chunk size line too long"), used;
            if (m_chunk == Chunk::Trailer && ++m_trailerBytes > m_limits.headBytes)
                return fail(431, "trailer too large"), used;
            continue;
        }
        if (m_raw.empty() || m_raw.back() != '\r')
            return fail(400, "bare line feed"), used;
        m_raw.pop_back();
        const std::string line = std::move(m_raw);
        m_raw.clear();
        if (m_chunk == Chunk::Size) {
            chunkSizeLine(line);
        } else if (line.empty()) {
            m_state = State::Done;
        } else if (++m_trailerFields > m_limits.headFields) {
            return fail(431, "too many trailer fields"), used;
        } else {
            parseField(line, true);
        }
    }
    return used;
}

bool RequestReader::chunkSizeLine(std::string_view line) {
    size_t digits = 0;
    while (digits < line.size() && std::isxdigit(static_cast<unsigned char>(line[digits])))
        ++digits;
    if (digits == 0)
        return fail(400, "malformed chunk size");
    std::string_view rest = line.substr(digits);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
        rest.remove_prefix(1);
    if (!rest.empty() && rest.front() != ';')
        return fail(400, "malformed chunk size");
    if (std::any_of(rest.begin(), rest.end(),
                    [](char c) { return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f; }))
        return fail(400, "control character in a chunk extension");
    std::string_view hex = line.substr(0, digits);
    while (hex.size() > 1 && hex.front() == '0')
        hex.remove_prefix(1);
    if (hex.size() > 15)
        return fail(413, "body too large");
    const uint64_t size = std::stoull(std::string(hex), nullptr, 16);
    if (size > m_limit - m_body.size())
        return fail(413, "body too large");
    m_left = size;
    m_chunk = size == 0 ? Chunk::Trailer : Chunk::Data;
    return true;
}
