// The small readings of an HTTP head's text that the request reader and the file server share.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace HeadText {

// Larger than any body or file this server takes.
inline constexpr uint64_t kHuge = uint64_t(1) << 62;

// `s` without the spaces and tabs around it.
inline std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// A run of decimal digits, saturating at kHuge; false for anything else, `out` then untouched.
inline bool decimal(std::string_view s, uint64_t* out) {
    if (s.empty())
        return false;
    uint64_t v = 0;
    for (const char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = std::min(kHuge, v * 10 + uint64_t(c - '0'));
    }
    *out = v;
    return true;
}

} // namespace HeadText
