// Reads one HTTP/1.1 request off a connection strictly enough that no other reader of the same bytes can
// disagree on where it ends: a bounded head, exactly one framing per message, and chunked bodies held to
// the same cap as counted ones. Whatever is ambiguous is refused, never guessed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct RequestHead {
    std::string method;
    std::string target;
    std::string version; // "HTTP/1.0" or "HTTP/1.1"
    // In arrival order; names in lower case, values without the surrounding white space.
    std::vector<std::pair<std::string, std::string>> fields;

    // The first value of the field `lowerName`, or empty.
    std::string header(std::string_view lowerName) const;
    // The target up to its query.
    std::string path() const;
    // Whether the client asked for the connection to end after this request.
    bool wantsClose() const;
};

class RequestReader {
public:
    // The longest line (without its CRLF) the HTTP library reads in a head: 8 KiB with the CRLF.
    static constexpr size_t kLibraryLineBytes = 8190;
    struct Limits {
        size_t headBytes = 16 * 1024;
        size_t headFields = 100;
        // One line of the head; a longer field line is answered 431, a longer request line 414.
        size_t lineBytes = kLibraryLineBytes;
    };
    // The largest body the request of `head` may carry.
    using BodyLimit = std::function<size_t(const RequestHead& head)>;
    enum class State { Head, Body, Done, Failed };

    RequestReader(Limits limits, BodyLimit bodyLimit);

    // Takes the next bytes of the connection and returns how many belong to this request; the rest is
    // the start of the next one. Stops taking bytes once the request is done or has failed.
    size_t feed(const char* data, size_t size);
    // Forgets this request, for the next one on the same connection.
    void reset();

    State state() const { return m_state; }
    // The status to answer a failed request with (400, 413, 414, 431, 501 or 505) and why, for the log.
    int failure() const { return m_failure; }
    const char* failureReason() const { return m_reason; }
    // The head (after a failure, what of it was read: the request line once it was complete).
    const RequestHead& head() const { return m_head; }
    const std::string& body() const { return m_body; }
    // True once the head asked for "100-continue" and its body is still to come.
    bool expectsContinue() const;
    // Whether any byte of this request has arrived.
    bool started() const { return m_seen > 0; }

private:
    size_t feedHead(const char* data, size_t size);
    size_t feedChunked(const char* data, size_t size);
    bool parseRequestLine(std::string_view line);
    bool parseHead();
    bool parseField(std::string_view line, bool trailer);
    bool chooseFraming();
    bool chunkSizeLine(std::string_view line);
    bool fail(int status, const char* reason);

    enum class Chunk { Size, Data, DataEnd, Trailer };

    const Limits m_limits;
    const BodyLimit m_bodyLimit;
    State m_state = State::Head;
    int m_failure = 0;
    const char* m_reason = "";
    size_t m_seen = 0;
    std::string m_raw; // the head, or the current chunk-size or trailer line
    bool m_lineParsed = false;
    size_t m_lineLength = 0; // of the head's current line so far
    RequestHead m_head;
    std::string m_body;
    bool m_chunked = false;
    uint64_t m_left = 0; // bytes of the counted body or of the current chunk still to come
    size_t m_limit = 0;
    Chunk m_chunk = Chunk::Size;
    size_t m_trailerBytes = 0;
    size_t m_trailerFields = 0;
};
