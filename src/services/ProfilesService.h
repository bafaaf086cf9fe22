// The news service for followed X profiles, with its own files ("profiles-..."): a typed handle becomes
// a profile page and a timeline page, and a timeline page's embedded JSON becomes the entries.
#pragma once

#include "services/NewsService.h"

#include <QDateTime>

#include <functional>

// Where X profiles live; tests point the timeline at loopback.
struct XHosts {
    QString web = QStringLiteral("x.com");          // profile pages and post links
    QString former = QStringLiteral("twitter.com"); // only recognised in typed text
    QString timelineOrigin = QStringLiteral("https://syndication.twitter.com"); // serves timeline pages
};

class ProfilesService : public NewsService {
    Q_OBJECT
public:
    using Hosts = XHosts;
    // Runs `fn` after `ms` milliseconds on the main thread.
    using Scheduler = std::function<void(qint64 ms, std::function<void()> fn)>;

    // The files are "profiles-feeds.json" and "profiles-items.json" in `folder`.
    ProfilesService(Clock& clock, NewsWriter& writer, const QString& folder, QObject* parent = nullptr,
                    StoreLoad load = StoreLoad::atOnce);
    ProfilesService(Clock& clock, NewsWriter& writer, const QString& folder, Hosts hosts,
                    QObject* parent = nullptr, StoreLoad load = StoreLoad::atOnce);

    static constexpr qint64 kSpacingMs = 5000;

    // Typed text (already trimmed) to the profile page and the timeline page, or nothing when it holds
    // no handle.
    static std::optional<FeedAddress> x(const QString& text, const Hosts& hosts = Hosts());
    // The JSON between the timeline page's data script tag and its closing tag.
    static std::optional<QString> blocoNextData(const QString& page);
    // A timeline page's entries and the "@" title of its profile.
    static Outcome<ParsedFeed> readTimeline(const QByteArray& body, const Hosts& hosts = Hosts());
    // The timeline's own date form ("Wed Oct 10 20:19:24 +0000 2018").
    static std::optional<QDateTime> parseXDate(const QString& text);

    // How long a timeline request asked for now must wait to keep the spacing.
    qint64 spacingWaitMs() const;
    void setScheduler(Scheduler scheduler) { m_schedule = std::move(scheduler); }

protected:
    void resolveFeed(const QString& text, std::function<void(Outcome<FeedAddress>)> done) override;
    void fetchItems(const QUrl& url, std::function<void(Outcome<ParsedFeed>)> done) override;

private:
    void carregarX(const QUrl& url, std::function<void(Outcome<ParsedFeed>)> done);

    Hosts m_hosts;
    Scheduler m_schedule;
    // When the timeline host was last asked (monotonic ms); nothing before the first request.
    std::optional<qint64> ultimaChamadaX;
};
