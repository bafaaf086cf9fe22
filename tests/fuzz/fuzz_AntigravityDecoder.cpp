// libFuzzer entry for the Antigravity credits decoder: any bytes must decode without a hang, a crash or a
// read outside the buffer (built with AddressSanitizer and UBSan).
#include "services/AntigravityDecoder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    AntigravityDecoder::parseProtobufStringMap(bytes);
    AntigravityDecoder::firstVarint(bytes);
    AntigravityDecoder::credits(bytes);
    if (const auto decoded = AntigravityDecoder::strictBase64(bytes))
        AntigravityDecoder::credits(*decoded);
    return 0;
}
