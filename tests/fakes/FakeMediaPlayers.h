// Players a test sets up: their names, their states, the commands they received.
#pragma once

#include "platform/MediaPlayers.h"

#include <QMutex>
#include <QSemaphore>

#include <atomic>

class FakeMediaPlayers final : public MediaPlayers {
public:
    QList<MediaPlayerInfo> players() override {
        if (m_gated)
            m_gate.acquire();
        m_reads.fetchAndAddOrdered(1);
        QMutexLocker lock(&m_mutex);
        return m_players;
    }
    std::optional<MediaPlayerState> state(const QString& busName) override {
        QMutexLocker lock(&m_mutex);
        return m_states.value(busName);
    }
    bool send(const QString& busName, Command command) override {
        QMutexLocker lock(&m_mutex);
        m_sent.append({busName, command});
        return m_accept;
    }
    void setChangeHandler(std::function<void()> handler) override { m_handler = std::move(handler); }

    // Adds a player, or replaces its state when it is present. A null state: it does not answer.
    void set(const MediaPlayerInfo& info, std::optional<MediaPlayerState> state) {
        QMutexLocker lock(&m_mutex);
        bool found = false;
        for (MediaPlayerInfo& p : m_players)
            if (p.busName == info.busName) {
                p = info;
                found = true;
            }
        if (!found)
            m_players.append(info);
        m_states.insert(info.busName, state);
    }
    void remove(const QString& busName) {
        QMutexLocker lock(&m_mutex);
        m_players.removeIf([&](const MediaPlayerInfo& p) { return p.busName == busName; });
        m_states.remove(busName);
    }
    void setAccept(bool accept) {
        QMutexLocker lock(&m_mutex);
        m_accept = accept;
    }
    QList<std::pair<QString, Command>> sent() const {
        QMutexLocker lock(&m_mutex);
        return m_sent;
    }
    int reads() const { return m_reads.loadAcquire(); }
    // While gated, every listing waits for one release(); for tests of reads that overlap.
    void setGated(bool gated) { m_gated = gated; }
    void release(int n = 1) { m_gate.release(n); }
    // A player reporting a change, as the bus would on the main thread.
    void notifyChange() {
        if (m_handler)
            m_handler();
    }
    bool hasHandler() const { return bool(m_handler); }

private:
    mutable QMutex m_mutex;
    QList<MediaPlayerInfo> m_players;
    QHash<QString, std::optional<MediaPlayerState>> m_states;
    QList<std::pair<QString, Command>> m_sent;
    bool m_accept = true;
    std::atomic<bool> m_gated{false};
    QSemaphore m_gate;
    QAtomicInt m_reads;
    std::function<void()> m_handler;
};
