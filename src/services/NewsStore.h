// The two files of a news service ("<prefixo>-feeds.json", "<prefixo>-items.json"), encoded and written
// on a worker thread so that neither the encoding nor the disk sync lands on the main thread. Writes
// happen in the order they were asked for; a snapshot still waiting is replaced by a newer one.
#pragma once

#include "model/Feed.h"
#include "model/NewsItem.h"

#include <QList>
#include <QString>

#include <memory>

class NewsStore {
public:
    NewsStore(QString feedsPath, QString itemsPath);
    // Writes what is still queued and waits for it.
    ~NewsStore();
    NewsStore(const NewsStore&) = delete;
    NewsStore& operator=(const NewsStore&) = delete;

    // The stored lists; an unreadable file is set aside and reads as empty. Waits first for writes still
    // running from any news store, so that a service opened after another reads what it last saved.
    QList<Feed> loadFeeds() const;
    QList<NewsItem> loadItems() const;

    // Queues both lists and returns at once.
    void save(QList<Feed> feeds, QList<NewsItem> items);
    // Blocks until nothing of this store is queued or being written.
    void waitForIdle();

private:
    struct State;
    std::shared_ptr<State> m_state;
};
