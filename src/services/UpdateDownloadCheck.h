// The checks that a finished download is the archive offered (nothing refused on the way, written whole,
// within the cap, ended at an address updates may come from, the manifest's checksum), and the words for a
// write the system refused (a full disk) with the folder it was refused in.
#pragma once

#include "services/UpdateDownloader.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace UpdateDownloadCheck {

struct Refusal {
    QString message; // shown
    QString reason;  // logged
};

// Why the download of `outcome` is not the archive whose SHA-256 the manifest `manifest` named; none when
// it is. `maxBytes` was the cap, `workDir` the folder it was written into.
std::optional<Refusal> refusal(const UpdateDownloader::Outcome& outcome, const QString& sha256,
                               qint64 maxBytes, const QString& workDir, const QUrl& manifest);

// A folder as the user knows it: "~/…" inside the home folder.
QString shownFolder(const QString& folder);
// The system's reason for a write it refused, with where: for the log, in English.
QString systemReason(const QString& words, const QString& folder);
// The same for the user.
QString shownSystemReason(const QString& words, const QString& folder);

} // namespace UpdateDownloadCheck
