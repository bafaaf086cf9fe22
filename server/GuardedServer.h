// The HTTPS server under quillbay-web, hardened against slow and hostile clients: the request head and
// body must arrive within a deadline however slowly the bytes trickle in, one client address holds only
// so many connections at once, and connections get threads of their own (up to a bound) so that a few
// stuck clients cannot starve everyone else.
#pragma once

#include <httplib.h>

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

class GuardedServer : public httplib::SSLServer {
public:
    struct Limits {
        // The first request's TLS handshake, head and body together; each later request's head and body
        // from its first byte.
        std::chrono::milliseconds requestDeadline{10000};
        // Connections open at once from one address (an IPv6 client counts by its /64).
        size_t perAddress = 16;
        // Connections served at once; more wait for a free thread.
        size_t maxThreads = 256;
        // One wait for the client to take more of an answer.
        std::chrono::milliseconds writeTimeout{5000};
    };

    GuardedServer(const char* certFile, const char* keyFile, Limits limits);

    const Limits& limits() const { return m_limits; }
    // How many connections were turned away for their address holding too many.
    size_t refused() const;

    // The key connections are counted under: the address, or its /64 for IPv6.
    static std::string addressKey(const sockaddr_storage& address);

private:
    bool process_and_close_socket(socket_t sock) override;
    bool serve(socket_t sock, std::chrono::steady_clock::time_point accepted);
    bool acquire(const std::string& key);
    void release(const std::string& key);

    const Limits m_limits;
    mutable std::mutex m_mutex;
    std::map<std::string, size_t> m_open;
    size_t m_refused = 0;
};
