// The self-update: checks the maker's version manifest, offers a newer version, and downloads, verifies
// and installs it into the program's own install folder. The steps are its own; their rules live beside
// it: the configuration (UpdateConfig), when a check is due (UpdateSchedule), what the manifest's answer
// means (UpdateCheckReply), whether a download is the archive offered (UpdateDownloadCheck), unpacking and
// staging (UpdateInstaller) and the hand-over to the swap helper (UpdateHandOver).
#pragma once

#include "model/UpdateStatus.h"
#include "services/UpdateConfig.h"
#include "services/UpdateDownloader.h"
#include "services/UpdateSchedule.h"
#include "services/WorkPool.h"

#include <QByteArray>
#include <QFuture>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

struct HttpResult;
class Clock;
class HttpFetch;
class Defaults;

class UpdateService : public QObject {
    Q_OBJECT
    Q_PROPERTY(UpdateStatus status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool autoCheck READ autoCheck WRITE setAutoCheck NOTIFY autoCheckChanged)
    Q_PROPERTY(QString currentVersion READ currentVersion CONSTANT)
    Q_PROPERTY(int installProgress READ installProgress NOTIFY installProgressChanged)
public:
    using Status = UpdateStatus;

    // Everything the service takes from the build and the running process; tests replace each part.
    using Config = UpdateConfig;

    // The build's settings: the maker's host and public key as configured in CMake.
    static Config buildConfig() { return UpdateConfig::fromBuild(); }
    // $XDG_CACHE_HOME/Quillbay/update (default ~/.cache/Quillbay/update).
    static QString defaultWorkDir() { return UpdateConfig::defaultWorkDir(); }
    // Run at start, before the application object exists: when a swap was cut short between its two
    // renames and this program runs from "X.old" with "X" missing, the folder takes its name back.
    static void restoreInstallFolder();

    UpdateService(Defaults& defaults, Clock& clock, QObject* parent = nullptr);
    UpdateService(Defaults& defaults, Clock& clock, Config config, QObject* parent = nullptr);
    ~UpdateService() override;

    Status status() const { return m_status; }
    bool autoCheck() const { return m_autoCheck; }
    // Stores the choice under "updateAutoCheck" at once.
    void setAutoCheck(bool on);
    QString currentVersion() const { return m_config.currentVersion; }
    // While `installing` unpacks the archive: how far, in percent of the entries and bytes to write; -1
    // otherwise.
    int installProgress() const { return m_installProgress; }
    QUrl manifestURL() const;

    // Starts a check when automatic checking is on and the last reply is more than 20 hours old.
    void checkIfDue();
    // Fetches the manifest unless a check or a download is under way.
    void check();
    // Downloads, verifies and installs the offered version; does nothing unless one is offered.
    void downloadAndInstall();
    // Removes, off the main thread, what updates cut short left behind (downloads, unpacked trees, the
    // folders beside the install folder), unless a swap is under way. An install waits for it.
    void removeLeftovers();

    // Whether `a` names a later version than `b`, part by part; missing parts count as 0.
    static bool isVersion(const QString& a, const QString& newerThan);
    // An address an update may come from: https, the manifest's host, a path under /downloads/.
    bool isTrustedDownloadURL(const QUrl& url) const;
    static bool isTrustedDownloadURL(const QUrl& url, const QUrl& manifest);

    static constexpr qint64 kCheckIntervalSeconds = UpdateSchedule::kIntervalSeconds;
    static constexpr char kTeam[] = "R4KD9QZ2MX";

signals:
    void statusChanged();
    void autoCheckChanged();
    void installProgressChanged();
    // Sent each time a manifest request starts.
    void checkStarted();

private:
    // The download's end: the checks that the file is the offered archive.
    void downloadDone(const QString& path, const UpdateDownloader::Outcome& outcome, const QString& version,
                      const QString& sha256);
    void setStatus(Status status);
    void setInstallProgress(int percent);
    void startCheck(bool automatic);
    // Through the fetch helper when there is one.
    HttpFetch* makeFetch();
    void handleCheck(const HttpResult& reply, bool automatic);
    void fetchSignature(const QString& archive, const QUrl& url, const QString& version);
    void install(const QString& archive, const QByteArray& signature, const QString& version);
    // Ends the attempt with `message` shown and `reason` logged; the archive, when given, is removed.
    void fail(const QString& message, const QString& reason, const QString& archive = {});

    Defaults& m_defaults;
    Clock& m_clock;
    Config m_config;
    Status m_status;
    bool m_autoCheck = true;
    int m_installProgress = -1;
    // Set from the press of "Update now" until the attempt fails; a success ends the program.
    bool m_installInProgress = false;
    QString m_attemptVersion;
    // The removal of leftovers, which an install waits for.
    QFuture<void> m_leftovers;
    WorkPool m_pool; // last: its end waits for the workers before the rest goes
};
