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
#include "services/Shell.h"
#include "services/UpdateInstaller.h"
#include "services/UpdateManifest.h"

#include "QuillbayVersion.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QPointer>
#include <QStandardPaths>
#include <QUuid>
#include <QtConcurrent/QtConcurrentRun>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef QUILLBAY_UPDATE_HOST
#define QUILLBAY_UPDATE_HOST "quillbay.app"
#endif
#ifndef QUILLBAY_UPDATE_PUBKEY
#define QUILLBAY_UPDATE_PUBKEY ""
#endif

namespace {

const QString kAutoCheck = QStringLiteral("updateAutoCheck");
const QString kLastCheck = QStringLiteral("updateLastCheck");
constexpr int kManifestTimeoutMs = 15000;
constexpr int kDownloadTimeoutMs = 60000;
constexpr qsizetype kManifestMaxBytes = 64 * 1024;
constexpr qsizetype kSignatureMaxBytes = 4096;
// A stamp this far ahead of the clock came from a clock that was later set back; it is ignored rather
// than postponing every check until that date.
constexpr qint64 kFutureStampToleranceSeconds = 3600;

// The number of one dotted piece: its numeric characters, parsed as a signed 64-bit decimal; 0 when
// nothing is left or it does not parse (digits of other scripts, or too large).
qint64 pieceValue(const QString& piece) {
    QString digits;
    for (const QChar c : piece)
        if (c.isNumber())
            digits += c;
    for (const QChar c : digits)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
    bool ok = false;
    const qint64 v = digits.toLongLong(&ok);
    return ok ? v : 0;
}

QList<qint64> parts(const QString& version) {
    QList<qint64> out;
    for (const QString& piece : version.split(QLatin1Char('.'), Qt::SkipEmptyParts))
        out << pieceValue(piece);
    return out;
}

// A folder as the user knows it: "~/…" inside the home folder.
QString shownFolder(const QString& folder) {
    const QString home = QDir::homePath();
    const QString path = QDir::cleanPath(folder);
    if (home.size() > 1 && (path == home || path.startsWith(home + QLatin1Char('/'))))
        return QLatin1Char('~') + path.mid(home.size());
    return path;
}

// The system's reason for a write it refused (a full disk), with where: for the log, in English.
QString systemReason(const QString& words, const QString& folder) {
    return QStringLiteral("%1 in %2").arg(words, shownFolder(folder));
}

// The same for the user.
QString shownSystemReason(const QString& words, const QString& folder) {
    //: The system's own reason for a failed write ("No space left on device"), then the folder written into.
    return UpdateService::tr("%1 in %2").arg(words, shownFolder(folder));
}

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

// Starts the swap helper in a session of its own with the program's environment, the lock on descriptor 3.
bool startInOwnSession(ServiceLauncher& launcher, const QString& program, const QStringList& arguments,
                       int handOverFd) {
    ServiceLauncher::Request request;
    request.program = program;
    request.arguments = arguments;
    request.environment = Shell::childEnvironment({});
    request.handOverFd = handOverFd;
    const ServiceLauncher::Launched launched = launcher.launch(request);
    if (launched.pidfd >= 0)
        ::close(launched.pidfd);
    if (launched.pid <= 0)
        Log::line(QStringLiteral("update: cannot start %1: %2").arg(program, launched.error));
    return launched.pid > 0;
}

} // namespace

UpdateService::Config UpdateService::buildConfig() {
    Config c;
    c.host = QStringLiteral(QUILLBAY_UPDATE_HOST);
    c.publicKey = QByteArrayLiteral(QUILLBAY_UPDATE_PUBKEY);
    return c;
}

QString UpdateService::defaultWorkDir() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation))
        .filePath(QStringLiteral("Quillbay/update"));
}

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
    , m_config(std::move(config)) {
    // The build's own version; a build without one counts as the oldest.
    if (m_config.currentVersion.isEmpty())
        m_config.currentVersion = QStringLiteral(QUILLBAY_VERSION);
    if (m_config.currentVersion.isEmpty())
        m_config.currentVersion = QStringLiteral("0.0.0");
    if (m_config.installDir.isEmpty() && QCoreApplication::instance())
        m_config.installDir =
            QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/..")).absolutePath();
    if (m_config.workDir.isEmpty())
        m_config.workDir = defaultWorkDir();
    if (m_config.pid == 0)
        m_config.pid = QCoreApplication::applicationPid();
    if (m_config.helper.isEmpty() && QCoreApplication::instance())
        m_config.helper =
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quillbay-swap"));
    if (!m_config.startDetached)
        m_config.startDetached = [launcher = m_config.launcher](
                                     const QString& program, const QStringList& arguments, int handOverFd) {
            if (!launcher) {
                Log::line(QStringLiteral("update: nothing to start %1 with").arg(program));
                return false;
            }
            return startInOwnSession(*launcher, program, arguments, handOverFd);
        };
    m_leftovers = QtFuture::makeReadyFuture();
    if (!m_config.quit)
        m_config.quit = [] {
            if (auto* app = QCoreApplication::instance())
                QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
        };
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
    const auto stored = m_defaults.string(kLastCheck);
    const QDateTime last = stored ? QDateTime::fromString(*stored, Qt::ISODateWithMs) : QDateTime();
    // Missing, unreadable or far in the future: the distant past, so the check runs.
    if (last.isValid()) {
        const qint64 age = last.secsTo(m_clock.now());
        if (age >= -kFutureStampToleranceSeconds && age <= kCheckIntervalSeconds) {
            qCDebug(lcUpdates, "no check: the last was %lld s ago", qlonglong(age));
            return;
        }
    }
    startCheck(true);
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
    auto* fetch = new HttpFetch(this);
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

void UpdateService::handleCheck(const HttpResult& reply, bool automatic) {
    // Stamped first, so a failed check also waits for the next period.
    m_defaults.set(kLastCheck, m_clock.now().toUTC().toString(Qt::ISODateWithMs));
    // What failed, in plain words, and what the user can do. A failed automatic check is told quietly:
    // the next one tries again.
    const auto failed = [this, automatic](const QString& what, const QString& advice) {
        setStatus(automatic
                      ? Status::error(what + QLatin1Char(' ') + tr("Quillbay checks again later."), true)
                      : Status::error(what + QLatin1Char(' ') + advice));
    };
    // The server's answer could not be used: the window says so, the log says why.
    const auto refused = [](const QString& reason) {
        Log::line(QStringLiteral("update not installed: ") + reason);
    };
    if (!reply.refusedRedirect.isEmpty()) {
        refused(QStringLiteral("the manifest request was redirected to %1, which is not https on %2")
                    .arg(reply.refusedRedirect.toString(QUrl::FullyEncoded).left(200), m_config.host));
        failed(tr("The update server sent the check to an address Quillbay doesn't trust."),
               tr("Try again later."));
        return;
    }
    if (!reply.status) {
        using F = HttpResult::Failure;
        switch (reply.failure) {
        case F::unreachable:
            failed(tr("Couldn't reach the update server."),
                   tr("Check that this computer is online, then try again."));
            break;
        case F::timedOut:
            failed(tr("The update server didn't answer in time."),
                   tr("Check that this computer is online, then try again."));
            break;
        case F::secureConnection:
            failed(tr("Couldn't open a secure connection to the update server: its certificate was not "
                      "accepted."),
                   tr("Check that this computer's date and time are right, and whether a proxy or firewall "
                      "intercepts secure connections, then try again."));
            break;
        case F::tooLarge:
            failed(tr("The update server's answer couldn't be used."), tr("Try again later."));
            break;
        case F::none:
        case F::other:
            failed(tr("The connection to the update server failed."), tr("Try again later."));
            break;
        }
        Log::line(QStringLiteral("update check failed: ") + reply.transportError);
        return;
    }
    const int code = *reply.status;
    const UpdateManifest::Offer offer =
        code == 200 ? UpdateManifest::read(reply.body, manifestURL()) : UpdateManifest::Offer();
    if (offer.kind == UpdateManifest::Offer::Kind::unusable) {
        refused(code == 200
                    ? offer.refusal
                    : QStringLiteral("the manifest request was answered with HTTP status %1").arg(code));
        failed(tr("The update server's answer couldn't be used (HTTP %1).").arg(code),
               tr("Try again later."));
        return;
    }
    if (!isVersion(offer.version, m_config.currentVersion)) {
        qCDebug(lcUpdates, "offer %s is not newer than %s", qUtf8Printable(offer.version),
                qUtf8Printable(m_config.currentVersion));
        setStatus(Status::upToDate());
        return;
    }
    if (offer.kind == UpdateManifest::Offer::Kind::offered) {
        setStatus(Status::available(offer.version, offer.url, offer.notes, offer.sha256));
        return;
    }
    Log::line(QStringLiteral("update %1 not installed: %2").arg(offer.version, offer.refusal));
    failed(tr("Version %1 is out, but the update server gave no download Quillbay can trust.")
               .arg(offer.version),
           tr("Try again later."));
}

bool UpdateService::isVersion(const QString& a, const QString& b) {
    const QList<qint64> pa = parts(a);
    const QList<qint64> pb = parts(b);
    for (qsizetype i = 0; i < std::max(pa.size(), pb.size()); ++i) {
        const qint64 x = pa.value(i, 0);
        const qint64 y = pb.value(i, 0);
        if (x != y)
            return x > y;
    }
    return false;
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
        fail(shownSystemReason(file->errorString(), m_config.workDir),
             QStringLiteral("cannot create the download file: %1")
                 .arg(systemReason(file->errorString(), m_config.workDir)));
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
    auto discard = [&](const QString& message, const QString& reason) { fail(message, reason, path); };
    if (!outcome.refusedRedirect.isEmpty())
        return discard(
            tr("Download failed"),
            QStringLiteral("the download was redirected to an address updates may not come from: %1")
                .arg(outcome.refusedRedirect.toString(QUrl::FullyEncoded).left(200)));
    // The system's own reason and the folder, so that a full disk is told as one.
    if (!outcome.writeError.isEmpty())
        return discard(shownSystemReason(outcome.writeError, m_config.workDir),
                       QStringLiteral("writing the download failed: %1")
                           .arg(systemReason(outcome.writeError, m_config.workDir)));
    if (outcome.tooLarge)
        return discard(tr("Download failed"),
                       QStringLiteral("the download is larger than %1 bytes").arg(m_config.maxDownloadBytes));
    // Any HTTP answer counts, whatever its status: a wrong body fails the checksum below.
    if (!outcome.answered)
        return discard(outcome.error.isEmpty() ? tr("Download failed") : outcome.error,
                       QStringLiteral("no answer: %1").arg(outcome.error));
    if (!isTrustedDownloadURL(outcome.finalUrl))
        return discard(tr("Download failed"),
                       QStringLiteral("the download ended at an address updates may not come from: %1")
                           .arg(outcome.finalUrl.toString(QUrl::FullyEncoded).left(200)));
    // A body cut short would only fail the checksum; saying so lets the user simply try again.
    if (outcome.interrupted)
        return discard(tr("The download was interrupted. Try again."),
                       QStringLiteral("the download was interrupted: %1").arg(outcome.error));
    if (outcome.digest.compare(sha256, Qt::CaseInsensitive) != 0)
        return discard(tr("The update checksum didn't match and was discarded."),
                       QStringLiteral("the download's SHA-256 is %1, the manifest names %2")
                           .arg(outcome.digest, sha256.toLower()));
    setStatus(Status::installing());
    fetchSignature(path, outcome.finalUrl, version);
}

void UpdateService::fetchSignature(const QString& archive, const QUrl& url, const QString& version) {
    QUrl signatureUrl = url;
    signatureUrl.setPath(url.path(QUrl::FullyDecoded) + QStringLiteral(".minisig"), QUrl::DecodedMode);
    auto* fetch = new HttpFetch(this);
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
                fail(shownSystemReason(words, outcome.folder),
                     outcome.detail + QStringLiteral(" in ") + shownFolder(outcome.folder), archive);
                return;
            }
            fail(failureText(outcome.failure), outcome.detail, archive);
            return;
        }
        // The settings store writes off the main thread: what is pending must be on disk before the
        // folder is swapped.
        m_defaults.flush();
        if (!m_config.startDetached(outcome.program, outcome.arguments, outcome.lock->get())) {
            std::error_code ignored;
            std::filesystem::remove_all(
                std::filesystem::path(QFile::encodeName(outcome.arguments.value(2)).toStdString()), ignored);
            outcome.lock->reset();
            fail(tr("Couldn't start the installer."), QStringLiteral("the swap helper did not start"),
                 archive);
            return;
        }
        // The helper holds the lock now; this copy goes with the program.
        outcome.lock->reset();
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
