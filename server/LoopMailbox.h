// Answers handed to one event loop from other threads (a worker running a route, the report writer, a
// download's file opened), and requests from other loops to end one of its connections to make room.
// The loop is woken through an eventfd it watches. Shared with every pending reply, so a reply that comes
// after the loop has ended lands nowhere instead of in freed memory.
#pragma once

#include "FileStreamer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class LoopMailbox {
public:
    struct Delivery {
        uint64_t id = 0;                // the connection
        size_t request = 0;             // which request of the connection it answers
        std::string bytes;              // the answer, or its head when a file follows
        bool close = false;             // the connection ends after it
        std::unique_ptr<FileBody> file; // sent after `bytes`
    };

    LoopMailbox();
    ~LoopMailbox();
    LoopMailbox(const LoopMailbox&) = delete;
    LoopMailbox& operator=(const LoopMailbox&) = delete;

    // The descriptor the loop watches; readable while something waits.
    int fd() const { return m_fd; }

    void post(Delivery d);
    // Asks the loop to end connection `id` if it still has not completed a request.
    void shed(uint64_t id);
    // Wakes the loop without anything to take (a stop).
    void wake() const;
    // Everything posted and shed since the last take, in the order given.
    std::vector<Delivery> take(std::vector<uint64_t>* shedIds);
    // From here on everything posted is dropped; what waits is dropped now.
    void shut();

private:
    const int m_fd;
    std::mutex m_mutex;
    std::vector<Delivery> m_items;
    std::vector<uint64_t> m_sheds;
    bool m_open = true;
};
