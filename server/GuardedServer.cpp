// Each event loop owns its connections outright: only its thread touches them. Answers made elsewhere
// (a worker running the library's routes, the report writer) come back through the loop's mailbox by
// connection id, so an answer for a connection that has gone meanwhile is simply dropped.
#include "GuardedServer.h"

#include "FileStreamer.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <optional>
#include <thread>
#include <unordered_map>

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kListenId = 0;
constexpr uint64_t kMailId = 1;
// What one connection may read or write before the others get their turn.
constexpr size_t kTurnBytes = 256 * 1024;
// A download is read from its file in pieces of this size, one piece held per connection at a time.
constexpr size_t kPieceBytes = 32 * 1024;
// TLS handshake steps a loop takes between two looks at its established connections.
constexpr size_t kHandshakesPerTurn = 16;
// After an answer that ends the connection, what the client still sends is read and thrown away for a
// while, so that closing does not reset the connection before the client has read the answer.
constexpr std::chrono::milliseconds kLinger{2000};
constexpr size_t kLingerBytes = 1024 * 1024;

int millisUntil(Clock::time_point t) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
    return int(std::clamp<long long>(left + 1, 0, INT_MAX));
}

std::string ipText(const sockaddr_storage& a, int* port) {
    char text[INET6_ADDRSTRLEN] = {};
    *port = 0;
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

const char* reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 414:
        return "URI Too Long";
    case 416:
        return "Range Not Satisfiable";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Unknown";
    }
}

// The request as the library is to see it: framed by a Content-Length of the body already read and
// decoded, with nothing that would make it wait for more or answer "100 Continue" a second time. Its
// routes answer small pages whole: the library would build every range asked for, however many.
std::string forwardedHead(const RequestHead& head, size_t bodySize) {
    std::string out = head.method + ' ' + head.target + ' ' + head.version + "\r\n";
    for (const auto& [name, value] : head.fields)
        if (name != "content-length" && name != "transfer-encoding" && name != "expect" && name != "range" &&
            name != "if-range")
            out += name + ": " + value + "\r\n";
    if (bodySize > 0)
        out += "Content-Length: " + std::to_string(bodySize) + "\r\n";
    return out + "\r\n";
}

// One complete request in memory for the library to read, and its answer collected.
class BufferStream final : public httplib::Stream {
public:
    BufferStream(std::string in, std::string ip, int port)
        : m_in(std::move(in))
        , m_ip(std::move(ip))
        , m_port(port) {}

    bool is_readable() const override { return m_pos < m_in.size(); }
    bool is_writable() const override { return true; }
    ssize_t read(char* ptr, size_t size) override {
        const size_t n = std::min(size, m_in.size() - m_pos);
        std::memcpy(ptr, m_in.data() + m_pos, n);
        m_pos += n;
        return ssize_t(n);
    }
    ssize_t write(const char* ptr, size_t size) override {
        m_out.append(ptr, size);
        return ssize_t(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = m_ip;
        port = m_port;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip.clear();
        port = 0;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

    std::string& out() { return m_out; }

private:
    const std::string m_in;
    size_t m_pos = 0;
    std::string m_out;
    const std::string m_ip;
    const int m_port;
};

struct Delivery {
    uint64_t id = 0;
    size_t request = 0; // which request of the connection it answers
    std::string bytes;
    bool close = false;
    std::unique_ptr<FileBody> file; // sent after `bytes`
};

// Answers handed to one loop from other threads. Shared with every pending reply, so a reply that comes
// after the loop has ended lands nowhere instead of in freed memory.
struct Mailbox {
    Mailbox()
        : fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~Mailbox() {
        if (fd >= 0)
            ::close(fd);
    }
    Mailbox(const Mailbox&) = delete;
    Mailbox& operator=(const Mailbox&) = delete;

    void post(Delivery d) {
        std::lock_guard lock(mutex);
        if (!open)
            return;
        items.push_back(std::move(d));
        wake();
    }
    // Asks the loop to end connection `id` if it still has not completed a request.
    void shed(uint64_t id) {
        std::lock_guard lock(mutex);
        if (!open)
            return;
        sheds.push_back(id);
        wake();
    }
    void wake() const {
        const uint64_t one = 1;
        if (::write(fd, &one, sizeof one) < 0) {
            // The counter is already at its limit: the loop is awake anyway.
        }
    }
    std::vector<Delivery> take(std::vector<uint64_t>* shedIds) {
        uint64_t n = 0;
        if (::read(fd, &n, sizeof n) < 0) {
            // Nothing counted: a wake-up for stop().
        }
        std::lock_guard lock(mutex);
        std::vector<Delivery> out;
        out.swap(items);
        shedIds->swap(sheds);
        return out;
    }
    void shut() {
        std::lock_guard lock(mutex);
        open = false;
        items.clear();
        sheds.clear();
    }

    const int fd;
    std::mutex mutex;
    std::vector<Delivery> items;
    std::vector<uint64_t> sheds;
    bool open = true;
};

enum class Phase { Handshake, Reading, Idle, Waiting, Writing, Lingering };

struct Conn {
    Conn(uint64_t connId, int socket, SSL* tls, std::string addressKey, uint64_t budgetTicket,
         const RequestReader::Limits& limits, RequestReader::BodyLimit bodyLimit)
        : id(connId)
        , fd(socket)
        , ssl(tls)
        , key(std::move(addressKey))
        , ticket(budgetTicket)
        , reader(limits, std::move(bodyLimit)) {}

    const uint64_t id;
    const int fd;
    SSL* const ssl;
    const std::string key; // the client's address (IPv6: its /64)
    const uint64_t ticket;
    std::string ip;
    int port = 0;
    Phase phase = Phase::Handshake;
    RequestReader reader;
    std::string in;
    std::string out;
    size_t outPos = 0;
    // The file part of the answer, after `out`, and the piece of it read but not yet written.
    std::unique_ptr<FileBody> file;
    std::unique_ptr<char[]> piece;
    size_t pieceLength = 0;
    size_t piecePos = 0;
    bool closeAfter = false;
    bool continued = false;
    bool headChecked = false;
    bool queued = false; // waits for its turn at a handshake step
    size_t served = 0;
    size_t lingered = 0;
    uint32_t events = 0;
    Clock::time_point deadline = Clock::time_point::max();
    // While writing: when the client must have taken something more, when its rate is next looked at,
    // and how much it had taken at the last look. The first look comes a window after the buffers on
    // the way first filled: what they took at once says nothing of how fast the client reads.
    Clock::time_point writeDue;
    Clock::time_point rateDue;
    uint64_t takenAtLook = 0;
    bool behind = false;

    bool pending() const {
        return outPos < out.size() || piecePos < pieceLength || (file && file->left() > 0);
    }
};

} // namespace

class GuardedServer::Workers {
public:
    explicit Workers(unsigned count) {
        for (unsigned i = 0; i < std::max(count, 1u); ++i)
            m_threads.emplace_back([this] { work(); });
    }
    ~Workers() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        for (std::thread& t : m_threads)
            t.join();
    }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    void push(std::function<void()> job) {
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        m_wake.notify_one();
    }

private:
    void work() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return !m_jobs.empty() || m_stopping; });
            if (m_jobs.empty())
                return;
            std::function<void()> job = std::move(m_jobs.front());
            m_jobs.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

struct GuardedServer::Loop {
    Loop(GuardedServer& owner, size_t number)
        : server(owner)
        , index(number)
        , epoll(::epoll_create1(EPOLL_CLOEXEC)) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = kMailId;
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, mail->fd, &ev);
    }
    ~Loop() {
        mail->shut();
        while (!conns.empty())
            drop(conns.begin()->first);
        ::close(epoll);
    }
    Loop(const Loop&) = delete;
    Loop& operator=(const Loop&) = delete;

    void watchListener(int fd) {
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLEXCLUSIVE;
        ev.data.u64 = kListenId;
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev);
    }

    void run() {
        std::vector<epoll_event> events(128);
        for (;;) {
            if (server.m_stopping && !draining)
                beginDrain();
            if (draining && (conns.empty() || Clock::now() >= drainEnd))
                break;
            int timeout = -1;
            if (!again.empty() || !handshakeTurns.empty())
                timeout = 0;
            else if (nextDue != Clock::time_point::max())
                timeout = millisUntil(nextDue);
            if (draining)
                timeout = std::min(timeout < 0 ? 1000 : timeout, millisUntil(drainEnd));
            const int n = ::epoll_wait(epoll, events.data(), int(events.size()), timeout);
            for (int i = 0; i < n; ++i) {
                const uint64_t id = events[size_t(i)].data.u64;
                if (id == kListenId)
                    accept();
                else if (id == kMailId)
                    deliver();
                else if (events[size_t(i)].events & (EPOLLERR | EPOLLHUP))
                    drop(id);
                else if (Conn* c = find(id))
                    c->phase == Phase::Handshake ? queueHandshake(*c) : step(*c);
            }
            std::vector<uint64_t> turn;
            turn.swap(again);
            for (const uint64_t id : turn)
                if (Conn* c = find(id))
                    step(*c);
            handshakes();
            if (Clock::now() >= nextDue)
                sweep();
        }
        while (!conns.empty())
            drop(conns.begin()->first);
    }

    Conn* find(uint64_t id) {
        const auto it = conns.find(id);
        return it == conns.end() ? nullptr : it->second.get();
    }

    void beginDrain() {
        draining = true;
        if (server.m_listen >= 0)
            ::epoll_ctl(epoll, EPOLL_CTL_DEL, server.m_listen, nullptr);
        drainEnd = Clock::now() + server.m_limits.requestDeadline + server.m_limits.writeTimeout;
        // Connections with no request under way have nothing to finish.
        std::vector<uint64_t> idle;
        for (const auto& [id, c] : conns)
            if (c->phase == Phase::Handshake || c->phase == Phase::Idle ||
                (c->phase == Phase::Reading && !c->reader.started()))
                idle.push_back(id);
        for (const uint64_t id : idle)
            drop(id);
    }

    void accept() {
        for (int i = 0; i < 64; ++i) {
            sockaddr_storage peer{};
            socklen_t len = sizeof peer;
            const int fd = ::accept4(server.m_listen, reinterpret_cast<sockaddr*>(&peer), &len,
                                     SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                return;
            ConnectionBudget::Keys keys = ConnectionBudget::keysOf(peer);
            const uint64_t id = nextId++;
            std::optional<ConnectionBudget::Victim> shed;
            const uint64_t ticket = server.m_budget->admit(keys, index, id, &shed);
            if (ticket == 0) {
                ::close(fd);
                continue;
            }
            if (shed)
                server.m_loops[shed->loop]->mail->shed(shed->conn);
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            SSL* ssl = SSL_new(server.ssl_context());
            if (!ssl) {
                ::close(fd);
                server.m_budget->release(ticket);
                continue;
            }
            SSL_set_fd(ssl, fd);
            SSL_set_accept_state(ssl);
            SSL_set_mode(ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
            auto c = std::make_unique<Conn>(id, fd, ssl, std::move(keys.address), ticket,
                                            RequestReader::Limits{server.m_limits.headBytes,
                                                                  server.m_limits.headFields,
                                                                  server.m_limits.lineBytes},
                                            server.m_bodyLimit);
            c->ip = ipText(peer, &c->port);
            epoll_event ev{};
            ev.events = EPOLLIN;
            ev.data.u64 = id;
            if (::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev) != 0) {
                SSL_free(ssl);
                ::close(fd);
                server.m_budget->release(ticket);
                continue;
            }
            c->events = EPOLLIN;
            Conn& conn = *conns.emplace(id, std::move(c)).first->second;
            setDeadline(conn, Clock::now() + server.m_limits.requestDeadline);
            queueHandshake(conn);
        }
    }

    // Handshakes cost far more than anything else a loop does, and a flood of them from one address must
    // not keep another client's waiting: they wait in a queue per address and the addresses take turns,
    // a bounded number of steps between two looks at the established connections.
    void queueHandshake(Conn& c) {
        if (c.queued)
            return;
        c.queued = true;
        watch(c, 0);
        std::deque<uint64_t>& q = waitingHandshakes[c.key];
        if (q.empty())
            handshakeTurns.push_back(c.key);
        q.push_back(c.id);
    }

    void handshakes() {
        for (size_t steps = 0; steps < kHandshakesPerTurn && !handshakeTurns.empty();) {
            const std::string key = std::move(handshakeTurns.front());
            handshakeTurns.pop_front();
            const auto it = waitingHandshakes.find(key);
            if (it == waitingHandshakes.end())
                continue;
            const uint64_t id = it->second.front();
            it->second.pop_front();
            if (it->second.empty())
                waitingHandshakes.erase(it);
            else
                handshakeTurns.push_back(key);
            Conn* c = find(id);
            if (!c || c->phase != Phase::Handshake)
                continue;
            c->queued = false;
            ++steps;
            handshake(*c);
        }
    }

    void drop(uint64_t id) {
        const auto it = conns.find(id);
        if (it == conns.end())
            return;
        Conn& c = *it->second;
        ::epoll_ctl(epoll, EPOLL_CTL_DEL, c.fd, nullptr);
        SSL_free(c.ssl);
        ::close(c.fd);
        server.m_budget->release(c.ticket);
        conns.erase(it);
    }

    // Ends a connection whose client stopped taking its answer with a reset: a plain close would leave
    // the unsent rest in the system's buffers, and the client none the wiser, until it read all it holds.
    void reset(uint64_t id) {
        if (Conn* c = find(id)) {
            const ::linger now{1, 0};
            ::setsockopt(c->fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        }
        drop(id);
    }

    void watch(Conn& c, uint32_t events) {
        if (c.events == events)
            return;
        epoll_event ev{};
        ev.events = events;
        ev.data.u64 = c.id;
        ::epoll_ctl(epoll, EPOLL_CTL_MOD, c.fd, &ev);
        c.events = events;
    }

    void setDeadline(Conn& c, Clock::time_point t) {
        c.deadline = t;
        nextDue = std::min(nextDue, t);
    }

    // Whether the last TLS call of `c` failed only for want of the socket; waits for that if so.
    bool wouldBlock(Conn& c, int result, uint32_t alsoWatch) {
        switch (SSL_get_error(c.ssl, result)) {
        case SSL_ERROR_WANT_READ:
            watch(c, EPOLLIN | alsoWatch);
            return true;
        case SSL_ERROR_WANT_WRITE:
            watch(c, EPOLLOUT | alsoWatch);
            return true;
        default:
            return false;
        }
    }

    void step(Conn& c) {
        switch (c.phase) {
        case Phase::Handshake:
            return handshake(c);
        case Phase::Reading:
        case Phase::Idle:
            if (c.pending() && !flush(c))
                return;
            return read(c);
        case Phase::Writing:
            flush(c);
            return;
        case Phase::Lingering:
            linger(c);
            return;
        case Phase::Waiting:
            return;
        }
    }

    void handshake(Conn& c) {
        ERR_clear_error();
        const int r = SSL_accept(c.ssl);
        if (r == 1) {
            // The first request's deadline runs from the connection's start.
            c.phase = Phase::Reading;
            watch(c, EPOLLIN);
            return read(c);
        }
        if (!wouldBlock(c, r, 0))
            drop(c.id);
    }

    void read(Conn& c) {
        if (c.phase == Phase::Idle && !c.in.empty()) {
            c.phase = Phase::Reading;
            setDeadline(c, Clock::now() + server.m_limits.requestDeadline);
        }
        if (!c.in.empty() && !take(c))
            return;
        char buf[16 * 1024];
        for (size_t budget = kTurnBytes; budget > 0;) {
            ERR_clear_error();
            const int n = SSL_read(c.ssl, buf, sizeof buf);
            if (n <= 0) {
                if (!wouldBlock(c, n, c.outPos < c.out.size() ? uint32_t(EPOLLOUT) : 0u))
                    drop(c.id);
                return;
            }
            budget -= std::min(budget, size_t(n));
            if (c.phase == Phase::Idle) {
                c.phase = Phase::Reading;
                setDeadline(c, Clock::now() + server.m_limits.requestDeadline);
            }
            c.in.append(buf, size_t(n));
            if (!take(c))
                return;
        }
        again.push_back(c.id);
    }

    // Hands what arrived to the request; false once the connection is no longer reading.
    bool take(Conn& c) {
        const size_t used = c.reader.feed(c.in.data(), c.in.size());
        c.in.erase(0, used);
        const RequestReader::State state = c.reader.state();
        if (!c.headChecked && (state == RequestReader::State::Body || state == RequestReader::State::Done)) {
            c.headChecked = true;
            // An HTTP/1.1 request names exactly one host; two would be two readings of whom it is for.
            const RequestHead& head = c.reader.head();
            const auto hosts = std::count_if(head.fields.begin(), head.fields.end(),
                                             [](const auto& field) { return field.first == "host"; });
            if (hosts > 1 || (hosts == 0 && head.version == "HTTP/1.1")) {
                refuse(c, 400);
                return false;
            }
        }
        switch (state) {
        case RequestReader::State::Failed:
            refuse(c, c.reader.failure());
            return false;
        case RequestReader::State::Done:
            dispatch(c);
            return false;
        default:
            break;
        }
        if (c.reader.expectsContinue() && !c.continued) {
            c.continued = true;
            c.out += "HTTP/1.1 100 Continue\r\n\r\n";
            return flush(c);
        }
        return true;
    }

    void refuse(Conn& c, int status) {
        if (server.m_refusalLog)
            server.m_refusalLog(c.reader.head(), status);
        c.in.clear();
        c.out = answer(status, "text/plain", std::to_string(status) + "\n", true);
        c.outPos = 0;
        c.closeAfter = true;
        startWriting(c);
        flush(c);
    }

    // How long a client may take nothing of a short answer. A download is held to its rate instead:
    // the system wakes a writer only once much of a full send buffer has gone, so a client that reads
    // steadily may leave the writer waiting far longer than this.
    Clock::time_point writeDueFrom(const Conn& c, Clock::time_point now) const {
        return c.file ? Clock::time_point::max() : now + server.m_limits.writeTimeout;
    }

    // What the client's side has acknowledged of the bytes sent: all written to the socket less what
    // still waits in its send queue.
    static uint64_t taken(const Conn& c) {
        int queued = 0;
        if (::ioctl(c.fd, SIOCOUTQ, &queued) != 0)
            queued = 0;
        const uint64_t written = BIO_number_written(SSL_get_wbio(c.ssl));
        return written - std::min<uint64_t>(written, uint64_t(std::max(queued, 0)));
    }

    void startWriting(Conn& c) {
        const Clock::time_point now = Clock::now();
        c.phase = Phase::Writing;
        c.writeDue = writeDueFrom(c, now);
        c.rateDue = Clock::time_point::max();
        c.behind = false;
        setDeadline(c, c.writeDue);
    }

    void wrote(Conn& c) {
        if (c.phase != Phase::Writing)
            return;
        c.writeDue = writeDueFrom(c, Clock::now());
        setDeadline(c, std::min(c.writeDue, c.rateDue));
    }

    void dispatch(Conn& c) {
        c.phase = Phase::Waiting;
        c.deadline = Clock::time_point::max();
        watch(c, 0);
        if (c.served++ == 0)
            server.m_budget->proven(c.ticket);
        Request request{c.reader.head(), c.reader.body()};
        c.reader.reset();
        c.continued = false;
        c.headChecked = false;
        const bool close =
            request.head.wantsClose() || c.served >= server.keep_alive_max_count_ || server.m_stopping;
        c.closeAfter = close;
        const std::shared_ptr<Mailbox> box = mail;
        const uint64_t id = c.id;
        const size_t nth = c.served;
        const Reply reply = [box, id, nth, close](int status, const std::string& type,
                                                  const std::string& body) {
            box->post(Delivery{id, nth, answer(status, type, body, close), close, nullptr});
        };
        if (server.m_taker && server.m_taker(request, reply))
            return;
        // Downloads: the file is opened on a worker (the disk may be slow), and its bytes are sent by the
        // loop piece by piece.
        if (!server.m_filePrefix.empty() && (request.head.method == "GET" || request.head.method == "HEAD") &&
            FileStreamer::decoded(request.head.path()).rfind(server.m_filePrefix + "/", 0) == 0) {
            server.m_workers->push([&server = server, box, id, nth, close, head = std::move(request.head)] {
                FileStreamer::Answer a =
                    FileStreamer::answer(head, server.m_filePrefix, server.m_fileFolder, close);
                if (server.m_fileLog)
                    server.m_fileLog(head, a.path, a.status, a.bytes);
                box->post(Delivery{id, nth, std::move(a.head), close, std::move(a.body)});
            });
            return;
        }
        server.m_workers->push(
            [&server = server, box, id, nth, close, request = std::move(request), ip = c.ip, port = c.port] {
                bool closed = close;
                std::string bytes = server.route(forwardedHead(request.head, request.body.size()),
                                                 request.body, ip, port, &closed);
                box->post(Delivery{id, nth, std::move(bytes), closed, nullptr});
            });
    }

    void deliver() {
        std::vector<uint64_t> sheds;
        for (Delivery& d : mail->take(&sheds)) {
            Conn* c = find(d.id);
            // An answer for a connection gone, or a second one for a request already answered.
            if (!c || c->phase != Phase::Waiting || c->served != d.request)
                continue;
            c->out = std::move(d.bytes);
            c->outPos = 0;
            c->file = std::move(d.file);
            c->closeAfter = c->closeAfter || d.close;
            startWriting(*c);
            flush(*c);
        }
        // Room for a newcomer: a connection that has still not completed a request.
        for (const uint64_t id : sheds)
            if (Conn* c = find(id);
                c && c->served == 0 && (c->phase == Phase::Handshake || c->phase == Phase::Reading))
                drop(id);
    }

    // Writes what is pending, the answer's head and then its file piece by piece; false when the
    // connection was dropped.
    bool flush(Conn& c) {
        for (size_t budget = kTurnBytes;;) {
            const char* from = nullptr;
            size_t size = 0;
            if (c.outPos < c.out.size()) {
                from = c.out.data() + c.outPos;
                size = c.out.size() - c.outPos;
            } else if (c.piecePos < c.pieceLength) {
                from = c.piece.get() + c.piecePos;
                size = c.pieceLength - c.piecePos;
            } else if (c.file && c.file->left() > 0) {
                if (!c.piece)
                    c.piece = std::make_unique<char[]>(kPieceBytes);
                const long n = c.file->next(c.piece.get(), kPieceBytes);
                if (n < 0) {
                    // The file shrank or failed under us: the announced length can no longer be met.
                    drop(c.id);
                    return false;
                }
                c.pieceLength = size_t(n);
                c.piecePos = 0;
                continue;
            } else {
                break;
            }
            if (budget == 0) {
                again.push_back(c.id);
                return true;
            }
            ERR_clear_error();
            const int n = SSL_write(c.ssl, from, int(std::min(size, budget)));
            if (n <= 0) {
                if (!wouldBlock(c, n, c.phase == Phase::Writing ? 0u : uint32_t(EPOLLIN))) {
                    drop(c.id);
                    return false;
                }
                if (c.phase == Phase::Writing && !c.behind) {
                    c.behind = true;
                    c.takenAtLook = taken(c);
                    c.rateDue = Clock::now() + server.m_limits.rateWindow;
                    setDeadline(c, std::min(c.writeDue, c.rateDue));
                }
                return true;
            }
            (c.outPos < c.out.size() ? c.outPos : c.piecePos) += size_t(n);
            budget -= std::min(budget, size_t(n));
            wrote(c);
        }
        c.out.clear();
        c.outPos = 0;
        c.file.reset();
        c.piece.reset();
        c.pieceLength = c.piecePos = 0;
        if (c.phase == Phase::Writing)
            return finish(c);
        watch(c, EPOLLIN);
        return true;
    }

    bool finish(Conn& c) {
        if (c.closeAfter || server.m_stopping) {
            SSL_shutdown(c.ssl); // a courtesy; a client that does not read it is not waited for
            ::shutdown(c.fd, SHUT_WR);
            c.phase = Phase::Lingering;
            c.lingered = 0;
            setDeadline(c, Clock::now() + kLinger);
            watch(c, EPOLLIN);
            return linger(c);
        }
        c.phase = Phase::Idle;
        setDeadline(c, Clock::now() + server.m_limits.idleTimeout);
        watch(c, EPOLLIN);
        // A pipelined request may already be here, in our buffer or in the TLS layer's.
        if (!c.in.empty() || SSL_pending(c.ssl) > 0)
            again.push_back(c.id);
        return true;
    }

    bool linger(Conn& c) {
        char buf[16 * 1024];
        for (int i = 0; i < 4; ++i) {
            const ssize_t n = ::read(c.fd, buf, sizeof buf);
            if (n > 0) {
                if ((c.lingered += size_t(n)) <= kLingerBytes)
                    continue;
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                return true;
            }
            drop(c.id);
            return false;
        }
        return true;
    }

    void sweep() {
        const Clock::time_point now = Clock::now();
        nextDue = Clock::time_point::max();
        std::vector<uint64_t> expired;
        for (const auto& [id, c] : conns) {
            if (c->deadline <= now)
                expired.push_back(id);
            else
                nextDue = std::min(nextDue, c->deadline);
        }
        for (const uint64_t id : expired) {
            Conn* c = find(id);
            if (c && c->phase == Phase::Reading && c->reader.started()) {
                refuse(*c, 408);
            } else if (c && c->phase == Phase::Writing && now < c->writeDue) {
                // The window's look at the rate: a client that takes an answer too slowly holds a
                // connection (and a file) for ever.
                const auto window =
                    std::chrono::duration_cast<std::chrono::milliseconds>(server.m_limits.rateWindow);
                const uint64_t takenNow = taken(*c);
                if ((takenNow - c->takenAtLook) * 1000 <
                    server.m_limits.minReadRate * uint64_t(window.count())) {
                    reset(id);
                    continue;
                }
                c->takenAtLook = takenNow;
                c->rateDue = now + server.m_limits.rateWindow;
                setDeadline(*c, std::min(c->writeDue, c->rateDue));
            } else if (c && c->phase == Phase::Writing) {
                reset(id);
            } else if (c) {
                drop(id);
            }
        }
    }

    GuardedServer& server;
    const size_t index;
    const int epoll;
    const std::shared_ptr<Mailbox> mail = std::make_shared<Mailbox>();
    std::unordered_map<uint64_t, std::unique_ptr<Conn>> conns;
    std::vector<uint64_t> again;
    std::unordered_map<std::string, std::deque<uint64_t>> waitingHandshakes;
    std::deque<std::string> handshakeTurns; // each address with a handshake waiting, once
    uint64_t nextId = kMailId + 1;
    Clock::time_point nextDue = Clock::time_point::max();
    bool draining = false;
    Clock::time_point drainEnd;
};

GuardedServer::GuardedServer(const char* certFile, const char* keyFile, Limits limits)
    : httplib::SSLServer(certFile, keyFile)
    , m_limits(limits) {
    // Each connection takes a descriptor: stay clear of the process's limit.
    size_t most = m_limits.maxConnections;
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
        most = std::min<size_t>(most, files.rlim_cur > 128 ? files.rlim_cur - 64 : 64);
    m_budget = std::make_unique<ConnectionBudget>(
        ConnectionBudget::Limits{m_limits.perAddress, m_limits.perIpv6Slash56, most, 80});
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

std::string GuardedServer::answer(int status, const std::string& contentType, const std::string& body,
                                  bool close) {
    return "HTTP/1.1 " + std::to_string(status) + ' ' + reasonPhrase(status) +
           "\r\nContent-Type: " + contentType + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: " + (close ? "close" : "keep-alive") + "\r\n\r\n" + body;
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
        ipText(bound, &boundPort);
    return boundPort;
}

void GuardedServer::serve() {
    if (m_listen < 0)
        return;
    m_workers = std::make_unique<Workers>(m_limits.workers);
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
