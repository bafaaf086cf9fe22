// Followed sources and one merged, newest-first, read-tracked list of their entries, kept in
// "<prefixo>-feeds.json" and "<prefixo>-items.json". Requests and parsing run on a network thread of the
// service's own and the stores are written on a writer thread; every published change happens on the
// main thread.
#pragma once

#include "model/Feed.h"
#include "model/NewsItem.h"
#include "services/FeedParser.h"
#include "services/HttpFetch.h"
#include "services/LateLoad.h"
#include "services/NewsError.h"
#include "services/NewsStore.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

class Clock;
class QThread;

class NewsService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasUnread READ hasUnread NOTIFY hasUnreadChanged)
    Q_PROPERTY(bool composing READ composing WRITE setComposing NOTIFY composingChanged)
    Q_PROPERTY(bool adding READ adding NOTIFY addingChanged)
    Q_PROPERTY(bool refreshing READ refreshing NOTIFY refreshingChanged)
    Q_PROPERTY(QString addError READ addError NOTIFY addErrorChanged)
public:
    struct FeedAddress {
        QUrl site; // shown for the source
        QUrl feed; // fetched on every refresh
    };
    template <typename T> using Outcome = std::variant<T, NewsError>;

    // `prefixo` names the service's two files in `folder` ("<prefixo>-feeds.json", "<prefixo>-items.json"),
    // which are written on `writer`; it outlives the service. They are read at once or when loadStore() is
    // called.
    NewsService(Clock& clock, NewsWriter& writer, const QString& folder, QString prefixo,
                QObject* parent = nullptr, StoreLoad load = StoreLoad::atOnce);
    ~NewsService() override;

    // Reads both files on a worker thread and merges what was followed meanwhile into them; does nothing
    // once read or while being read. Until then nothing is saved (so files that have not been read are
    // never replaced), and a refresh asked for waits for the read.
    void loadStore();
    bool isStoreLoaded() const { return m_loaded; }

    static constexpr int kMaxItems = 300;
    static constexpr qint64 kRefreshIntervalMs = 1200 * 1000;

    QString prefixo() const { return m_prefixo; }
    const QList<Feed>& feeds() const { return m_feeds; }
    const QList<NewsItem>& items() const { return m_items; }
    QString addError() const { return m_addError.value_or(QString()); }
    bool hasAddError() const { return m_addError.has_value(); }
    bool adding() const { return m_adding; }
    bool refreshing() const { return m_refreshing; }
    bool hasUnread() const;
    bool composing() const { return m_composing; }
    // The injected clock's wall time, for showing how old an entry is.
    QDateTime now() const;
    void setComposing(bool composing);

    // Follows what the user typed; blank text does nothing. The outcome lands in feeds or addError.
    void addFeed(const QString& text);
    void remove(const Feed& feed);
    // Fetches every source one after another unless there is none, one is already running, or
    // (unforced) the last one started less than 1200 s ago.
    void refresh(bool force);
    void markAllSeen();
    void markSeen(const NewsItem& item);

    // The idle time-out of each request (15 s); tests shorten it.
    void setRequestTimeoutMs(int ms) { m_timeoutMs = ms; }
    // How many times the stores were written; read state is saved only on a real change.
    int saveCount() const { return m_saveCount; }

signals:
    // Sent after any of the published values changed.
    void changed();
    void feedsChanged();
    void itemsChanged();
    void hasUnreadChanged();
    void composingChanged();
    void addingChanged();
    void refreshingChanged();
    void addErrorChanged();
    // The files have been read (or found missing or unreadable) and merged.
    void storeLoaded();

protected:
    // Typed text (trimmed, not empty) to the address shown and the address fetched. Runs `done` later,
    // on the main thread; touches no published state.
    virtual void resolveFeed(const QString& text, std::function<void(Outcome<FeedAddress>)> done);
    // A feed address to the source's current title and entries; entry ids stay stable between fetches.
    virtual void fetchItems(const QUrl& url, std::function<void(Outcome<ParsedFeed>)> done);

    void discoverFeedURL(const QUrl& site, std::function<void(Outcome<QUrl>)> done);
    void fetchText(const QUrl& url, std::function<void(Outcome<QString>)> done);
    void fetchAndParse(const QUrl& url, std::function<void(Outcome<ParsedFeed>)> done);
    // A GET with this service's user agent, time-out and body cap; `done` runs on the main thread while
    // this service lives.
    void get(const QUrl& url, std::function<void(HttpResult)> done, const QByteArray& userAgent = {},
             int timeoutMs = 0);

    Clock& clock() const { return m_clock; }

private:
    void finishAdd(const Outcome<std::pair<FeedAddress, ParsedFeed>>& outcome, const QString& text);
    void addFound(const FeedAddress& address, const QString& title, const QList<RawItem>& raw,
                  const QString& text);
    void refreshStep(QList<Feed> snapshot, int index, std::shared_ptr<QHash<QUuid, QString>> renames,
                     std::shared_ptr<QList<NewsItem>> collected);
    void tryCandidates(const QUrl& site, int index, std::function<void(Outcome<QUrl>)> done);
    HttpFetch::Options options(const QByteArray& userAgent, int timeoutMs) const;
    // Runs the request on the network thread; `digest` turns the answer into work for the main thread
    // there (parsing included), and that work runs while this service lives.
    void request(const QUrl& url, const HttpFetch::Options& options,
                 std::function<std::function<void()>(HttpResult)> digest);
    void merge(const QList<NewsItem>& incoming);
    // `stored` with the entries of `incoming` it lacks, newest first, at most kMaxItems.
    static QList<NewsItem> merged(const QList<NewsItem>& stored, const QList<NewsItem>& incoming);
    void applyStore(QList<Feed> feeds, QList<NewsItem> items, bool late);
    void persist();
    void setItems(QList<NewsItem> items);
    void setFeeds(QList<Feed> feeds);
    void setAdding(bool adding);
    void setRefreshing(bool refreshing);
    void setAddError(std::optional<QString> error);

    Clock& m_clock;
    QString m_prefixo;
    std::unique_ptr<NewsStore> m_store;
    QThread* m_network;
    HttpFetch* m_http; // lives on m_network
    QList<Feed> m_feeds;
    QList<NewsItem> m_items;
    std::optional<QString> m_addError;
    bool m_hasUnread = false;
    bool m_composing = false;
    bool m_adding = false;
    bool m_refreshing = false;
    std::optional<qint64> m_lastRefreshStartMs;
    int m_timeoutMs = 15000;
    int m_saveCount = 0;
    bool m_loaded = false;
    bool m_persistWaitsForLoad = false;
    std::optional<bool> m_refreshWaitsForLoad; // forced or not
    // Declared after the store it reads, so that it ends (waiting for its read) first.
    LateLoad<std::pair<QList<Feed>, QList<NewsItem>>> m_load;
};
