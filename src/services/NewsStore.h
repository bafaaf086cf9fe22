// The two files of a news service ("<prefixo>-feeds.json", "<prefixo>-items.json"), encoded and written
// on a worker thread so that neither the encoding nor the disk sync lands on the main thread. Writes
// happen in the order they were asked for; a snapshot still waiting is replaced by a newer one.
#pragma once

#include "model/Feed.h"
#include "model/NewsItem.h"

#include <QList>
#include <QString>
#include <QThreadPool>

#include <memory>

// The one worker thread that news stores write on. Stores made with the same writer keep the order of
// their writes, also to the same files from two stores (a service and its successor). It outlives every
// store made with it; its end waits for the writes still running.
class NewsWriter {
public:
    NewsWriter();
    ~NewsWriter();
    Q_DISABLE_COPY_MOVE(NewsWriter)

private:
    friend class NewsStore;
    QThreadPool m_pool;
};

class NewsStore {
public:
    NewsStore(NewsWriter& writer, QString feedsPath, QString itemsPath);
    // Writes what is still queued and waits for it.
    ~NewsStore();
    NewsStore(const NewsStore&) = delete;
    NewsStore& operator=(const NewsStore&) = delete;

    // The stored lists; an unreadable file is set aside and reads as empty. Waits first for writes still
    // running from any store of the same writer, so that a service opened after another reads what it
    // last saved.
    QList<Feed> loadFeeds() const;
    QList<NewsItem> loadItems() const;

    // Queues both lists and returns at once.
    void save(QList<Feed> feeds, QList<NewsItem> items);
    // Blocks until nothing of this store is queued or being written.
    void waitForIdle();

private:
    struct State;
    QThreadPool& m_writer;
    std::shared_ptr<State> m_state;
};
