// Connections handled here instead of by the library's loop: a non-blocking TLS stream whose reads stop
// at the request's deadline, per-address slots, and a thread pool that grows with the connections.
#include "GuardedServer.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <system_error>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int millisUntil(Clock::time_point t) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, INT_MAX));
}

// Waits until `sock` is ready for `events`, at most `ms`.
bool waitFor(int sock, short events, int ms) {
    if (ms <= 0)
        return false;
    pollfd p{sock, events, 0};
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const int r = ::poll(&p, 1, millisUntil(until));
        if (r > 0)
            return true;
        if (r == 0 || errno != EINTR)
            return false;
    }
}

std::string ipText(const sockaddr_storage& a, int* port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (a.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&a);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        *port = ntohs(in->sin_port);
    } else if (a.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&a);
        ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        *port = ntohs(in6->sin6_port);
    }
    return text;
}

// A TLS connection over a non-blocking socket. Reads give up at the request's deadline, so a client
// that sends a byte now and then cannot hold a connection for longer than that.
class TlsStream final : public httplib::Stream {
public:
    TlsStream(int sock, SSL* ssl, std::chrono::milliseconds writeTimeout)
        : m_sock(sock)
        , m_ssl(ssl)
        , m_writeTimeout(int(writeTimeout.count())) {}

    void setReadDeadline(Clock::time_point deadline) { m_readDeadline = deadline; }

    bool is_readable() const override {
        return SSL_pending(m_ssl) > 0 || waitFor(m_sock, POLLIN, millisUntil(m_readDeadline));
    }
    bool is_writable() const override { return waitFor(m_sock, POLLOUT, m_writeTimeout); }

    ssize_t read(char* ptr, size_t size) override {
        const int want = int(std::min<size_t>(size, INT_MAX));
        for (;;) {
            const int n = SSL_read(m_ssl, ptr, want);
            if (n > 0)
                return n;
            if (!waitAfter(n, millisUntil(m_readDeadline)))
                return -1;
        }
    }
    ssize_t write(const char* ptr, size_t size) override {
        const int want = int(std::min<size_t>(size, INT_MAX));
        for (;;) {
            const int n = SSL_write(m_ssl, ptr, want);
            if (n > 0)
                return n;
            if (!waitAfter(n, m_writeTimeout))
                return -1;
        }
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage a{};
        socklen_t len = sizeof a;
        port = 0;
        ip = ::getpeername(m_sock, reinterpret_cast<sockaddr*>(&a), &len) == 0 ? ipText(a, &port) : "";
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage a{};
        socklen_t len = sizeof a;
        port = 0;
        ip = ::getsockname(m_sock, reinterpret_cast<sockaddr*>(&a), &len) == 0 ? ipText(a, &port) : "";
    }
    socket_t socket() const override { return m_sock; }

    // After an SSL call returned `result`: waits for what it needs and says whether to try again.
    bool waitAfter(int result, int ms) const {
        switch (SSL_get_error(m_ssl, result)) {
        case SSL_ERROR_WANT_READ:
            return waitFor(m_sock, POLLIN, ms);
        case SSL_ERROR_WANT_WRITE:
            return waitFor(m_sock, POLLOUT, ms);
        default:
            return false;
        }
    }

private:
    int m_sock;
    SSL* m_ssl;
    int m_writeTimeout;
    Clock::time_point m_readDeadline = Clock::now();
};

// Threads made as connections arrive, up to a bound, and ended after a quiet spell; the library's own
// pool is fixed and small, so a handful of slow clients would hold all of it.
class GrowingPool final : public httplib::TaskQueue {
public:
    explicit GrowingPool(size_t maxThreads)
        : m_max(std::max<size_t>(maxThreads, 1)) {}

    void enqueue(std::function<void()> fn) override {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(fn));
        // Idle threads may not have woken for the jobs before this one yet: count what waits, not who.
        if (m_jobs.size() > m_idle && m_threads < m_max) {
            try {
                std::thread([this] { work(); }).detach();
                ++m_threads;
            } catch (const std::system_error&) {
                // No thread to be had now: the job waits for one of those there are.
            }
        }
        m_wake.notify_one();
    }

    void shutdown() override {
        std::unique_lock lock(m_mutex);
        m_stopping = true;
        m_wake.notify_all();
        m_gone.wait(lock, [this] { return m_threads == 0; });
    }

private:
    void work() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            ++m_idle;
            const bool woken = m_wake.wait_for(lock, std::chrono::seconds(30),
                                               [this] { return !m_jobs.empty() || m_stopping; });
            --m_idle;
            if (m_jobs.empty() && (m_stopping || !woken))
                break;
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
        // The last touch of the pool: shutdown() may destroy it once the count reaches zero.
        --m_threads;
        m_gone.notify_all();
    }

    const size_t m_max;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_gone;
    std::deque<std::function<void()>> m_jobs;
    size_t m_threads = 0;
    size_t m_idle = 0;
    bool m_stopping = false;
};

void closeSocket(int sock) {
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
}

} // namespace

GuardedServer::GuardedServer(const char* certFile, const char* keyFile, Limits limits)
    : httplib::SSLServer(certFile, keyFile)
    , m_limits(limits) {
    const size_t threads = m_limits.maxThreads;
    new_task_queue = [threads] { return new GrowingPool(threads); };
}

size_t GuardedServer::refused() const {
    std::lock_guard lock(m_mutex);
    return m_refused;
}

std::string GuardedServer::addressKey(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
        return std::string(reinterpret_cast<const char*>(&in->sin_addr), 4);
    }
    if (address.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address);
        const auto* b = reinterpret_cast<const char*>(&in6->sin6_addr);
        // An IPv4 client reached through an IPv6 socket counts as that IPv4 address.
        if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr))
            return std::string(b + 12, 4);
        // One IPv6 client usually holds a whole /64.
        return std::string(b, 8) + "/64";
    }
    return "other";
}

bool GuardedServer::acquire(const std::string& key) {
    std::lock_guard lock(m_mutex);
    size_t& open = m_open[key];
    if (open >= m_limits.perAddress) {
        ++m_refused;
        return false;
    }
    ++open;
    return true;
}

void GuardedServer::release(const std::string& key) {
    std::lock_guard lock(m_mutex);
    if (auto it = m_open.find(key); it != m_open.end() && --it->second == 0)
        m_open.erase(it);
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
    const Clock::time_point accepted = Clock::now();
    sockaddr_storage peer{};
    socklen_t len = sizeof peer;
    if (::getpeername(sock, reinterpret_cast<sockaddr*>(&peer), &len) != 0) {
        closeSocket(sock);
        return false;
    }
    const std::string key = addressKey(peer);
    if (!acquire(key)) {
        closeSocket(sock);
        return false;
    }
    const bool ok = serve(sock, accepted);
    closeSocket(sock);
    release(key);
    return ok;
}

bool GuardedServer::serve(socket_t sock, Clock::time_point accepted) {
    const int flags = ::fcntl(sock, F_GETFL);
    if (flags < 0 || ::fcntl(sock, F_SETFL, flags | O_NONBLOCK) != 0)
        return false;
    SSL* ssl = SSL_new(ssl_context());
    if (!ssl)
        return false;
    SSL_set_fd(ssl, sock);
    TlsStream stream(sock, ssl, m_limits.writeTimeout);

    Clock::time_point deadline = accepted + m_limits.requestDeadline;
    bool ok = false;
    for (;;) {
        const int r = SSL_accept(ssl);
        if (r == 1) {
            ok = true;
            break;
        }
        if (!stream.waitAfter(r, millisUntil(deadline)))
            break;
    }
    if (ok) {
        for (size_t left = keep_alive_max_count_; left > 0 && svr_sock_ != INVALID_SOCKET; --left) {
            if (left != keep_alive_max_count_) {
                // An idle connection waits for its next request only so long.
                if (SSL_pending(ssl) == 0 &&
                    !waitFor(sock, POLLIN,
                             int(std::min<time_t>(keep_alive_timeout_sec_, INT_MAX / 1000) * 1000)))
                    break;
                deadline = Clock::now() + m_limits.requestDeadline;
            }
            stream.setReadDeadline(deadline);
            bool closed = false;
            ok = process_request(stream, left == 1, closed, [ssl](httplib::Request& req) { req.ssl = ssl; });
            if (!ok || closed)
                break;
        }
        if (ok)
            SSL_shutdown(ssl); // a courtesy; a client that does not read it is not waited for
    }
    SSL_free(ssl);
    ERR_clear_error();
    return ok;
}
