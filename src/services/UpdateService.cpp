// The manifest check runs on the main thread with a small capped request; the download streams to a
// private file while it is hashed, on a thread of its own (UpdateDownloader); the signature check, unpacking
// and staging run on the thread pool and report back through a QPointer. Dates in the defaults store are ISO
// 8601 texts in UTC.
#include "services/UpdateService.h"

#include "platform/Clock.h"
#include "platform/LogCategories.h"
#include "platform/ServiceLauncher.h"
#include "services/AppPaths.h"
#include "services/Defaults.h"
#include "services/HttpFetch.h"
#include "services/Log.h"
#include "services/Published.h"
#include "services/UpdateCheckReply.h"
#include "services/UpdateDownloadCheck.h"
#include "services/UpdateHandOver.h"
#include "services/UpdateInstaller.h"
#include "services/UpdateManifest.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QPointer>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <cstring>

namespace {

const QString kAutoCheck = QStringLiteral("updateAutoCheck");
const QString kLastCheck = QStringLiteral("updateLastCheck");
constexpr int kManifestTimeoutMs = 15000;
constexpr int kDownloadTimeoutMs = 60000;
constexpr qsizetype kManifestMaxBytes = 64 * 1024;
constexpr qsizetype kSignatureMaxBytes = 4096;

// The redirect rule of downloads, safe to run on any thread.
std::function<bool(const QUrl&)> trustedRedirect(const QUrl& manifest) {
    return [manifest](const QUrl& to) { return UpdateService::isTrustedDownloadURL(to, manifest); };
}

QString failureText(UpdateInstaller::Failure f) {
    using F = UpdateInstaller::Failure;
    switch (f) {
    case F::securityCheck:
        return UpdateService::tr("This update failed the security check and was discarded.");
    case F::notSigned:
        return UpdateService::tr("This update isn't signed by Quillbay and was discarded.");
    case F::unsafeContent:
        return UpdateService::tr("This update contains unsafe files and was discarded.");
    case F::cannotOpen:
        return UpdateService::tr("Couldn't open the update file.");
    case F::noApp:
        return UpdateService::tr("The update doesn't contain the app.");
    case F::cannotStage:
        return UpdateService::tr("Couldn't prepare the update.");
    case F::cannotPrepare:
    case F::none:
        break;
    }
    return UpdateService::tr("Couldn't prepare the installer.");
}

} // namespace

void UpdateService::restoreInstallFolder() {
    // The running program's own place, read before Qt has cached it; bin/ sits in the install folder.
    const QString program = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    if (program.isEmpty())
        return;
    UpdateInstaller::restoreInstallFolder(QFileInfo(QFileInfo(program).absolutePath()).absolutePath(),
                                          defaultWorkDir());
}

UpdateService::UpdateService(Defaults& defaults, Clock& clock, QObject* parent)
    : UpdateService(defaults, clock, buildConfig(), parent) {}

UpdateService::UpdateService(Defaults& defaults, Clock& clock, Config config, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_clock(clock)
    , m_config(config.completed()) {
    m_leftovers = QtFuture::makeReadyFuture();
    m_defaults.registerDefaults(QJsonObject{{kAutoCheck, true}});
    m_autoCheck = m_defaults.boolValue(kAutoCheck);
}

UpdateService::~UpdateService() = default;

void UpdateService::setStatus(Status status) {
    assignPublished(this, m_status, std::move(status), &UpdateService::statusChanged);
}

void UpdateService::setInstallProgress(int percent) {
    assignPublished(this, m_installProgress, percent, &UpdateService::installProgressChanged);
}

void UpdateService::setAutoCheck(bool on) {
    m_defaults.set(kAutoCheck, on);
    assignPublished(this, m_autoCheck, on, &UpdateService::autoCheckChanged);
}

QUrl UpdateService::manifestURL() const {
    return QUrl(QStringLiteral("https://%1/version.json").arg(m_config.host));
}

void UpdateService::checkIfDue() {
    if (!m_autoCheck)
        return;
    if (UpdateSchedule::isDue(m_defaults.string(kLastCheck), m_clock.now()))
        startCheck(true);
    else
        qCDebug(lcUpdates, "no check: the last one is recent");
}

void UpdateService::check() {
    startCheck(false);
}

void UpdateService::startCheck(bool automatic) {
    if (m_status.is(Status::Kind::checking) || m_status.is(Status::Kind::downloading)) {
        qCDebug(lcUpdates, "no check: one is already under way");
        return;
    }
    setStatus(Status::checking());
    emit checkStarted();
    auto* fetch = makeFetch();
    HttpFetch::Options options;
    options.idleTimeoutMs = kManifestTimeoutMs;
    options.maxBytes = kManifestMaxBytes;
    // The manifest chooses what is offered and the notes shown: it is taken only from the maker's host,
    // over https, wherever a redirect would lead.
    options.allowRedirect = [manifest = manifestURL()](const QUrl& to) {
        return to.scheme() == QLatin1String("https") && !to.host().isEmpty() &&
               to.host() == manifest.host() && to.port(443) == manifest.port(443);
    };
    fetch->get(manifestURL(), options, [this, fetch, automatic](HttpResult reply) {
        fetch->deleteLater();
        handleCheck(reply, automatic);
    });
}

HttpFetch* UpdateService::makeFetch() {
    auto* fetch = new HttpFetch(m_config.fetchHelper, this);
    if (!m_config.fetchHelper.isEmpty() && !fetch->outOfProcess())
        qCDebug(lcUpdates, "no fetch helper at %s: the request is made in this process",
                qUtf8Printable(m_config.fetchHelper));
    return fetch;
}

void UpdateService::handleCheck(const HttpResult& reply, bool automatic) {
    // Stamped first, so a failed check also waits for the next period.
    m_defaults.set(kLastCheck, UpdateSchedule::stamp(m_clock.now()));
    const UpdateCheckReply::Verdict verdict =
        UpdateCheckReply::judge(reply, manifestURL(), m_config.host, m_config.currentVersion, automatic);
    for (const QString& line : verdict.log)
        Log::line(line);
    setStatus(verdict.status);
}

bool UpdateService::isVersion(const QString& a, const QString& b) {
    return UpdateManifest::isNewer(a, b);
}

bool UpdateService::isTrustedDownloadURL(const QUrl& url) const {
    return isTrustedDownloadURL(url, manifestURL());
}

bool UpdateService::isTrustedDownloadURL(const QUrl& url, const QUrl& manifest) {
    return UpdateManifest::isTrustedDownloadURL(url, manifest);
}

void UpdateService::downloadAndInstall() {
    if (!m_status.is(Status::Kind::available) || m_installInProgress)
        return;
    const QString version = m_status.version;
    const QUrl url = m_status.downloadURL;
    const QString sha256 = m_status.sha256;
    if (!UpdateManifest::isSha256(sha256))
        return;
    m_installInProgress = true;
    m_attemptVersion = version;
    setStatus(Status::downloading());

    if (!AppPaths::makePrivateFolders(m_config.workDir)) {
        fail(tr("Download failed"), QStringLiteral("cannot create %1").arg(m_config.workDir));
        return;
    }
    auto file = std::make_unique<QFile>(
        QDir(m_config.workDir)
            .filePath(QStringLiteral("Quillbay-%1-%2.tar.xz")
                          .arg(version, QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper())));
    // Unbuffered: the pieces are large, and a write that fails is seen at once rather than at the close.
    if (!file->open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered,
                    QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        fail(UpdateDownloadCheck::shownSystemReason(file->errorString(), m_config.workDir),
             QStringLiteral("cannot create the download file: %1")
                 .arg(UpdateDownloadCheck::systemReason(file->errorString(), m_config.workDir)));
        return;
    }
    const QString path = file->fileName();
    QNetworkRequest request(url);
    request.setTransferTimeout(kDownloadTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // A child: should the service go first, the transfer stops and its partial file goes with it.
    // A redirect is judged before it is followed, so nothing is asked of an address updates may not
    // come from.
    auto* download = new UpdateDownloader(request, std::move(file), m_config.maxDownloadBytes,
                                          trustedRedirect(manifestURL()), this);
    connect(download, &UpdateDownloader::finished, this,
            [this, download, path, version, sha256](const UpdateDownloader::Outcome& outcome) {
                download->deleteLater();
                downloadDone(path, outcome, version, sha256);
            });
}

void UpdateService::downloadDone(const QString& path, const UpdateDownloader::Outcome& outcome,
                                 const QString& version, const QString& sha256) {
    if (const auto refused = UpdateDownloadCheck::refusal(outcome, sha256, m_config.maxDownloadBytes,
                                                          m_config.workDir, manifestURL()))
        return fail(refused->message, refused->reason, path);
    setStatus(Status::installing());
    fetchSignature(path, outcome.finalUrl, version);
}

void UpdateService::fetchSignature(const QString& archive, const QUrl& url, const QString& version) {
    QUrl signatureUrl = url;
    signatureUrl.setPath(url.path(QUrl::FullyDecoded) + QStringLiteral(".minisig"), QUrl::DecodedMode);
    auto* fetch = makeFetch();
    HttpFetch::Options options;
    options.idleTimeoutMs = kManifestTimeoutMs;
    options.maxBytes = kSignatureMaxBytes;
    options.allowRedirect = trustedRedirect(manifestURL());
    fetch->get(signatureUrl, options, [this, fetch, archive, version](HttpResult reply) {
        fetch->deleteLater();
        if (!reply.status || *reply.status != 200 || !isTrustedDownloadURL(reply.finalUrl)) {
            const QString reason =
                !reply.status
                    ? QStringLiteral("the signature could not be fetched: %1").arg(reply.transportError)
                : *reply.status != 200
                    ? QStringLiteral("the signature could not be fetched: HTTP status %1").arg(*reply.status)
                    : QStringLiteral("the signature came from an address updates may not come from");
            fail(tr("This update failed the security check and was discarded."), reason, archive);
            return;
        }
        install(archive, reply.body, version);
    });
}

void UpdateService::install(const QString& archive, const QByteArray& signature, const QString& version) {
    UpdateInstaller::Request request;
    request.archive = archive;
    request.signature = signature;
    request.publicKey = m_config.publicKey;
    request.version = version;
    request.installDir = m_config.installDir;
    request.workDir = m_config.workDir;
    request.pid = m_config.pid;
    request.team = QLatin1String(kTeam);
    request.helper = m_config.helper;
    // Unpacking a large release takes a while; each percent reaches the main thread as it comes.
    setInstallProgress(0);
    request.progress = [self = QPointer<UpdateService>(this)](int percent) {
        if (self)
            QMetaObject::invokeMethod(
                self.data(),
                [self, percent] {
                    if (self && self->m_status.is(Status::Kind::installing))
                        self->setInstallProgress(percent);
                },
                Qt::QueuedConnection);
    };
    // Leftovers of an earlier start may still be going; they include the staging folder.
    QtConcurrent::run(&m_pool.threads(), [request, leftovers = m_leftovers]() mutable {
        leftovers.waitForFinished();
        return UpdateInstaller::prepare(request);
    }).then(this, [this, archive](const UpdateInstaller::Outcome& outcome) {
        setInstallProgress(-1);
        if (outcome.failure != UpdateInstaller::Failure::none) {
            // A write the system refused (a full disk) is told as the system's reason, not as a bad file.
            if (outcome.systemError > 0) {
                const QString words = QString::fromLocal8Bit(std::strerror(outcome.systemError));
                fail(UpdateDownloadCheck::shownSystemReason(words, outcome.folder),
                     outcome.detail + QStringLiteral(" in ") +
                         UpdateDownloadCheck::shownFolder(outcome.folder),
                     archive);
                return;
            }
            fail(failureText(outcome.failure), outcome.detail, archive);
            return;
        }
        // The settings store writes off the main thread: what is pending must be on disk before the
        // folder is swapped.
        m_defaults.flush();
        if (!UpdateHandOver::handOver(outcome, m_config.startDetached)) {
            fail(tr("Couldn't start the installer."), QStringLiteral("the swap helper did not start"),
                 archive);
            return;
        }
        m_config.quit();
    });
}

void UpdateService::removeLeftovers() {
    // Listed here, so that a download begun meanwhile is not among them.
    const QStringList paths = UpdateInstaller::leftovers(m_config.installDir, m_config.workDir);
    const ProcessTable* processes = m_config.processTable;
    if (paths.isEmpty() || !processes)
        return;
    const QString workDir = m_config.workDir;
    m_leftovers = QtConcurrent::run(&m_pool.threads(), [paths, workDir, processes] {
        const int removed = UpdateInstaller::removeLeftovers(paths, workDir, *processes);
        if (removed > 0)
            Log::line(QStringLiteral("update: removed %1 leftovers of earlier updates").arg(removed));
    });
}

void UpdateService::fail(const QString& message, const QString& reason, const QString& archive) {
    Log::line(QStringLiteral("update %1 not installed: %2").arg(m_attemptVersion, reason));
    auto report = [this, message] {
        m_installInProgress = false;
        setInstallProgress(-1);
        setStatus(Status::error(message));
    };
    if (archive.isEmpty())
        return report();
    // Unlinking an archive of a few hundred megabytes takes a while; the error shows once it is gone.
    QtConcurrent::run(&m_pool.threads(), [archive] { QFile::remove(archive); }).then(this, report);
}
