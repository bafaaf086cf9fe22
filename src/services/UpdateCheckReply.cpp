#include "services/UpdateCheckReply.h"

#include "platform/LogCategories.h"
#include "services/HttpFetch.h"
#include "services/UpdateManifest.h"
#include "services/UpdateService.h"

namespace UpdateCheckReply {

Verdict judge(const HttpResult& reply, const QUrl& manifest, const QString& host,
              const QString& currentVersion, bool automatic) {
    using Status = UpdateStatus;
    Verdict v;
    // What failed, in plain words, and what the user can do.
    const auto failed = [&v, automatic](const QString& what, const QString& advice) {
        v.status =
            automatic ? Status::error(
                            what + QLatin1Char(' ') + UpdateService::tr("Quillbay checks again later."), true)
                      : Status::error(what + QLatin1Char(' ') + advice);
    };
    // The server's answer could not be used: the window says so, the log says why.
    const auto refused = [&v](const QString& reason) {
        v.log << QStringLiteral("update not installed: ") + reason;
    };
    if (!reply.refusedRedirect.isEmpty()) {
        refused(QStringLiteral("the manifest request was redirected to %1, which is not https on %2")
                    .arg(reply.refusedRedirect.toString(QUrl::FullyEncoded).left(200), host));
        failed(UpdateService::tr("The update server sent the check to an address Quillbay doesn't trust."),
               UpdateService::tr("Try again later."));
        return v;
    }
    if (!reply.status) {
        using F = HttpResult::Failure;
        switch (reply.failure) {
        case F::unreachable:
            failed(UpdateService::tr("Couldn't reach the update server."),
                   UpdateService::tr("Check that this computer is online, then try again."));
            break;
        case F::timedOut:
            failed(UpdateService::tr("The update server didn't answer in time."),
                   UpdateService::tr("Check that this computer is online, then try again."));
            break;
        case F::secureConnection:
            failed(
                UpdateService::tr("Couldn't open a secure connection to the update server: its certificate "
                                  "was not accepted."),
                UpdateService::tr("Check that this computer's date and time are right, and whether a proxy "
                                  "or firewall intercepts secure connections, then try again."));
            break;
        case F::tooLarge:
            failed(UpdateService::tr("The update server's answer couldn't be used."),
                   UpdateService::tr("Try again later."));
            break;
        case F::none:
        case F::other:
            failed(UpdateService::tr("The connection to the update server failed."),
                   UpdateService::tr("Try again later."));
            break;
        }
        v.log << QStringLiteral("update check failed: ") + reply.transportError;
        return v;
    }
    const int code = *reply.status;
    const UpdateManifest::Offer offer =
        code == 200 ? UpdateManifest::read(reply.body, manifest) : UpdateManifest::Offer();
    if (offer.kind == UpdateManifest::Offer::Kind::unusable) {
        refused(code == 200
                    ? offer.refusal
                    : QStringLiteral("the manifest request was answered with HTTP status %1").arg(code));
        failed(UpdateService::tr("The update server's answer couldn't be used (HTTP %1).").arg(code),
               UpdateService::tr("Try again later."));
        return v;
    }
    if (!UpdateManifest::isNewer(offer.version, currentVersion)) {
        qCDebug(lcUpdates, "offer %s is not newer than %s", qUtf8Printable(offer.version),
                qUtf8Printable(currentVersion));
        v.status = Status::upToDate();
        return v;
    }
    if (offer.kind == UpdateManifest::Offer::Kind::offered) {
        v.status = Status::available(offer.version, offer.url, offer.notes, offer.sha256);
        return v;
    }
    v.log << QStringLiteral("update %1 not installed: %2").arg(offer.version, offer.refusal);
    failed(UpdateService::tr("Version %1 is out, but the update server gave no download Quillbay can trust.")
               .arg(offer.version),
           UpdateService::tr("Try again later."));
    return v;
}

} // namespace UpdateCheckReply
