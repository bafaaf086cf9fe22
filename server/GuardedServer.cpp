// What the server is made of, put together: the connection budget, the event loops that own the
// connections (ServerLoop), the workers that run the library's routes (RouteWorkers), and the listening
// socket they share.
#include "GuardedServer.h"

#include "LibraryRequest.h"
#include "RouteWorkers.h"
#include "ServerLoop.h"

#include <algorithm>
#include <thread>

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

GuardedServer::GuardedServer(const char* certFile, const char* keyFile, Limits limits)
    : httplib::SSLServer(certFile, keyFile)
    , m_limits(limits) {
    m_budget = std::make_unique<ConnectionBudget>(
        ConnectionBudget::Limits{m_limits.perAddress, m_limits.perIpv6Slash56,
                                 ConnectionBudget::withinDescriptors(m_limits.maxConnections), 80});
    unsigned loops = m_limits.loops;
    if (loops == 0)
        loops = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    for (unsigned i = 0; i < loops; ++i)
        m_loops.push_back(std::make_unique<Loop>(*this, i));
}

GuardedServer::~GuardedServer() {
    m_loops.clear();
    if (m_listen >= 0)
        ::close(m_listen);
}

size_t GuardedServer::refused() const {
    return m_budget->refused();
}

int GuardedServer::listenOn(const std::string& host, int port) {
    if (m_listen >= 0 || !is_valid())
        return -1;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.empty() ? nullptr : host.c_str(), std::to_string(port).c_str(), &hints, &found) !=
        0)
        return -1;
    for (addrinfo* a = found; a && m_listen < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        // A short accept queue drops the connections of a burst, and their clients retry only after
        // seconds: take as many as the system allows.
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, SOMAXCONN) == 0)
            m_listen = fd;
        else
            ::close(fd);
    }
    ::freeaddrinfo(found);
    if (m_listen < 0)
        return -1;
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    int boundPort = -1;
    if (::getsockname(m_listen, reinterpret_cast<sockaddr*>(&bound), &len) == 0)
        addressText(bound, &boundPort);
    return boundPort;
}

void GuardedServer::serve() {
    if (m_listen < 0)
        return;
    m_workers = std::make_unique<RouteWorkers>(m_limits.workers);
    for (const auto& loop : m_loops)
        loop->watchListener(m_listen);
    std::vector<std::thread> threads;
    for (size_t i = 1; i < m_loops.size(); ++i)
        threads.emplace_back([loop = m_loops[i].get()] { loop->run(); });
    m_loops[0]->run();
    for (std::thread& t : threads)
        t.join();
    // New connections are refused from here on, not left waiting in the queue.
    ::close(m_listen);
    m_listen = -1;
    m_workers.reset();
}

void GuardedServer::stop() {
    m_stopping = true;
    for (const auto& loop : m_loops)
        loop->mail->wake();
}

std::string GuardedServer::route(const std::string& head, const std::string& body, const std::string& peerIp,
                                 int peerPort, bool* close) {
    BufferStream stream(head + body, peerIp, peerPort);
    bool closed = false;
    const bool ok = process_request(stream, *close, closed, [](httplib::Request&) {});
    *close = *close || closed || !ok || stream.out().empty();
    return std::move(stream.out());
}
