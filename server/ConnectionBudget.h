// How many connections the server holds, and for whom: a bound per client address (an IPv6 client by its
// /64, and every /56 as well, since one host is often given a whole /56), a bound in all, and, once the
// total nears that bound, which connection to give up so that a newcomer still gets in: the oldest of
// those that never completed a request. Thread-safe; the event loops share one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include <sys/socket.h>

class ConnectionBudget {
public:
    struct Limits {
        size_t perAddress = 16;
        size_t perIpv6Slash56 = 64;
        size_t total = 4096;
        // Above this share of `total` (in percent), a newcomer displaces the oldest idle stranger.
        unsigned pressurePercent = 80;
    };
    struct Keys {
        std::string address; // the IPv4 address, or the IPv6 /64
        std::string wide;    // the IPv6 /56; empty for IPv4
    };
    // A connection to be given up: which event loop holds it, and its number there.
    struct Victim {
        size_t loop = 0;
        uint64_t conn = 0;
    };

    explicit ConnectionBudget(Limits limits);

    // At most `wanted`, and clear of the process's descriptor limit: each connection takes one, and
    // the files and sockets of the rest of the server need some.
    static size_t withinDescriptors(size_t wanted);

    static Keys keysOf(const sockaddr_storage& address);

    // Takes a place for a new connection held by `loop` as `conn`; 0 when it is refused, else the
    // connection's ticket. Under pressure `shed` names a connection to end now (its place is given
    // back when it is released).
    uint64_t admit(const Keys& keys, size_t loop, uint64_t conn, std::optional<Victim>* shed);
    // The connection of `ticket` completed a request: it is no longer shed first.
    void proven(uint64_t ticket);
    void release(uint64_t ticket);

    size_t refused() const;
    size_t open() const;
    const Limits& limits() const { return m_limits; }

private:
    const Limits m_limits;
    mutable std::mutex m_mutex;
    std::map<std::string, size_t> m_perKey;
    std::map<uint64_t, Keys> m_held;        // by ticket, so the oldest first
    std::map<uint64_t, Victim> m_strangers; // held and not yet proven, oldest first
    uint64_t m_next = 1;
    size_t m_refused = 0;
};
