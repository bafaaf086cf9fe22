// The event loop's work on its connections; see ServerLoop.h.
#include "ServerLoop.h"

#include "HttpAnswer.h"
#include "LibraryRequest.h"
#include "RouteWorkers.h"
#include "TlsConnection.h"

#include <algorithm>
#include <climits>
#include <optional>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
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

enum class Phase { Handshake, Reading, Idle, Waiting, Writing, Lingering };

} // namespace

struct GuardedServer::Loop::Conn {
    Conn(SSL_CTX* context, uint64_t connId, int socket, std::string addressKey, uint64_t budgetTicket,
         const RequestReader::Limits& limits, RequestReader::BodyLimit bodyLimit)
        : id(connId)
        , tls(context, socket)
        , key(std::move(addressKey))
        , ticket(budgetTicket)
        , reader(limits, std::move(bodyLimit)) {}

    const uint64_t id;
    TlsConnection tls;
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

std::string addressText(const sockaddr_storage& a, int* port) {
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

GuardedServer::Loop::Loop(GuardedServer& owner, size_t number)
    : server(owner)
    , index(number)
    , epoll(::epoll_create1(EPOLL_CLOEXEC))
    , nextId(kMailId + 1) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kMailId;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, mail->fd(), &ev);
}

GuardedServer::Loop::~Loop() {
    mail->shut();
    while (!conns.empty())
        drop(conns.begin()->first);
    ::close(epoll);
}

void GuardedServer::Loop::watchListener(int fd) {
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLEXCLUSIVE;
    ev.data.u64 = kListenId;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev);
}

void GuardedServer::Loop::run() {
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

GuardedServer::Loop::Conn* GuardedServer::Loop::find(uint64_t id) {
    const auto it = conns.find(id);
    return it == conns.end() ? nullptr : it->second.get();
}

void GuardedServer::Loop::beginDrain() {
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

void GuardedServer::Loop::accept() {
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
        auto c = std::make_unique<Conn>(server.ssl_context(), id, fd, std::move(keys.address), ticket,
                                        RequestReader::Limits{server.m_limits.headBytes,
                                                              server.m_limits.headFields,
                                                              server.m_limits.lineBytes},
                                        server.m_bodyLimit);
        if (!c->tls.valid()) {
            c.reset(); // closes the socket
            server.m_budget->release(ticket);
            continue;
        }
        c->ip = addressText(peer, &c->port);
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = id;
        if (::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev) != 0) {
            c.reset();
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
void GuardedServer::Loop::queueHandshake(Conn& c) {
    if (c.queued)
        return;
    c.queued = true;
    watch(c, 0);
    std::deque<uint64_t>& q = waitingHandshakes[c.key];
    if (q.empty())
        handshakeTurns.push_back(c.key);
    q.push_back(c.id);
}

void GuardedServer::Loop::handshakes() {
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

void GuardedServer::Loop::drop(uint64_t id) {
    const auto it = conns.find(id);
    if (it == conns.end())
        return;
    Conn& c = *it->second;
    ::epoll_ctl(epoll, EPOLL_CTL_DEL, c.tls.fd(), nullptr);
    const uint64_t ticket = c.ticket;
    conns.erase(it); // frees the session and closes the socket
    server.m_budget->release(ticket);
}

// Ends a connection whose client stopped taking its answer with a reset: a plain close would leave
// the unsent rest in the system's buffers, and the client none the wiser, until it read all it holds.
void GuardedServer::Loop::reset(uint64_t id) {
    if (Conn* c = find(id))
        c->tls.resetOnClose();
    drop(id);
}

void GuardedServer::Loop::watch(Conn& c, uint32_t events) {
    if (c.events == events)
        return;
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = c.id;
    ::epoll_ctl(epoll, EPOLL_CTL_MOD, c.tls.fd(), &ev);
    c.events = events;
}

void GuardedServer::Loop::setDeadline(Conn& c, Clock::time_point t) {
    c.deadline = t;
    nextDue = std::min(nextDue, t);
}

// Whether the last TLS call of `c` failed only for want of the socket; waits for that if so.
bool GuardedServer::Loop::wouldBlock(Conn& c, int result, uint32_t alsoWatch) {
    switch (c.tls.wait(result)) {
    case TlsConnection::Wait::readable:
        watch(c, EPOLLIN | alsoWatch);
        return true;
    case TlsConnection::Wait::writable:
        watch(c, EPOLLOUT | alsoWatch);
        return true;
    case TlsConnection::Wait::failed:
        break;
    }
    return false;
}

void GuardedServer::Loop::step(Conn& c) {
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

void GuardedServer::Loop::handshake(Conn& c) {
    const int r = c.tls.handshake();
    if (r == 1) {
        // The first request's deadline runs from the connection's start.
        c.phase = Phase::Reading;
        watch(c, EPOLLIN);
        return read(c);
    }
    if (!wouldBlock(c, r, 0))
        drop(c.id);
}

void GuardedServer::Loop::read(Conn& c) {
    if (c.phase == Phase::Idle && !c.in.empty()) {
        c.phase = Phase::Reading;
        setDeadline(c, Clock::now() + server.m_limits.requestDeadline);
    }
    if (!c.in.empty() && !take(c))
        return;
    char buf[16 * 1024];
    for (size_t budget = kTurnBytes; budget > 0;) {
        const int n = c.tls.read(buf, int(sizeof buf));
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
bool GuardedServer::Loop::take(Conn& c) {
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

void GuardedServer::Loop::refuse(Conn& c, int status) {
    if (server.m_refusalLog)
        server.m_refusalLog(c.reader.head(), status);
    c.in.clear();
    c.out = HttpAnswer::whole(status, "text/plain", std::to_string(status) + "\n", true);
    c.outPos = 0;
    c.closeAfter = true;
    startWriting(c);
    flush(c);
}

// How long a client may take nothing of a short answer. A download is held to its rate instead:
// the system wakes a writer only once much of a full send buffer has gone, so a client that reads
// steadily may leave the writer waiting far longer than this.
GuardedServer::Loop::Clock::time_point GuardedServer::Loop::writeDueFrom(const Conn& c,
                                                                         Clock::time_point now) const {
    return c.file ? Clock::time_point::max() : now + server.m_limits.writeTimeout;
}

void GuardedServer::Loop::startWriting(Conn& c) {
    const Clock::time_point now = Clock::now();
    c.phase = Phase::Writing;
    c.writeDue = writeDueFrom(c, now);
    c.rateDue = Clock::time_point::max();
    c.behind = false;
    setDeadline(c, c.writeDue);
}

void GuardedServer::Loop::wrote(Conn& c) {
    if (c.phase != Phase::Writing)
        return;
    c.writeDue = writeDueFrom(c, Clock::now());
    setDeadline(c, std::min(c.writeDue, c.rateDue));
}

void GuardedServer::Loop::dispatch(Conn& c) {
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
    const std::shared_ptr<LoopMailbox> box = mail;
    const uint64_t id = c.id;
    const size_t nth = c.served;
    const Reply reply = [box, id, nth, close](int status, const std::string& type, const std::string& body) {
        box->post(
            LoopMailbox::Delivery{id, nth, HttpAnswer::whole(status, type, body, close), close, nullptr});
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
            box->post(LoopMailbox::Delivery{id, nth, std::move(a.head), close, std::move(a.body)});
        });
        return;
    }
    server.m_workers->push(
        [&server = server, box, id, nth, close, request = std::move(request), ip = c.ip, port = c.port] {
            bool closed = close;
            std::string bytes = server.route(LibraryRequest::forwardedHead(request.head, request.body.size()),
                                             request.body, ip, port, &closed);
            box->post(LoopMailbox::Delivery{id, nth, std::move(bytes), closed, nullptr});
        });
}

void GuardedServer::Loop::deliver() {
    std::vector<uint64_t> sheds;
    for (LoopMailbox::Delivery& d : mail->take(&sheds)) {
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
bool GuardedServer::Loop::flush(Conn& c) {
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
        const int n = c.tls.write(from, int(std::min(size, budget)));
        if (n <= 0) {
            if (!wouldBlock(c, n, c.phase == Phase::Writing ? 0u : uint32_t(EPOLLIN))) {
                drop(c.id);
                return false;
            }
            if (c.phase == Phase::Writing && !c.behind) {
                c.behind = true;
                c.takenAtLook = c.tls.acknowledged();
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

bool GuardedServer::Loop::finish(Conn& c) {
    if (c.closeAfter || server.m_stopping) {
        c.tls.closeWrite();
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
    if (!c.in.empty() || c.tls.hasPending())
        again.push_back(c.id);
    return true;
}

bool GuardedServer::Loop::linger(Conn& c) {
    char buf[16 * 1024];
    for (int i = 0; i < 4; ++i) {
        const ssize_t n = c.tls.readPlain(buf, sizeof buf);
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

void GuardedServer::Loop::sweep() {
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
            const uint64_t takenNow = c->tls.acknowledged();
            if ((takenNow - c->takenAtLook) * 1000 < server.m_limits.minReadRate * uint64_t(window.count())) {
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
