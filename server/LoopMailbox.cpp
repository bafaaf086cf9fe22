#include "LoopMailbox.h"

#include <sys/eventfd.h>
#include <unistd.h>

LoopMailbox::LoopMailbox()
    : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

LoopMailbox::~LoopMailbox() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void LoopMailbox::post(Delivery d) {
    std::lock_guard lock(m_mutex);
    if (!m_open)
        return;
    m_items.push_back(std::move(d));
    wake();
}

void LoopMailbox::shed(uint64_t id) {
    std::lock_guard lock(m_mutex);
    if (!m_open)
        return;
    m_sheds.push_back(id);
    wake();
}

void LoopMailbox::wake() const {
    const uint64_t one = 1;
    if (::write(m_fd, &one, sizeof one) < 0) {
        // The counter is already at its limit: the loop is awake anyway.
    }
}

std::vector<LoopMailbox::Delivery> LoopMailbox::take(std::vector<uint64_t>* shedIds) {
    uint64_t n = 0;
    if (::read(m_fd, &n, sizeof n) < 0) {
        // Nothing counted: a wake-up for stop().
    }
    std::lock_guard lock(m_mutex);
    std::vector<Delivery> out;
    out.swap(m_items);
    shedIds->swap(m_sheds);
    return out;
}

void LoopMailbox::shut() {
    std::lock_guard lock(m_mutex);
    m_open = false;
    m_items.clear();
    m_sheds.clear();
}
