// A store read after the island is up: when its service reads it, and the read itself on a thread of the
// service's own, so that a large store is decoded neither before the first frame nor on the main thread.
#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

// How a service reads its store: in its constructor, or only once asked to (see LateLoad).
enum class StoreLoad { atOnce, later };

// One read of a store on a worker thread. The value waits in a slot until its owner takes it on its own
// thread: when told it is there, or at once when the owner must have it now (its end, say), waiting for
// the worker if need be. Either way it is taken once.
template <typename T> class LateLoad {
public:
    LateLoad() {
        m_pool.setMaxThreadCount(1);
        m_pool.setExpiryTimeout(0); // the thread ends with its read
    }
    ~LateLoad() { m_pool.waitForDone(); }
    LateLoad(const LateLoad&) = delete;
    LateLoad& operator=(const LateLoad&) = delete;

    bool started() const { return m_started; }

    // Runs `read` on the worker, then `ready` on the main thread, unless `owner` has gone by then.
    void start(std::function<T()> read, QObject* owner, std::function<void()> ready) {
        if (m_started)
            return;
        m_started = true;
        m_pool.start([slot = m_slot, read = std::move(read), owner = QPointer<QObject>(owner),
                      ready = std::move(ready)]() mutable {
            T value = read();
            {
                std::lock_guard lock(slot->mutex);
                slot->value.emplace(std::move(value));
            }
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [owner, ready = std::move(ready)] {
                    if (owner)
                        ready();
                },
                Qt::QueuedConnection);
        });
    }

    // The value read, once; nothing before it is there (or after it was taken). With `wait`, waits for a
    // read under way first.
    std::optional<T> take(bool wait = false) {
        if (wait)
            m_pool.waitForDone();
        std::lock_guard lock(m_slot->mutex);
        return std::exchange(m_slot->value, std::nullopt);
    }

private:
    struct Slot {
        std::mutex mutex;
        std::optional<T> value;
    };
    std::shared_ptr<Slot> m_slot = std::make_shared<Slot>();
    bool m_started = false;
    QThreadPool m_pool;
};
