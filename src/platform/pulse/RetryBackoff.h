// How long to wait before trying a sound server again: the first wait, doubled after each failure up
// to the longest, and back to the first once a connection works.
#pragma once

#include <algorithm>

class RetryBackoff {
public:
    constexpr RetryBackoff(int firstMs, int longestMs)
        : m_first(std::max(1, firstMs))
        , m_longest(std::max(m_first, longestMs))
        , m_next(m_first) {}

    // The wait before the next try; the one after it is twice as long, up to the longest.
    int next() {
        const int wait = m_next;
        m_next = m_next > m_longest / 2 ? m_longest : m_next * 2;
        return wait;
    }
    // A connection became ready: the next failure starts over with the first wait.
    void reset() { m_next = m_first; }

    int firstMs() const { return m_first; }
    int longestMs() const { return m_longest; }

private:
    int m_first;
    int m_longest;
    int m_next;
};
