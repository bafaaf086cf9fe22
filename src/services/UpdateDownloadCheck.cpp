#include "services/UpdateDownloadCheck.h"

#include "services/UpdateManifest.h"
#include "services/UpdateService.h"

#include <QDir>

namespace UpdateDownloadCheck {

std::optional<Refusal> refusal(const UpdateDownloader::Outcome& outcome, const QString& sha256,
                               qint64 maxBytes, const QString& workDir, const QUrl& manifest) {
    if (!outcome.refusedRedirect.isEmpty())
        return Refusal{
            UpdateService::tr("Download failed"),
            QStringLiteral("the download was redirected to an address updates may not come from: %1")
                .arg(outcome.refusedRedirect.toString(QUrl::FullyEncoded).left(200))};
    // The system's own reason and the folder, so that a full disk is told as one.
    if (!outcome.writeError.isEmpty())
        return Refusal{
            shownSystemReason(outcome.writeError, workDir),
            QStringLiteral("writing the download failed: %1").arg(systemReason(outcome.writeError, workDir))};
    if (outcome.tooLarge)
        return Refusal{UpdateService::tr("Download failed"),
                       QStringLiteral("the download is larger than %1 bytes").arg(maxBytes)};
    // Any HTTP answer counts, whatever its status: a wrong body fails the checksum below.
    if (!outcome.answered)
        return Refusal{outcome.error.isEmpty() ? UpdateService::tr("Download failed") : outcome.error,
                       QStringLiteral("no answer: %1").arg(outcome.error)};
    if (!UpdateManifest::isTrustedDownloadURL(outcome.finalUrl, manifest))
        return Refusal{UpdateService::tr("Download failed"),
                       QStringLiteral("the download ended at an address updates may not come from: %1")
                           .arg(outcome.finalUrl.toString(QUrl::FullyEncoded).left(200))};
    // A body cut short would only fail the checksum; saying so lets the user simply try again.
    if (outcome.interrupted)
        return Refusal{UpdateService::tr("The download was interrupted. Try again."),
                       QStringLiteral("the download was interrupted: %1").arg(outcome.error)};
    if (outcome.digest.compare(sha256, Qt::CaseInsensitive) != 0)
        return Refusal{UpdateService::tr("The update checksum didn't match and was discarded."),
                       QStringLiteral("the download's SHA-256 is %1, the manifest names %2")
                           .arg(outcome.digest, sha256.toLower())};
    return std::nullopt;
}

QString shownFolder(const QString& folder) {
    const QString home = QDir::homePath();
    const QString path = QDir::cleanPath(folder);
    if (home.size() > 1 && (path == home || path.startsWith(home + QLatin1Char('/'))))
        return QLatin1Char('~') + path.mid(home.size());
    return path;
}

QString systemReason(const QString& words, const QString& folder) {
    return QStringLiteral("%1 in %2").arg(words, shownFolder(folder));
}

QString shownSystemReason(const QString& words, const QString& folder) {
    //: The system's own reason for a failed write ("No space left on device"), then the folder written into.
    return UpdateService::tr("%1 in %2").arg(words, shownFolder(folder));
}

} // namespace UpdateDownloadCheck
