// The earlier QXmlStreamReader-based feed reader, the reference the expat-based reader is compared with.
#pragma once

#include "services/FeedParser.h"

namespace StreamReaderFeedParser {
std::optional<ParsedFeed> parse(const QByteArray& bytes, QString* error = nullptr);
}
