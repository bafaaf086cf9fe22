// libFuzzer entry over the web service's request reader: any bytes must be read to the same outcome
// whether they arrive at once or in slices (the first byte picks the slice size), the body must stay
// within its cap, and nothing may crash, overflow or hang.
#include "RequestReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

struct Outcome {
    RequestReader::State state;
    int failure;
    std::string body;
    size_t used;
};

constexpr size_t kCap = 256;

Outcome read(const char* data, size_t size, size_t slice) {
    RequestReader r(RequestReader::Limits{512, 8, 128}, [](const RequestHead&) { return kCap; });
    size_t used = 0;
    while (used < size) {
        const size_t n = std::min(slice, size - used);
        const size_t took = r.feed(data + used, n);
        if (took > n)
            std::abort();
        used += took;
        if (took < n)
            break;
    }
    return Outcome{r.state(), r.failure(), r.body(), used};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const size_t slice = 1 + data[0] % 31;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const Outcome whole = read(bytes, size - 1, size);
    const Outcome sliced = read(bytes, size - 1, slice);
    if (whole.state != sliced.state || whole.failure != sliced.failure || whole.body != sliced.body ||
        whole.used != sliced.used)
        std::abort();
    if (whole.body.size() > kCap)
        std::abort();
    if ((whole.state == RequestReader::State::Failed) != (whole.failure != 0))
        std::abort();
    return 0;
}
