#include "fakes/TestSupport.h"

#include "services/CommandsService.h"
#include "services/Defaults.h"
#include "services/Log.h"
#include "services/ServiceSupervisor.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QTest>
#include <QThread>

namespace TestSupport {

std::unique_ptr<QTemporaryDir> isolateHome() {
    auto dir = std::make_unique<QTemporaryDir>();
    const QString home = dir->path();
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_DATA_HOME", (home + "/.local/share").toUtf8());
    qputenv("XDG_STATE_HOME", (home + "/.local/state").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + "/.config").toUtf8());
    qputenv("XDG_CACHE_HOME", (home + "/.cache").toUtf8());
    qputenv("XDG_RUNTIME_DIR", (home + "/run").toUtf8());
    QDir(home).mkpath("run");
    QFile::setPermissions(home + "/run",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return dir;
}

AppPaths::Folders folders() {
    return AppPaths::Folders::fromEnvironment(QProcessEnvironment::systemEnvironment());
}

void stayOffTheMakersHost() {
    // A test may isolate a new home for each function: the folders are those of the home isolated last.
    const QString folder = folders().configDir();
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    Defaults defaults(folder + QStringLiteral("/defaults.json"));
    defaults.set(QStringLiteral("updateAutoCheck"), false);
    defaults.set(QStringLiteral("telemetryEnabled"), false);
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::usleep(200); // short, so that benchmarks built on this stay precise
    }
    return done();
}

bool pollUntil(const std::function<bool()>& condition, int timeoutMs, int intervalMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(intervalMs); // the poll interval
    }
    return true;
}

qint32 spawnDetached(const QString& shellLine) {
    QProcess sh;
    sh.start(QStringLiteral("/bin/sh"),
             {QStringLiteral("-c"), shellLine + QStringLiteral(" >/dev/null 2>&1 & echo $!")});
    sh.waitForFinished(5000);
    return sh.readAllStandardOutput().trimmed().toInt();
}

bool isGone(const ProcessTable& table, qint32 pid) {
    const auto st = table.stat(pid);
    return !st || st->state == 'Z';
}

ServiceSandbox::ServiceSandbox() = default;

ServiceSandbox::~ServiceSandbox() {
    if (!m_service)
        return;
    for (const SavedCommand& c : m_service->commands()) {
        if (m_service->runningIDs().contains(c.id))
            m_service->stop(c);
    }
    tickers.fire(ServiceSupervisor::kStopGraceMs); // what ignores SIGTERM is killed at once
    stopAll(*m_service);
}

CommandsService& ServiceSandbox::service() {
    if (!m_service)
        m_service = makeService();
    return *m_service;
}

std::unique_ptr<CommandsService> ServiceSandbox::makeService() {
    CommandsService::Seams seams{launcher, table, tickers, &lan};
    seams.logKeeper = logKeeper;
    seams.shell = shell;
    auto s = std::make_unique<CommandsService>(std::move(seams), path(QStringLiteral("support")),
                                               path(QStringLiteral("logs")));
    s->waitForAdoption();
    return s;
}

bool stopAll(CommandsService& service, int timeoutMs) {
    for (const SavedCommand& c : service.commands()) {
        if (service.runningIDs().contains(c.id))
            service.stop(c);
    }
    return waitUntil([&] { return service.runningIDs().isEmpty(); }, timeoutMs);
}

struct LogCapture::State {
    QStringList lines;
};

namespace {

// A message handler is a plain function, so the capture it feeds is found here. One lock for all: lines
// come from any thread, and none may land in a capture once it has ended.
struct Installed {
    QMutex mutex;
    std::shared_ptr<LogCapture::State> state;
    QtMessageHandler previous = nullptr;
};

Installed& installed() {
    static Installed i;
    return i;
}

void captureMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    Installed& i = installed();
    QtMessageHandler previous;
    {
        QMutexLocker lock(&i.mutex);
        if (i.state) {
            if (const std::optional<QString> line = Log::format(context, message)) {
                i.state->lines << *line;
                return;
            }
        }
        previous = i.previous;
    }
    if (previous)
        previous(type, context, message);
}

} // namespace

LogCapture::LogCapture()
    : m_state(std::make_shared<State>()) {
    Installed& i = installed();
    QMutexLocker lock(&i.mutex);
    m_outer = i.state;
    i.state = m_state;
    if (!m_outer)
        i.previous = qInstallMessageHandler(&captureMessage);
}

LogCapture::~LogCapture() {
    end();
}

void LogCapture::end() {
    Installed& i = installed();
    QMutexLocker lock(&i.mutex);
    if (m_ended)
        return;
    m_ended = true;
    i.state = m_outer;
    if (!m_outer)
        qInstallMessageHandler(i.previous);
}

QStringList LogCapture::lines() const {
    QMutexLocker lock(&installed().mutex);
    return m_state->lines;
}

} // namespace TestSupport
