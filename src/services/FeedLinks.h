// Text helpers for following a site: the feed a page advertises, one attribute of a tag, a new source's name.
#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace FeedLinks {

// The href of the first <link> tag that advertises an RSS or Atom feed with rel="alternate" (double
// quotes or none); may be relative to the page.
std::optional<QString> feedLink(const QString& html);

// The quoted value of attribute `name` in a tag's text; the name matches without regard to case and
// also at the end of a longer name (data-href for href).
std::optional<QString> attributeValue(const QString& name, const QString& tag);

// The title, else the site address's last path component, else its host, else what the user typed.
QString tituloOu(const QString& title, const QUrl& siteURL, const QString& entrada);

// A typed address as an absolute URL ("https://" added when it names no scheme); nothing unless it has
// a host with a dot in it.
std::optional<QUrl> normalizeURL(const QString& text);

} // namespace FeedLinks
