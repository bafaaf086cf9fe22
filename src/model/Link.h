// A clickable address found in a text: where it sits and what it opens.
#pragma once

#include <QUrl>

#include <QtGlobal>

namespace Linkify {

// A range of the text (UTF-16 positions) and the address it opens.
struct Link {
    qsizetype start = 0;
    qsizetype length = 0;
    QUrl url;
    bool operator==(const Link&) const = default;
};

} // namespace Linkify
