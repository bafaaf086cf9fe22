// Opening and describing a download; the bytes themselves are sent by the connection's event loop.
#include "FileStreamer.h"

#include "HttpAnswer.h"

#include "HeadText.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using HeadText::decimal;
using HeadText::trimmed;

bool endsWith(const std::string& s, std::string_view tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string contentType(const std::string& path) {
    if (endsWith(path, ".xz"))
        return "application/x-xz";
    if (endsWith(path, ".minisig") || endsWith(path, ".txt"))
        return "text/plain";
    if (endsWith(path, ".json"))
        return "application/json";
    if (endsWith(path, ".html"))
        return "text/html";
    return "application/octet-stream";
}

// A name below the folder: no empty, "." or ".." segment, so it can never leave the folder.
bool safeRelative(std::string_view rel) {
    if (rel.empty())
        return false;
    for (;;) {
        const size_t slash = rel.find('/');
        const std::string_view segment = rel.substr(0, slash);
        if (segment.empty() || segment == "." || segment == "..")
            return false;
        if (slash == std::string_view::npos)
            return true;
        rel.remove_prefix(slash + 1);
    }
}

} // namespace

FileBody::FileBody(int fd, uint64_t offset, uint64_t length)
    : m_fd(fd)
    , m_offset(offset)
    , m_left(length) {}

FileBody::~FileBody() {
    ::close(m_fd);
}

long FileBody::next(char* buffer, size_t size) {
    const size_t want = size_t(std::min<uint64_t>(size, m_left));
    if (want == 0)
        return 0;
    ssize_t n;
    do
        n = ::pread(m_fd, buffer, want, off_t(m_offset));
    while (n < 0 && errno == EINTR);
    if (n <= 0)
        return -1;
    m_offset += uint64_t(n);
    m_left -= uint64_t(n);
    return long(n);
}

FileStreamer::Range FileStreamer::chooseRange(std::string_view value, uint64_t size) {
    Range whole{Range::Whole, 0, size};
    value = trimmed(value);
    const size_t eq = value.find('=');
    if (eq == std::string_view::npos)
        return whole;
    std::string unit(trimmed(value.substr(0, eq)));
    std::transform(unit.begin(), unit.end(), unit.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    const std::string_view spec = trimmed(value.substr(eq + 1));
    if (unit != "bytes" || spec.find(',') != std::string_view::npos)
        return whole;
    const size_t dash = spec.find('-');
    if (dash == std::string_view::npos)
        return whole;
    const std::string_view a = spec.substr(0, dash), b = spec.substr(dash + 1);
    uint64_t first = 0, last = 0;
    if (a.empty()) {
        // The last `b` bytes.
        if (!decimal(b, &last))
            return whole;
        if (last == 0 || size == 0)
            return Range{Range::Unsatisfiable, 0, 0};
        const uint64_t n = std::min(last, size);
        return Range{Range::Part, size - n, n};
    }
    if (!decimal(a, &first) || (!b.empty() && !decimal(b, &last)) || (!b.empty() && last < first))
        return whole;
    if (first >= size)
        return Range{Range::Unsatisfiable, 0, 0};
    last = b.empty() ? size - 1 : std::min(last, size - 1);
    return Range{Range::Part, first, last - first + 1};
}

std::string FileStreamer::decoded(std::string_view path) {
    const auto hex = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '%' && i + 2 < path.size() && hex(path[i + 1]) >= 0 && hex(path[i + 2]) >= 0) {
            out += char(hex(path[i + 1]) * 16 + hex(path[i + 2]));
            i += 2;
        } else {
            out += path[i];
        }
    }
    return out;
}

FileStreamer::Answer FileStreamer::answer(const RequestHead& head, const std::string& prefix,
                                          const std::string& folder, bool close) {
    Answer a;
    a.path = decoded(head.path());
    const auto refuse = [&](int status) {
        a.status = status;
        const std::string text = std::to_string(status) + "\n";
        a.head = HttpAnswer::whole(status, "text/plain", text, close);
        if (head.method == "HEAD") // the length GET would have sent, and no body
            a.head.resize(a.head.size() - text.size());
        a.bytes = head.method == "HEAD" ? 0 : text.size();
        return std::move(a);
    };
    // A NUL would end the file's name early ("a.txt%00.xz" opening "a.txt").
    if (a.path.find('\0') != std::string::npos)
        return refuse(400);
    if (a.path.compare(0, prefix.size() + 1, prefix + "/") != 0 ||
        !safeRelative(a.path.substr(prefix.size() + 1)))
        return refuse(404);
    // Not blocking on a FIFO someone left in the folder; anything but a plain file is not there.
    const std::string file = folder + "/" + a.path.substr(prefix.size() + 1);
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return refuse(404);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return refuse(404);
    }
    const uint64_t size = uint64_t(st.st_size);
    Range range{Range::Whole, 0, size};
    int ranges = 0;
    std::string rangeValue;
    for (const auto& [name, value] : head.fields)
        if (name == "range" && ++ranges == 1)
            rangeValue = value;
    // A range is for the file the client already holds part of; without a validator to compare with, a
    // conditional range gets the whole file, and two Range fields are a list of ranges.
    if (ranges == 1 && head.header("if-range").empty())
        range = chooseRange(rangeValue, size);
    if (range.kind == Range::Unsatisfiable) {
        ::close(fd);
        const std::string text = "416\n";
        a.status = 416;
        a.bytes = head.method == "HEAD" ? 0 : text.size();
        a.head = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Type: text/plain\r\nContent-Range: bytes */" +
                 std::to_string(size) + "\r\nContent-Length: " + std::to_string(text.size()) +
                 "\r\nConnection: " + (close ? "close" : "keep-alive") + "\r\n\r\n" +
                 (head.method == "HEAD" ? "" : text);
        return a;
    }
    a.status = range.kind == Range::Part ? 206 : 200;
    a.bytes = range.length;
    a.head = "HTTP/1.1 " + std::string(a.status == 206 ? "206 Partial Content" : "200 OK") +
             "\r\nContent-Type: " + contentType(a.path) +
             "\r\nAccept-Ranges: bytes\r\nContent-Length: " + std::to_string(range.length) + "\r\n";
    if (range.kind == Range::Part)
        a.head += "Content-Range: bytes " + std::to_string(range.first) + "-" +
                  std::to_string(range.first + range.length - 1) + "/" + std::to_string(size) + "\r\n";
    a.head += std::string("Connection: ") + (close ? "close" : "keep-alive") + "\r\n\r\n";
    if (head.method == "HEAD" || range.length == 0) {
        ::close(fd);
        return a;
    }
    ::posix_fadvise(fd, off_t(range.first), off_t(range.length), POSIX_FADV_SEQUENTIAL);
    a.body = std::make_unique<FileBody>(fd, range.first, range.length);
    return a;
}
