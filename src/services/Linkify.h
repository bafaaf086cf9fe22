// Finds the web addresses and local server addresses in a log text, for the log view to make clickable.
#pragma once

#include "model/Link.h"

#include <QList>
#include <QString>
#include <QUrl>

namespace Linkify {

// The links of `text`, sorted and never overlapping. First every http/https address (and "www." host) the
// text spells out; then each "localhost", "127.0.0.1" or "0.0.0.0" followed by a 2- to 5-digit port that
// no earlier link touches, always to http://localhost:<port>. The text is only matched, never interpreted.
QList<Link> links(const QString& text);

// Only web pages may be opened from a log: anything else could run a handler for a file or custom scheme.
bool canOpen(const QUrl& url);

} // namespace Linkify
