// Follow, discovery, sequential refresh, merge and read state. Network callbacks arrive on the main
// thread; a QPointer keeps a late answer from touching a service that is gone.
#include "services/NewsService.h"

#include "platform/Clock.h"
#include "platform/FreeMemory.h"
#include "platform/LogCategories.h"
#include "services/AppPaths.h"
#include "services/FeedLinks.h"
#include "services/Published.h"

#include <QDir>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QThread>
#include <QUtf8StringView>

#include <algorithm>
#include <iterator>
#include <memory>

namespace {

const QByteArray kUserAgent = "Quillbay/1.0 (+https://quillbay.app)";

NewsItem toNewsItem(const RawItem& raw, const QUuid& feedID, const QString& feedTitle, bool seen) {
    return NewsItem{raw.summary, raw.id, feedID, feedTitle, raw.title, raw.link, raw.published, seen};
}

} // namespace

NewsService::NewsService(Clock& clock, NewsWriter& writer, const QString& folder, QString prefixo,
                         QObject* parent, StoreLoad load)
    : QObject(parent)
    , m_clock(clock)
    , m_prefixo(std::move(prefixo))
    , m_network(new QThread(this))
    , m_http(new HttpFetch) {
    m_network->setObjectName(QStringLiteral("news network"));
    m_http->moveToThread(m_network);
    connect(m_network, &QThread::finished, m_http, &QObject::deleteLater);
    // The thread starts with the first request: a service that never fetches (no sources followed) keeps
    // no thread, stack and heap arena of its own.
    const QDir support(folder);
    m_store = std::make_unique<NewsStore>(writer, support.filePath(m_prefixo + QStringLiteral("-feeds.json")),
                                          support.filePath(m_prefixo + QStringLiteral("-items.json")));
    if (load == StoreLoad::atOnce) {
        m_feeds = m_store->loadFeeds();
        m_items = m_store->loadItems();
        m_hasUnread = hasUnread();
        m_loaded = true;
    }
}

NewsService::~NewsService() {
    // Stopped first, so nothing on the network thread posts to this service once it starts to go.
    m_network->quit();
    m_network->wait();
    if (!m_network->isFinished()) // never started: nothing ran on it, nor will
        delete m_http;
    // A source followed before the files were read is saved together with them, never over them.
    if (!m_loaded && m_load.started())
        if (auto stored = m_load.take(true))
            applyStore(std::move(stored->first), std::move(stored->second), false);
}

void NewsService::loadStore() {
    if (m_loaded)
        return;
    m_load.start([store = m_store.get()] { return std::pair(store->loadFeeds(), store->loadItems()); }, this,
                 [this] {
                     if (auto stored = m_load.take())
                         applyStore(std::move(stored->first), std::move(stored->second), true);
                 });
}

void NewsService::applyStore(QList<Feed> feeds, QList<NewsItem> items, bool late) {
    m_loaded = true;
    // Sources followed meanwhile come after the stored ones; one followed twice is the stored one.
    for (const Feed& added : std::as_const(m_feeds))
        if (std::none_of(feeds.cbegin(), feeds.cend(),
                         [&](const Feed& f) { return f.id == added.id || f.feedURL == added.feedURL; }))
            feeds.append(added);
    // The stored entries stand as they were; those fetched meanwhile join them as a refresh's would.
    const QList<NewsItem> added = m_items;
    setFeeds(std::move(feeds));
    setItems(added.isEmpty() ? std::move(items) : merged(items, added));
    emit storeLoaded();
    if (m_persistWaitsForLoad) {
        m_persistWaitsForLoad = false;
        persist();
    }
    if (late && m_refreshWaitsForLoad) {
        const bool force = *m_refreshWaitsForLoad;
        m_refreshWaitsForLoad.reset();
        refresh(force);
    }
}

bool NewsService::hasUnread() const {
    return std::any_of(m_items.begin(), m_items.end(), [](const NewsItem& i) { return !i.seen; });
}

QDateTime NewsService::now() const {
    return m_clock.now();
}

void NewsService::setComposing(bool composing) {
    if (assignPublished(this, m_composing, composing, &NewsService::composingChanged))
        emit changed();
}

void NewsService::setItems(QList<NewsItem> items) {
    if (assignPublished(this, m_items, std::move(items), &NewsService::itemsChanged)) {
        assignPublished(this, m_hasUnread, hasUnread(), &NewsService::hasUnreadChanged);
        emit changed();
    }
}

void NewsService::setFeeds(QList<Feed> feeds) {
    if (assignPublished(this, m_feeds, std::move(feeds), &NewsService::feedsChanged))
        emit changed();
}

void NewsService::setAdding(bool adding) {
    if (assignPublished(this, m_adding, adding, &NewsService::addingChanged))
        emit changed();
}

void NewsService::setRefreshing(bool refreshing) {
    if (assignPublished(this, m_refreshing, refreshing, &NewsService::refreshingChanged))
        emit changed();
}

void NewsService::setAddError(std::optional<QString> error) {
    if (assignPublished(this, m_addError, std::move(error), &NewsService::addErrorChanged))
        emit changed();
}

// ---- follow

void NewsService::addFeed(const QString& typed) {
    const QString text = typed.trimmed();
    if (text.isEmpty())
        return;
    setAddError(std::nullopt);
    setAdding(true);
    QSet<QString> known;
    for (const Feed& f : m_feeds)
        known.insert(f.feedURL);

    QPointer<NewsService> self(this);
    resolveFeed(text, [self, text, known](Outcome<FeedAddress> resolved) {
        if (!self)
            return;
        if (auto* error = std::get_if<NewsError>(&resolved)) {
            self->finishAdd(*error, text);
            return;
        }
        const FeedAddress address = std::get<FeedAddress>(resolved);
        if (known.contains(address.feed.toString(QUrl::FullyEncoded))) {
            self->finishAdd(NewsError{NewsError::JaCadastrado}, text);
            return;
        }
        self->fetchItems(address.feed, [self, text, address](Outcome<ParsedFeed> fetched) {
            if (!self)
                return;
            if (auto* error = std::get_if<NewsError>(&fetched))
                self->finishAdd(*error, text);
            else
                self->finishAdd(std::pair{address, std::get<ParsedFeed>(fetched)}, text);
        });
    });
}

void NewsService::finishAdd(const Outcome<std::pair<FeedAddress, ParsedFeed>>& outcome, const QString& text) {
    if (auto* found = std::get_if<std::pair<FeedAddress, ParsedFeed>>(&outcome)) {
        addFound(found->first, found->second.title, found->second.items, text);
        return;
    }
    const NewsError error = std::get<NewsError>(outcome);
    if (error.kind != NewsError::XOcupado) {
        setAddError(error.mensagem());
        setAdding(false);
        return;
    }
    // Rate-limited while fetching: follow it without entries; the next refresh fills it in.
    QPointer<NewsService> self(this);
    resolveFeed(text, [self, text](Outcome<FeedAddress> resolved) {
        if (!self)
            return;
        if (auto* address = std::get_if<FeedAddress>(&resolved)) {
            self->addFound(*address, QString(), {}, text);
        } else {
            self->setAddError(NewsError{NewsError::XOcupado}.mensagem());
            self->setAdding(false);
        }
    });
}

void NewsService::addFound(const FeedAddress& address, const QString& title, const QList<RawItem>& raw,
                           const QString& text) {
    const QString name = FeedLinks::tituloOu(title, address.site, text);
    const Feed feed{QUuid::createUuid(), name, address.site.toString(QUrl::FullyEncoded),
                    address.feed.toString(QUrl::FullyEncoded)};
    QList<NewsItem> incoming;
    incoming.reserve(raw.size());
    // What a source held when it was followed counts as read.
    for (const RawItem& r : raw)
        incoming.append(toNewsItem(r, feed.id, name, true));
    QList<Feed> feeds = m_feeds;
    feeds.append(feed);
    setFeeds(std::move(feeds));
    merge(incoming);
    persist();
    setAdding(false);
}

void NewsService::remove(const Feed& feed) {
    QList<Feed> feeds = m_feeds;
    feeds.removeIf([&](const Feed& f) { return f.id == feed.id; });
    QList<NewsItem> items = m_items;
    items.removeIf([&](const NewsItem& i) { return i.feedID == feed.id; });
    setFeeds(std::move(feeds));
    setItems(std::move(items));
    persist();
}

// ---- refresh

void NewsService::refresh(bool force) {
    if (!m_loaded) {
        m_refreshWaitsForLoad = force || m_refreshWaitsForLoad.value_or(false);
        return;
    }
    if (m_feeds.isEmpty() || m_refreshing)
        return;
    const qint64 now = m_clock.monotonicMs();
    if (!force && m_lastRefreshStartMs && now - *m_lastRefreshStartMs < kRefreshIntervalMs)
        return;
    m_lastRefreshStartMs = now;
    setRefreshing(true);
    refreshStep(m_feeds, 0, std::make_shared<QHash<QUuid, QString>>(), std::make_shared<QList<NewsItem>>());
}

void NewsService::refreshStep(QList<Feed> snapshot, int index, std::shared_ptr<QHash<QUuid, QString>> renames,
                              std::shared_ptr<QList<NewsItem>> collected) {
    if (index >= snapshot.size()) {
        QList<Feed> feeds = m_feeds;
        for (Feed& f : feeds)
            if (renames->contains(f.id))
                f.title = renames->value(f.id);
        setFeeds(std::move(feeds));
        merge(*collected);
        persist();
        setRefreshing(false);
        return;
    }
    const Feed source = snapshot[index];
    const QUrl url(source.feedURL);
    QPointer<NewsService> self(this);
    auto next = [self, snapshot, index, renames, collected] {
        if (self)
            self->refreshStep(snapshot, index + 1, renames, collected);
    };
    if (!url.isValid() || url.isEmpty()) {
        next();
        return;
    }
    fetchItems(url, [source, renames, collected, next](Outcome<ParsedFeed> fetched) {
        // A failing source is skipped; its entries and title stay as they were.
        if (auto* feed = std::get_if<ParsedFeed>(&fetched)) {
            if (!feed->title.isEmpty() && feed->title != source.title)
                renames->insert(source.id, feed->title);
            const QString feedTitle = feed->title.isEmpty() ? source.title : feed->title;
            for (const RawItem& r : feed->items)
                collected->append(toNewsItem(r, source.id, feedTitle, false));
        } else {
            qCDebug(lcNews, "%s skipped in this refresh: %s", qUtf8Printable(source.feedURL),
                    qUtf8Printable(std::get<NewsError>(fetched).mensagem()));
        }
        next();
    });
}

// ---- merge and read state

void NewsService::merge(const QList<NewsItem>& incoming) {
    const qsizetype before = m_items.size();
    setItems(merged(m_items, incoming));
    // A store far beyond the cap (written by something else) has just been cut down to it: give the
    // memory back rather than keep it for the session.
    if (before > 4 * kMaxItems)
        releaseFreeMemory();
}

QList<NewsItem> NewsService::merged(const QList<NewsItem>& stored, const QList<NewsItem>& incoming) {
    QList<NewsItem> all;
    QSet<QString> ids;
    all.reserve(stored.size() + incoming.size());
    // A stored entry wins over a fetched copy: its read state and text stay.
    for (const QList<NewsItem>* list : {&stored, &incoming})
        for (const NewsItem& item : *list)
            if (!ids.contains(item.id)) {
                ids.insert(item.id);
                all.append(item);
            }
    std::stable_sort(all.begin(), all.end(), [](const NewsItem& a, const NewsItem& b) {
        if (!b.published)
            return bool(a.published);
        return a.published && *a.published > *b.published;
    });
    if (all.size() > kMaxItems)
        all.resize(kMaxItems);
    return all;
}

void NewsService::markAllSeen() {
    if (!hasUnread())
        return;
    QList<NewsItem> items = m_items;
    for (NewsItem& i : items)
        i.seen = true;
    setItems(std::move(items));
    persist();
}

void NewsService::markSeen(const NewsItem& item) {
    qsizetype index = -1;
    for (qsizetype i = 0; i < m_items.size(); ++i)
        if (m_items.at(i).id == item.id) {
            index = i;
            break;
        }
    if (index < 0 || m_items.at(index).seen)
        return;
    QList<NewsItem> items = m_items;
    items[index].seen = true;
    setItems(std::move(items));
    persist();
}

void NewsService::persist() {
    if (!m_loaded) {
        m_persistWaitsForLoad = true;
        return;
    }
    ++m_saveCount;
    m_store->save(m_feeds, m_items);
}

// ---- network

HttpFetch::Options NewsService::options(const QByteArray& userAgent, int timeoutMs) const {
    HttpFetch::Options options;
    options.userAgent = userAgent.isEmpty() ? kUserAgent : userAgent;
    options.idleTimeoutMs = timeoutMs > 0 ? timeoutMs : m_timeoutMs;
    options.maxBytes = FeedParser::kMaxBodyBytes;
    return options;
}

void NewsService::request(const QUrl& url, const HttpFetch::Options& options,
                          std::function<std::function<void()>(HttpResult)> digest) {
    QPointer<NewsService> self(this);
    HttpFetch* http = m_http;
    if (!m_network->isRunning())
        m_network->start(); // what was posted before waits in its queue
    QMetaObject::invokeMethod(
        http,
        [this, self, http, url, options, digest = std::move(digest)] {
            http->get(url, options, [this, self, digest](HttpResult r) {
                // `this` is only the address to post to: the network thread ends before it goes.
                QMetaObject::invokeMethod(
                    this,
                    [self, work = digest(std::move(r))] {
                        if (self)
                            work();
                    },
                    Qt::QueuedConnection);
            });
        },
        Qt::QueuedConnection);
}

void NewsService::get(const QUrl& url, std::function<void(HttpResult)> done, const QByteArray& userAgent,
                      int timeoutMs) {
    request(url, options(userAgent, timeoutMs), [done = std::move(done)](HttpResult r) {
        return std::function<void()>([done, r = std::move(r)] { done(r); });
    });
}

static NewsError errorOf(const HttpResult& r) {
    if (!r.status)
        return NewsError{NewsError::Transport, 0, r.transportError};
    return NewsError{NewsError::Http, *r.status, {}};
}

void NewsService::fetchText(const QUrl& url, std::function<void(Outcome<QString>)> done) {
    get(url, [done = std::move(done)](HttpResult r) {
        if (!r.ok()) {
            done(errorOf(r));
            return;
        }
        // UTF-8 when it is, else Latin 1 (which reads any bytes).
        if (QUtf8StringView(r.body).isValidUtf8())
            done(QString::fromUtf8(r.body));
        else
            done(QString::fromLatin1(r.body));
    });
}

void NewsService::fetchAndParse(const QUrl& url, std::function<void(Outcome<ParsedFeed>)> done) {
    // Parsed where it arrived, so the main thread only hears the outcome.
    request(url, options({}, 0), [done = std::move(done)](HttpResult r) {
        Outcome<ParsedFeed> outcome = NewsError{NewsError::SemFeed};
        if (!r.ok())
            outcome = errorOf(r);
        else if (std::optional<ParsedFeed> parsed = FeedParser::parse(r.body))
            outcome = std::move(*parsed);
        return std::function<void()>([done, outcome = std::move(outcome)] { done(outcome); });
    });
}

void NewsService::resolveFeed(const QString& text, std::function<void(Outcome<FeedAddress>)> done) {
    const auto site = FeedLinks::normalizeURL(text);
    if (!site) {
        done(NewsError{NewsError::Invalido});
        return;
    }
    discoverFeedURL(*site, [site = *site, done = std::move(done)](Outcome<QUrl> found) {
        if (auto* feed = std::get_if<QUrl>(&found))
            done(FeedAddress{site, *feed});
        else
            done(std::get<NewsError>(found));
    });
}

void NewsService::fetchItems(const QUrl& url, std::function<void(Outcome<ParsedFeed>)> done) {
    fetchAndParse(url, std::move(done));
}

void NewsService::discoverFeedURL(const QUrl& site, std::function<void(Outcome<QUrl>)> done) {
    QPointer<NewsService> self(this);
    // 1. The address is itself a feed with entries.
    fetchAndParse(site, [self, site, done = std::move(done)](Outcome<ParsedFeed> direct) mutable {
        if (!self)
            return;
        if (auto* feed = std::get_if<ParsedFeed>(&direct); feed && !feed->items.isEmpty()) {
            done(site);
            return;
        }
        // 2. The feed the page advertises (an empty one counts).
        self->fetchText(site, [self, site, done = std::move(done)](Outcome<QString> page) mutable {
            if (!self)
                return;
            std::optional<QString> link;
            if (auto* html = std::get_if<QString>(&page))
                link = FeedLinks::feedLink(*html);
            if (!link) {
                self->tryCandidates(site, 0, std::move(done));
                return;
            }
            const QUrl advertised = site.resolved(QUrl(*link));
            self->fetchAndParse(advertised, [self, site, advertised,
                                             done = std::move(done)](Outcome<ParsedFeed> parsed) mutable {
                if (!self)
                    return;
                if (std::holds_alternative<ParsedFeed>(parsed))
                    done(advertised);
                else
                    self->tryCandidates(site, 0, std::move(done));
            });
        });
    });
}

void NewsService::tryCandidates(const QUrl& site, int index, std::function<void(Outcome<QUrl>)> done) {
    static const char* candidates[] = {"feed",    "rss",      "index.xml", "feed.xml",
                                       "rss.xml", "atom.xml", "feed/"};
    if (index >= int(std::size(candidates))) {
        done(NewsError{NewsError::SemFeed});
        return;
    }
    // RFC 3986 resolution: without a trailing "/", the candidate replaces the last path segment.
    const QUrl candidate = site.resolved(QUrl(QString::fromLatin1(candidates[index])));
    QPointer<NewsService> self(this);
    fetchAndParse(candidate,
                  [self, site, index, candidate, done = std::move(done)](Outcome<ParsedFeed> parsed) mutable {
                      if (!self)
                          return;
                      if (auto* feed = std::get_if<ParsedFeed>(&parsed); feed && !feed->items.isEmpty())
                          done(candidate);
                      else
                          self->tryCandidates(site, index + 1, std::move(done));
                  });
}
