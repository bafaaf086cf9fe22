// Handles, request spacing and the timeline page. Spacing uses the injected clock and scheduler, so it is
// tested without waiting.
#include "services/ProfilesService.h"

#include "platform/Clock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTimer>
#include <QUtf8StringView>

namespace {

const QByteArray kBrowserAgent = "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
                                 "Chrome/126.0 Safari/537.36";
constexpr int kTimelineTimeoutMs = 60000;

} // namespace

ProfilesService::ProfilesService(Clock& clock, NewsWriter& writer, const QString& folder, QObject* parent,
                                 StoreLoad load)
    : ProfilesService(clock, writer, folder, Hosts(), parent, load) {}

ProfilesService::ProfilesService(Clock& clock, NewsWriter& writer, const QString& folder, Hosts hosts,
                                 QObject* parent, StoreLoad load)
    : NewsService(clock, writer, folder, QStringLiteral("profiles"), parent, load)
    , m_hosts(std::move(hosts)) {
    m_schedule = [this](qint64 ms, std::function<void()> fn) { QTimer::singleShot(ms, this, std::move(fn)); };
}

std::optional<NewsService::FeedAddress> ProfilesService::x(const QString& typed, const Hosts& hosts) {
    QString t = typed;
    t.remove(QStringLiteral("https://"));
    t.remove(QStringLiteral("http://"));
    t.remove(QStringLiteral("www."));
    for (const QString& token : {hosts.web + u'/', hosts.former + u'/'}) {
        const qsizetype at = t.indexOf(token);
        if (at >= 0)
            t = t.mid(at + token.size());
    }
    if (t.startsWith(u'@'))
        t.remove(0, 1);
    if (const QStringList parts = t.split(u'/', Qt::SkipEmptyParts); !parts.isEmpty())
        t = parts.first();
    if (const QStringList parts = t.split(u'?', Qt::SkipEmptyParts); !parts.isEmpty())
        t = parts.first();
    const QString handle = t;
    if (handle.isEmpty())
        return std::nullopt;
    int characters = 0;
    for (const char32_t c : handle.toUcs4()) {
        ++characters;
        if (!(QChar::isLetterOrNumber(c) || c == U'_'))
            return std::nullopt;
    }
    if (characters > 15)
        return std::nullopt;
    const QUrl site(QStringLiteral("https://") + hosts.web + u'/' + handle);
    const QUrl feed(hosts.timelineOrigin + QStringLiteral("/srv/timeline-profile/screen-name/") + handle);
    if (!site.isValid() || !feed.isValid())
        return std::nullopt;
    return FeedAddress{site, feed};
}

std::optional<QString> ProfilesService::blocoNextData(const QString& page) {
    static const QString open = QStringLiteral(R"(<script id="__NEXT_DATA__" type="application/json">)");
    const qsizetype start = page.indexOf(open);
    if (start < 0)
        return std::nullopt;
    const qsizetype from = start + open.size();
    const qsizetype end = page.indexOf(QLatin1String("</script>"), from);
    if (end < 0)
        return std::nullopt;
    return page.mid(from, end - from);
}

std::optional<QDateTime> ProfilesService::parseXDate(const QString& text) {
    // "EEE MMM dd HH:mm:ss Z yyyy", English names, numeric offset.
    const QStringList f = text.split(u' ');
    if (f.size() != 6)
        return std::nullopt;
    static const QStringList days{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const QStringList months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int month = int(months.indexOf(f[1])) + 1;
    bool okDay = false, okYear = false;
    const int day = f[2].toInt(&okDay);
    const int year = f[5].toInt(&okYear);
    const QTime time = QTime::fromString(f[3], QStringLiteral("HH:mm:ss"));
    const QString& z = f[4];
    if (!days.contains(f[0]) || month == 0 || !okDay || f[2].size() != 2 || !okYear || f[5].size() != 4 ||
        !time.isValid() || z.size() != 5 || (z[0] != u'+' && z[0] != u'-'))
        return std::nullopt;
    bool okZone = false;
    const int hhmm = z.mid(1).toInt(&okZone);
    const QDate date(year, month, day);
    if (!okZone || !date.isValid() || hhmm % 100 > 59)
        return std::nullopt;
    const int offset = ((hhmm / 100) * 3600 + (hhmm % 100) * 60) * (z[0] == u'-' ? -1 : 1);
    return QDateTime(date, time, Qt::UTC).addSecs(-offset);
}

NewsService::Outcome<ParsedFeed> ProfilesService::readTimeline(const QByteArray& body, const Hosts& hosts) {
    const NewsError notFound{NewsError::PerfilNaoEncontrado};
    if (!QUtf8StringView(body).isValidUtf8())
        return notFound;
    const auto json = blocoNextData(QString::fromUtf8(body));
    if (!json)
        return notFound;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json->toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return notFound;
    QJsonValue v = doc.object();
    for (const char* key : {"props", "pageProps", "timeline"}) {
        v = v.toObject().value(QLatin1String(key));
        if (!v.isObject())
            return notFound;
    }
    const QJsonValue entries = v.toObject().value(QLatin1String("entries"));
    if (!entries.isArray())
        return notFound;
    ParsedFeed feed;
    for (const QJsonValue& e : entries.toArray()) {
        if (!e.isObject())
            return notFound;
        const QJsonValue content = e.toObject().value(QLatin1String("content"));
        const QJsonObject tweet = content.toObject().value(QLatin1String("tweet")).toObject();
        if (!content.isObject() || !content.toObject().value(QLatin1String("tweet")).isObject())
            continue;
        const QJsonValue idStr = tweet.value(QLatin1String("id_str"));
        const QJsonValue fullText = tweet.value(QLatin1String("full_text"));
        if (!idStr.isString() || !fullText.isString())
            continue;
        const QString screenName =
            tweet.value(QLatin1String("user")).toObject().value(QLatin1String("screen_name")).toString();
        const QJsonValue permalink = tweet.value(QLatin1String("permalink"));
        // A permalink is taken only as a path on the web host; anything else could point elsewhere.
        const bool ownPath = permalink.isString() && permalink.toString().startsWith(u'/');
        const QString path = ownPath ? permalink.toString()
                                     : u'/' + screenName + QStringLiteral("/status/") + idStr.toString();
        const QString link = QStringLiteral("https://") + hosts.web + path;
        std::optional<QDateTime> date;
        if (const QJsonValue created = tweet.value(QLatin1String("created_at")); created.isString())
            date = parseXDate(created.toString());
        if (feed.title.isEmpty() && !screenName.isEmpty())
            feed.title = u'@' + screenName;
        feed.items.append(
            RawItem{QStringLiteral("x:") + idStr.toString(), QString(), link, date, fullText.toString()});
    }
    if (feed.items.isEmpty())
        return notFound;
    return feed;
}

void ProfilesService::resolveFeed(const QString& text, std::function<void(Outcome<FeedAddress>)> done) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        done(NewsError{NewsError::Invalido});
        return;
    }
    if (auto address = x(trimmed, m_hosts))
        done(*address);
    else
        done(NewsError{NewsError::PerfilInvalido});
}

qint64 ProfilesService::spacingWaitMs() const {
    if (!ultimaChamadaX)
        return 0;
    const qint64 elapsed = clock().monotonicMs() - *ultimaChamadaX;
    return elapsed < kSpacingMs ? kSpacingMs - elapsed : 0;
}

void ProfilesService::fetchItems(const QUrl& url, std::function<void(Outcome<ParsedFeed>)> done) {
    if (url.host() != QUrl(m_hosts.timelineOrigin).host()) {
        fetchAndParse(url, std::move(done));
        return;
    }
    QPointer<ProfilesService> self(this);
    auto go = [self, url, done = std::move(done)]() mutable {
        if (!self)
            return;
        // Stamped before the request, whatever its outcome.
        self->ultimaChamadaX = self->clock().monotonicMs();
        self->carregarX(url, std::move(done));
    };
    const qint64 wait = spacingWaitMs();
    if (wait > 0) {
        // Reserve the slot now, so a fetch asked for during the wait queues behind this one.
        ultimaChamadaX = clock().monotonicMs() + wait;
        m_schedule(wait, std::move(go));
    } else {
        go();
    }
}

void ProfilesService::carregarX(const QUrl& url, std::function<void(Outcome<ParsedFeed>)> done) {
    Hosts hosts = m_hosts;
    get(
        url,
        [hosts, done = std::move(done)](HttpResult r) {
            if (!r.status) {
                done(NewsError{NewsError::Transport, 0, r.transportError});
            } else if (*r.status == 429) {
                done(NewsError{NewsError::XOcupado});
            } else if (*r.status != 200) {
                done(NewsError{NewsError::Http, *r.status, {}});
            } else {
                done(readTimeline(r.body, hosts));
            }
        },
        kBrowserAgent, kTimelineTimeoutMs);
}
