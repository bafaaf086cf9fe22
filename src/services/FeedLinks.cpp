// Plain string scanning: pages are read as found, not parsed as HTML.
#include "services/FeedLinks.h"

namespace FeedLinks {

std::optional<QString> feedLink(const QString& html) {
    const QStringList pieces = html.split(QStringLiteral("<link"));
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        const QString& piece = pieces[i];
        const qsizetype close = piece.indexOf(u'>');
        const QString tag = close < 0 ? piece : piece.left(close);
        const QString lower = tag.toLower();
        const bool alternate = lower.contains(QLatin1String("rel=\"alternate\"")) ||
                               lower.contains(QLatin1String("rel=alternate"));
        const bool feedType =
            lower.contains(QLatin1String("rss+xml")) || lower.contains(QLatin1String("atom+xml"));
        if (!alternate || !feedType)
            continue;
        if (auto href = attributeValue(QStringLiteral("href"), tag))
            return href;
    }
    return std::nullopt;
}

std::optional<QString> attributeValue(const QString& name, const QString& tag) {
    const qsizetype at = tag.indexOf(name + u'=', 0, Qt::CaseInsensitive);
    if (at < 0)
        return std::nullopt;
    qsizetype i = at + name.size() + 1;
    while (i < tag.size() && tag[i] == u' ')
        ++i;
    if (i >= tag.size() || (tag[i] != u'"' && tag[i] != u'\''))
        return std::nullopt;
    const QChar quote = tag[i];
    const qsizetype end = tag.indexOf(quote, i + 1);
    if (end < 0)
        return std::nullopt;
    return tag.mid(i + 1, end - i - 1);
}

QString tituloOu(const QString& title, const QUrl& siteURL, const QString& entrada) {
    if (!title.isEmpty())
        return title;
    // The last path segment, a trailing slash ignored ("/blog/" names "blog").
    QString path = siteURL.path();
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    const QString last = path == QLatin1String("/") ? path : path.mid(path.lastIndexOf(u'/') + 1);
    if (!last.isEmpty() && last != QLatin1String("/"))
        return last;
    if (!siteURL.host().isEmpty())
        return siteURL.host();
    return entrada;
}

std::optional<QUrl> normalizeURL(const QString& text) {
    QString t = text.trimmed();
    if (!t.contains(QLatin1String("://")))
        t.prepend(QLatin1String("https://"));
    const QUrl url(t, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || !url.host().contains(u'.'))
        return std::nullopt;
    return url;
}

} // namespace FeedLinks
