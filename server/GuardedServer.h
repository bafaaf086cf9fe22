// The HTTPS server under quillbay-web, built to hold against slow and hostile clients. A few event loops
// own every connection (TLS handshake, reading, writing), so a connection that waits costs no thread and
// a burst of clients cannot queue a newcomer behind them. Requests are read strictly (RequestReader):
// bounded heads, one framing per message, every body capped however it is framed, and all of it within
// a deadline however slowly the bytes trickle in. One client address holds only so many connections.
// Complete requests go to the library's routing on a small pool of workers, or to a handler that
// answers later (the usage reports, answered once their batch is on disk).
#pragma once

#include "RequestReader.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class GuardedServer : public httplib::SSLServer {
public:
    struct Limits {
        // The first request's TLS handshake, head and body together; each later request's head and body
        // from its first byte.
        std::chrono::milliseconds requestDeadline{10000};
        // Connections open at once from one address (an IPv6 client counts by its /64).
        size_t perAddress = 16;
        // Connections open at once in all.
        size_t maxConnections = 4096;
        // How long a client may take nothing of an answer, and how long an idle connection is kept.
        std::chrono::milliseconds writeTimeout{5000};
        std::chrono::milliseconds idleTimeout{5000};
        // A request's head (request line and fields): bytes and fields.
        size_t headBytes = 16 * 1024;
        size_t headFields = 100;
        // Event loops (0: one per processor, at most 8) and workers for the library's routes.
        unsigned loops = 0;
        unsigned workers = 4;
    };
    struct Request {
        RequestHead head;
        std::string body;
    };
    // Answers a request that a taker took; call it once, from any thread, at any later time.
    using Reply = std::function<void(int status, const std::string& contentType, const std::string& body)>;
    // Takes a complete request away from the library's routing (true), or leaves it there (false).
    using Taker = std::function<bool(const Request& request, const Reply& reply)>;
    // One request refused before it reached any route: what of its head was read, and the status.
    using RefusalLog = std::function<void(const RequestHead& head, int status)>;

    GuardedServer(const char* certFile, const char* keyFile, Limits limits);
    ~GuardedServer() override;

    const Limits& limits() const { return m_limits; }
    void setBodyLimit(RequestReader::BodyLimit limit) { m_bodyLimit = std::move(limit); }
    void setTaker(Taker taker) { m_taker = std::move(taker); }
    void setRefusalLog(RefusalLog log) { m_refusalLog = std::move(log); }

    // Listens on `host`:`port` (0 picks a free port); returns the port, or -1.
    int listenOn(const std::string& host, int port);
    // Serves until stop(); requests under way are answered before it returns.
    void serve();
    // Callable from any thread, also before serve() and more than once.
    void stop();

    // How many connections were turned away for their address (or the server) holding too many.
    size_t refused() const;

    // The key connections are counted under: the address, or its /64 for IPv6.
    static std::string addressKey(const sockaddr_storage& address);
    // A whole HTTP/1.1 answer.
    static std::string answer(int status, const std::string& contentType, const std::string& body,
                              bool close);

    struct Loop;
    class Workers;

private:
    friend struct Loop;
    bool acquire(const std::string& key);
    void release(const std::string& key);
    // The library's answer to a complete request; `close` is set when the connection must end after it.
    std::string route(const std::string& head, const std::string& body, const std::string& peerIp,
                      int peerPort, bool* close);

    const Limits m_limits;
    RequestReader::BodyLimit m_bodyLimit;
    Taker m_taker;
    RefusalLog m_refusalLog;
    int m_listen = -1;
    std::atomic<bool> m_stopping{false};
    std::vector<std::unique_ptr<Loop>> m_loops;
    std::unique_ptr<Workers> m_workers;
    mutable std::mutex m_mutex;
    std::map<std::string, size_t> m_open;
    size_t m_total = 0;
    size_t m_maxConnections = 0;
    size_t m_refused = 0;
};
