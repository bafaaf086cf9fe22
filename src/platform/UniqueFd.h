// Sole owner of a file descriptor: closes it when it goes, so no path (an early return, a dropped
// candidate, a late answer for a deleted service) can leak one.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <utility>

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd)
        : m_fd(fd) {}
    ~UniqueFd() { reset(); }

    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept
        : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    // The descriptor, still owned here; -1 when there is none.
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    explicit operator bool() const { return valid(); }

    // Gives the descriptor up without closing it.
    int release() { return std::exchange(m_fd, -1); }
    // Closes the current descriptor (if any) and owns `fd` instead.
    void reset(int fd = -1) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }
    // A second descriptor for the same open file (close-on-exec), for work that outlives this owner;
    // empty when there is nothing to duplicate or the system refuses.
    UniqueFd duplicate() const { return UniqueFd(m_fd >= 0 ? ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0) : -1); }

private:
    int m_fd = -1;
};
