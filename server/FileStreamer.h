// Release downloads served straight off the disk: the answer's head is made from the file's size and at
// most one requested range, and the body is read in fixed pieces only as fast as the client takes them,
// so memory depends neither on the file's size nor on how many download it at once.
#pragma once

#include "RequestReader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// The part of an open file still to be sent; closes the file when it goes.
class FileBody {
public:
    FileBody(int fd, uint64_t offset, uint64_t length);
    ~FileBody();
    FileBody(const FileBody&) = delete;
    FileBody& operator=(const FileBody&) = delete;

    uint64_t left() const { return m_left; }
    // Reads the next piece (at most `size` bytes) into `buffer`; the count, or -1 when the file ended
    // short of what was announced or could not be read.
    long next(char* buffer, size_t size);

private:
    const int m_fd;
    uint64_t m_offset;
    uint64_t m_left;
};

class FileStreamer {
public:
    struct Range {
        enum Kind { Whole, Part, Unsatisfiable };
        Kind kind = Whole;
        uint64_t first = 0;
        uint64_t length = 0;
    };
    // What to send of a file of `size` bytes for the value of a Range field. One range is served; several
    // (which may overlap and repeat without end) get the whole file, as does anything malformed.
    static Range chooseRange(std::string_view value, uint64_t size);

    struct Answer {
        int status = 0;
        std::string head;               // the whole head, or head and a short error body
        std::unique_ptr<FileBody> body; // what follows the head; none for HEAD and for errors
        std::string path;               // the decoded path, for the log
        uint64_t bytes = 0;             // the length of the body announced
    };
    // The answer to a GET or HEAD of `head`'s target below `prefix`, from the files in `folder`.
    static Answer answer(const RequestHead& head, const std::string& prefix, const std::string& folder,
                         bool close);
    // `path` with its %XX escapes decoded.
    static std::string decoded(std::string_view path);
};
