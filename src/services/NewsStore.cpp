// News stores write on the one thread of their writer, so writes to the same files from two services (a
// service and its successor) keep their order. Each store keeps at most one snapshot waiting.
#include "services/NewsStore.h"

#include "services/AppPaths.h"
#include "services/Log.h"

#include <QThreadPool>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>

namespace {

void write(const QByteArray& bytes, const QString& path) {
    QString error;
    // A failed write leaves the previous file; the lists in memory stay as they are.
    if (!AppPaths::writePrivate(bytes, path, &error))
        Log::line(QStringLiteral("news: could not write %1: %2").arg(path, error));
}

} // namespace

struct NewsStore::State {
    QString feedsPath;
    QString itemsPath;
    std::mutex mutex;
    std::condition_variable idle;
    std::optional<std::pair<QList<Feed>, QList<NewsItem>>> queued;
    bool running = false;
    // Cleared by a load that found the file unable to take saves (already logged): not tried again.
    std::atomic<bool> feedsSaved{true};
    std::atomic<bool> itemsSaved{true};

    void drain() {
        std::unique_lock lock(mutex);
        while (queued) {
            const auto [feeds, items] = std::move(*queued);
            queued.reset();
            lock.unlock();
            if (feedsSaved)
                write(Feeds::encode(feeds), feedsPath);
            if (itemsSaved)
                write(NewsItems::encode(items), itemsPath);
            lock.lock();
        }
        running = false;
        idle.notify_all();
    }
};

NewsWriter::NewsWriter() {
    m_pool.setMaxThreadCount(1);
    // The thread goes away after a quiet spell, so an idle program holds no extra thread.
    m_pool.setExpiryTimeout(5000);
}

NewsWriter::~NewsWriter() {
    m_pool.waitForDone();
}

NewsStore::NewsStore(NewsWriter& writer, QString feedsPath, QString itemsPath)
    : m_writer(writer.m_pool)
    , m_state(std::make_shared<State>()) {
    m_state->feedsPath = std::move(feedsPath);
    m_state->itemsPath = std::move(itemsPath);
}

NewsStore::~NewsStore() {
    waitForIdle();
}

QList<Feed> NewsStore::loadFeeds() const {
    m_writer.waitForDone();
    bool saves = true;
    auto feeds = AppPaths::loadStore(m_state->feedsPath, Feeds::decode, &saves).value_or(QList<Feed>());
    m_state->feedsSaved = saves;
    return feeds;
}

QList<NewsItem> NewsStore::loadItems() const {
    m_writer.waitForDone();
    bool saves = true;
    auto items =
        AppPaths::loadStore(m_state->itemsPath, NewsItems::decode, &saves).value_or(QList<NewsItem>());
    m_state->itemsSaved = saves;
    return items;
}

void NewsStore::save(QList<Feed> feeds, QList<NewsItem> items) {
    std::lock_guard lock(m_state->mutex);
    m_state->queued.emplace(std::move(feeds), std::move(items));
    if (m_state->running)
        return; // the running drain picks it up when its write ends
    m_state->running = true;
    m_writer.start([state = m_state] { state->drain(); });
}

void NewsStore::waitForIdle() {
    std::unique_lock lock(m_state->mutex);
    m_state->idle.wait(lock, [this] { return !m_state->running && !m_state->queued; });
}
