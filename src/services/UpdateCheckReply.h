// What the answer to a manifest request means: the status shown (an offer, up to date, or what failed in
// plain words with what the user can do) and the lines the log is told why. A failed automatic check is
// told quietly: the next one tries again.
#pragma once

#include "model/UpdateStatus.h"

#include <QString>
#include <QStringList>
#include <QUrl>

struct HttpResult;

namespace UpdateCheckReply {

struct Verdict {
    UpdateStatus status;
    QStringList log; // without the "[Quillbay] " prefix
};

// `reply` answers the request for `manifest` on the maker's `host`; `currentVersion` runs now.
Verdict judge(const HttpResult& reply, const QUrl& manifest, const QString& host,
              const QString& currentVersion, bool automatic);

} // namespace UpdateCheckReply
