// The HTTPS server under quillbay-web, built to hold against slow and hostile clients. A few event loops
// own every connection (TLS handshake, reading, writing), so a connection that waits costs no thread and
// a burst of clients cannot queue a newcomer behind them. Requests are read strictly (RequestReader):
// bounded heads, one framing per message, every body capped however it is framed, and all of it within
// a deadline however slowly the bytes trickle in. One client address holds only so many connections, and
// near the bound in all the oldest connections that never completed a request make room (ConnectionBudget).
// TLS handshakes take turns by client address and never starve the connections already established.
// Complete requests go to the library's routing on a small pool of workers, to a handler that answers
// later (the usage reports, answered once their batch is on disk), or, for downloads, to a file that the
// loop streams in fixed pieces as the client takes them (FileStreamer).
#pragma once

#include "ConnectionBudget.h"
#include "HttpAnswer.h"
#include "RequestReader.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class RouteWorkers;

class GuardedServer : public httplib::SSLServer {
public:
    struct Limits {
        // The first request's TLS handshake, head and body together; each later request's head and body
        // from its first byte.
        std::chrono::milliseconds requestDeadline{10000};
        // Connections open at once from one address (an IPv6 client counts by its /64), and from one
        // IPv6 /56.
        size_t perAddress = 16;
        size_t perIpv6Slash56 = 64;
        // Connections open at once in all.
        size_t maxConnections = 4096;
        // How long a client may take nothing of a short answer (a download is held to the read rate
        // below instead), and how long an idle connection is kept.
        std::chrono::milliseconds writeTimeout{5000};
        std::chrono::milliseconds idleTimeout{5000};
        // A client that takes an answer slower than this (bytes a second, over the window) is cut.
        size_t minReadRate = 1024;
        std::chrono::milliseconds rateWindow{30000};
        // A request's head (request line and fields): bytes, bytes of one line, and fields. No line may
        // be longer than the library behind the routes reads.
        size_t headBytes = 16 * 1024;
        size_t lineBytes = RequestReader::kLibraryLineBytes;
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
    // One download answered: the decoded path, the status and the body's length announced.
    using FileLog =
        std::function<void(const RequestHead& head, const std::string& path, int status, uint64_t bytes)>;

    GuardedServer(const char* certFile, const char* keyFile, Limits limits);
    ~GuardedServer() override;

    const Limits& limits() const { return m_limits; }
    void setBodyLimit(RequestReader::BodyLimit limit) { m_bodyLimit = std::move(limit); }
    void setTaker(Taker taker) { m_taker = std::move(taker); }
    void setRefusalLog(RefusalLog log) { m_refusalLog = std::move(log); }
    // GET and HEAD below `prefix` ("/downloads") are served from the files in `folder`.
    void setFiles(std::string prefix, std::string folder, FileLog log) {
        m_filePrefix = std::move(prefix);
        m_fileFolder = std::move(folder);
        m_fileLog = std::move(log);
    }

    // Listens on `host`:`port` (0 picks a free port); returns the port, or -1.
    int listenOn(const std::string& host, int port);
    // Serves until stop(); requests under way are answered before it returns.
    void serve();
    // Callable from any thread, also before serve() and more than once.
    void stop();

    // How many connections were turned away for their address (or the server) holding too many.
    size_t refused() const;

    // A whole HTTP/1.1 answer.
    static std::string answer(int status, const std::string& contentType, const std::string& body,
                              bool close) {
        return HttpAnswer::whole(status, contentType, body, close);
    }

    struct Loop;

private:
    friend struct Loop;
    // The library's answer to a complete request; `close` is set when the connection must end after it.
    std::string route(const std::string& head, const std::string& body, const std::string& peerIp,
                      int peerPort, bool* close);

    const Limits m_limits;
    RequestReader::BodyLimit m_bodyLimit;
    Taker m_taker;
    RefusalLog m_refusalLog;
    std::string m_filePrefix;
    std::string m_fileFolder;
    FileLog m_fileLog;
    int m_listen = -1;
    std::atomic<bool> m_stopping{false};
    std::vector<std::unique_ptr<Loop>> m_loops;
    std::unique_ptr<RouteWorkers> m_workers;
    std::unique_ptr<ConnectionBudget> m_budget;
};
