// One of the server's event loops. It owns its connections outright: only its thread touches them, from
// the TLS handshake through reading the request, waiting for its answer, writing it (a download piece by
// piece as the client takes it) and lingering after the last. Answers made elsewhere come back through
// its mailbox by connection id, so an answer for a connection that has gone meanwhile is simply dropped.
#pragma once

#include "GuardedServer.h"
#include "LoopMailbox.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <sys/socket.h>

// The address of `a` as text, and its port.
std::string addressText(const sockaddr_storage& a, int* port);

struct GuardedServer::Loop {
    using Clock = std::chrono::steady_clock;
    struct Conn;

    Loop(GuardedServer& owner, size_t number);
    ~Loop();
    Loop(const Loop&) = delete;
    Loop& operator=(const Loop&) = delete;

    void watchListener(int fd);
    // Serves until the server stops and what was under way is answered (or its time is up).
    void run();

    GuardedServer& server;
    const size_t index;
    const int epoll;
    const std::shared_ptr<LoopMailbox> mail = std::make_shared<LoopMailbox>();

private:
    Conn* find(uint64_t id);
    void beginDrain();
    void accept();
    void queueHandshake(Conn& c);
    void handshakes();
    void drop(uint64_t id);
    void reset(uint64_t id);
    void watch(Conn& c, uint32_t events);
    void setDeadline(Conn& c, Clock::time_point t);
    bool wouldBlock(Conn& c, int result, uint32_t alsoWatch);
    void step(Conn& c);
    void handshake(Conn& c);
    void read(Conn& c);
    bool take(Conn& c);
    void refuse(Conn& c, int status);
    Clock::time_point writeDueFrom(const Conn& c, Clock::time_point now) const;
    void startWriting(Conn& c);
    void wrote(Conn& c);
    void dispatch(Conn& c);
    void deliver();
    bool flush(Conn& c);
    bool finish(Conn& c);
    bool linger(Conn& c);
    void sweep();

    std::unordered_map<uint64_t, std::unique_ptr<Conn>> conns;
    std::vector<uint64_t> again;
    std::unordered_map<std::string, std::deque<uint64_t>> waitingHandshakes;
    std::deque<std::string> handshakeTurns; // each address with a handshake waiting, once
    uint64_t nextId;
    Clock::time_point nextDue = Clock::time_point::max();
    bool draining = false;
    Clock::time_point drainEnd;
};
