// The descriptor is an eventfd: one write makes it readable for good, since nobody reads it.
#include "platform/CancelSignal.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

CancelSignal::CancelSignal()
    : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelSignal::~CancelSignal() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void CancelSignal::raise() {
    if (m_raised.exchange(true, std::memory_order_acq_rel))
        return;
    if (m_fd < 0)
        return;
    const std::uint64_t one = 1;
    while (::write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}
