#include "platform/BlankPages.h"

#include <cerrno>
#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace {

bool isBlank(const unsigned char* page, std::size_t size, std::uint64_t twoBlanks) {
    // Pages are word-aligned; a difference anywhere ends the look at the next stretch of 64 words.
    const auto* words = reinterpret_cast<const std::uint64_t*>(page);
    std::uint64_t differs = 0;
    for (std::size_t i = 0; i < size / sizeof(std::uint64_t); ++i) {
        differs |= words[i] ^ twoBlanks;
        if ((i & 63) == 63 && differs)
            return false;
    }
    return differs == 0;
}

// Shared memory frees its pages with MADV_REMOVE; private memory refuses that (EINVAL) and, being
// anonymous (see the header), frees them with MADV_DONTNEED and reads zeros again.
bool giveBack(unsigned char* from, std::size_t size) {
    if (madvise(from, size, MADV_REMOVE) == 0)
        return true;
    return errno == EINVAL && madvise(from, size, MADV_DONTNEED) == 0;
}

} // namespace

std::size_t releaseBlankPages(void* data, std::size_t bytes, std::uint32_t blank) {
    const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    if (!data || pageSize == 0 || bytes < pageSize)
        return 0;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + pageSize - 1) / pageSize * pageSize;
    const std::uintptr_t end = (start + bytes) / pageSize * pageSize;
    const std::uint64_t twoBlanks = (std::uint64_t(blank) << 32) | blank;
    std::size_t released = 0;
    std::uintptr_t runFrom = 0;
    auto endRun = [&](std::uintptr_t at) {
        if (runFrom && giveBack(reinterpret_cast<unsigned char*>(runFrom), at - runFrom))
            released += at - runFrom;
        runFrom = 0;
    };
    for (std::uintptr_t page = first; page < end; page += pageSize) {
        if (isBlank(reinterpret_cast<const unsigned char*>(page), pageSize, twoBlanks)) {
            if (!runFrom)
                runFrom = page;
        } else {
            endRun(page);
        }
    }
    endRun(end);
    return released;
}
