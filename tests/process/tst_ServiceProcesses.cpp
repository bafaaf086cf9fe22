// Services as real processes under a login shell: stop versus crash, the whole tree stopped, the
// search path, one log for both streams, a clean session and descriptor table, and launch failures.
#include "fakes/EnvironmentBytes.h"
#include "fakes/FakeServiceLauncher.h"
#include "fakes/PidfdlessLauncher.h"
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "platform/ProcessTable.h"
#include "platform/ServiceLauncher.h"
#include "platform/qt/QtTickerFactory.h"
#include "services/CommandsService.h"
#include "services/OrphanCheck.h"
#include "services/ServiceStop.h"
#include "services/ServiceSupervisor.h"
#include "services/Shell.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kEndCheckMs = 2000;
// How many times each way of detaching is tried in one run: the losses it guards against came a few
// times in ten.
constexpr int kRounds = 20;
// Every how many rounds the program quits and the next run takes the service back.
constexpr int kRestartEvery = 4;

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

using TestSupport::isGone;

class tst_ServiceProcesses : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<TestSupport::ServiceSandbox> m_box;
    CommandsService* m_service = nullptr;

    SavedCommand addCommand(const QString& name, const QString& command,
                            std::optional<QString> dir = std::nullopt) {
        m_service->add(name, command, dir);
        return m_service->commands().last();
    }
    // The service's pid as recorded in running.json.
    qint32 pidOf(const SavedCommand& cmd) {
        const QJsonObject map =
            QJsonDocument::fromJson(readAll(m_box->path("support/running.json"))).object();
        return map.value(cmd.id.toString(QUuid::WithoutBraces).toUpper()).toInt(-1);
    }
    // The service's processes besides its first, found the way a stop finds them.
    QList<qint32> othersOf(const SavedCommand& cmd, qint32 root) {
        return ServiceStop::members(m_box->table, root, root, cmd.id.toString(QUuid::WithoutBraces).toUpper(),
                                    qint32(::getpid()));
    }
    // The live processes that carry the service's marker.
    QList<qint32> markedOf(const SavedCommand& cmd) {
        return OrphanCheck::marked(m_box->table, m_box->table.all(), {cmd.id}, qint32(::getpid()))
            .value(cmd.id);
    }
    // Starts `cmd`, whose shell ends at once leaving one process behind; returns that process once the
    // service watches it in place of its shell (0 when that never happens).
    qint32 startAndLoseTheShell(const SavedCommand& cmd) {
        m_service->start(cmd);
        const qint32 shell = pidOf(cmd);
        if (shell <= 0)
            return 0;
        qint32 left = 0;
        const bool moved = QTest::qWaitFor(
            [&] {
                left = pidOf(cmd);
                return isGone(m_box->table, shell) && left > 0 && left != shell;
            },
            10000);
        return moved ? left : 0;
    }
    // Seconds for a `sleep` that no other run of these tests (another worktree's, say) gives it, so that
    // the processes found by it are this run's own.
    static QString ownSeconds(int base) { return QString("%1.%2").arg(base).arg(::getpid()); }
    // The live processes that run `sleep <seconds>`.
    QList<qint32> sleepers(const QString& seconds) {
        QList<qint32> out;
        const QString line = "sleep " + seconds;
        for (const ProcessTable::Stat& s : m_box->table.all()) {
            if (s.state != 'Z' && m_box->table.cmdline(s.pid) == line)
                out << s.pid;
        }
        return out;
    }
    [[nodiscard]] bool stopAndWait(const SavedCommand& cmd) {
        return TestSupport::passes([&] {
            if (!m_service->runningIDs().contains(cmd.id))
                return;
            m_service->stop(cmd);
            QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 10000);
        });
    }

private slots:
    void initTestCase() { m_home = TestSupport::isolateHome(); }
    void init() {
        m_box = std::make_unique<TestSupport::ServiceSandbox>();
        m_service = &m_box->service();
    }
    void cleanup() {
        QVERIFY(TestSupport::stopAll(*m_service));
        m_box.reset();
    }

    void stoppedServiceIsNoCrash() {
        const SavedCommand cmd = addCommand("sleeper", "sleep 30");
        QSignalSpy running(m_service, &CommandsService::runningIDsChanged);
        m_service->start(cmd);
        QVERIFY(m_service->runningIDs().contains(cmd.id));
        QCOMPARE(running.size(), 1);
        const qint32 pid = pidOf(cmd);
        QVERIFY(pid > 0);
        m_service->stop(cmd);
        QVERIFY(m_service->runningIDs().contains(cmd.id)); // until the end is seen
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 5000);
        QVERIFY(m_service->crashedIDs().isEmpty());
        QVERIFY(isGone(m_box->table, pid));
        QCOMPARE(pidOf(cmd), -1); // no longer recorded
    }

    void startingARunningCommandKeepsTheFirstProcess() {
        const SavedCommand cmd = addCommand("twice", "sleep 30");
        m_service->start(cmd);
        const qint32 pid = pidOf(cmd);
        m_service->start(cmd);
        QCOMPARE(pidOf(cmd), pid);
        QVERIFY(stopAndWait(cmd));
        QTRY_VERIFY_WITH_TIMEOUT(isGone(m_box->table, pid), 5000);
    }

    // An end not asked for, with nothing of the service left, is a crash when the shell failed; a shell
    // that finished well leaves a service that is simply done.
    void anEndNotAskedForIsACrashWhenTheShellFailed_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("crash");
        QTest::newRow("success") << "true" << false;
        QTest::newRow("failure") << "false" << true;
        QTest::newRow("exit status") << "exit 3" << true;
        QTest::newRow("killed") << "kill -9 $$" << true;
    }
    void anEndNotAskedForIsACrashWhenTheShellFailed() {
        QFETCH(QString, command);
        QFETCH(bool, crash);
        const SavedCommand cmd = addCommand("once", command);
        m_service->start(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 5000);
        QCOMPARE(m_service->crashedIDs().contains(cmd.id), crash);
        // Starting it again clears the mark.
        m_service->start(cmd);
        QVERIFY(!m_service->crashedIDs().contains(cmd.id));
    }

    // How a crash ended is kept for the log view: the shell's status or the signal that ended it, also
    // when what the shell left behind ends later; a new start or an end asked for forgets it.
    void aCrashKeepsHowTheShellEnded_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("leavesAJob");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("signal");
        QTest::newRow("false") << "false" << false << 1 << 0;
        QTest::newRow("exit 3") << "exit 3" << false << 3 << 0;
        QTest::newRow("killed") << "kill -9 $$" << false << -1 << SIGKILL;
        QTest::newRow("terminated") << "kill -TERM $$" << false << -1 << SIGTERM;
        QTest::newRow("a job left, exit 4") << "sleep 3106 & exit 4" << true << 4 << 0;
    }
    void aCrashKeepsHowTheShellEnded() {
        QFETCH(QString, command);
        QFETCH(bool, leavesAJob);
        QFETCH(int, status);
        QFETCH(int, signal);
        const SavedCommand cmd = addCommand("once", command);
        QVERIFY(!m_service->crashEnd(cmd.id));
        if (leavesAJob) {
            const qint32 left = startAndLoseTheShell(cmd);
            QVERIFY(left > 0);
            QVERIFY(!m_service->crashEnd(cmd.id)); // still running
            QCOMPARE(::kill(left, SIGKILL), 0);
        } else {
            m_service->start(cmd);
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_service->crashedIDs().contains(cmd.id), 10000);
        const auto ended = m_service->crashEnd(cmd.id);
        QVERIFY(ended);
        QCOMPARE(ended->exitStatus, status);
        QCOMPARE(ended->signal, signal);
        QVERIFY(ended->failed);

        m_service->start(cmd);
        QVERIFY(!m_service->crashEnd(cmd.id));
        if (m_service->runningIDs().contains(cmd.id))
            QVERIFY(stopAndWait(cmd));
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 10000);
    }

    // Shells that end at once while what they started lives on, as `docker compose up -d`, `npm start &`
    // or a daemon that forks do: the service runs while anything that carries its marker lives.
    void leftBehindRunsUntilStopped_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("crashAtTheEnd"); // when what was left ends by itself
        QTest::newRow("setsid -f") << "setsid -f sleep 3101" << false;
        QTest::newRow("double fork") << "(sleep 3102 &)" << false;
        QTest::newRow("background job, exit 0") << "sleep 3103 & exit 0" << false;
        QTest::newRow("background job, exit 4") << "sleep 3104 & exit 4" << true;
        QTest::newRow("setsid -f, then a failure") << "setsid -f sleep 3105; false" << true;
    }
    void leftBehindRunsUntilStopped() {
        QFETCH(QString, command);
        const SavedCommand cmd = addCommand("daemon", command);
        const qint32 left = startAndLoseTheShell(cmd);
        QVERIFY(left > 0);
        QVERIFY(m_service->runningIDs().contains(cmd.id));
        QVERIFY(m_service->crashedIDs().isEmpty());
        QCOMPARE(markedOf(cmd), QList<qint32>{left});
        // A start while it runs starts nothing more.
        m_service->start(cmd);
        QCOMPARE(pidOf(cmd), left);
        QCOMPARE(markedOf(cmd), QList<qint32>{left});
        QVERIFY(stopAndWait(cmd));
        QVERIFY(isGone(m_box->table, left));
        QVERIFY(markedOf(cmd).isEmpty());
        QVERIFY(m_service->crashedIDs().isEmpty());
        QCOMPARE(pidOf(cmd), -1);
    }
    void leftBehindEndsByItself_data() { leftBehindRunsUntilStopped_data(); }
    void leftBehindEndsByItself() {
        QFETCH(QString, command);
        QFETCH(bool, crashAtTheEnd);
        const SavedCommand cmd = addCommand("daemon", command);
        const qint32 left = startAndLoseTheShell(cmd);
        QVERIFY(left > 0);
        QCOMPARE(::kill(left, SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 10000);
        QCOMPARE(m_service->crashedIDs().contains(cmd.id), crashAtTheEnd);
        QCOMPARE(pidOf(cmd), -1);
    }
    // Every common way of detaching, as daemons really do it, many times over: right after the start the
    // service follows what its shell left (the row shows running, a second start makes no second copy),
    // the next run takes it back after a quit, and a stop there ends it without a crash mark.
    void detachingServicesAreFollowedEveryTime_data() {
        QTest::addColumn<QString>("command"); // %1: the seconds of the `sleep` that is left running
        QTest::addColumn<int>("base");
        QTest::newRow("setsid -f") << "setsid -f sleep %1" << 3201;
        QTest::newRow("subshell in the background") << "(sleep %1 &) &" << 3202;
        QTest::newRow("nohup in the background") << "nohup sleep %1 &" << 3203;
        QTest::newRow("background job, disowned") << "sleep %1 & disown" << 3204;
        QTest::newRow("setsid -f, then exit 3") << "setsid -f sleep %1; exit 3" << 3205;
        QTest::newRow("daemon(3) shape") << QString(DAEMON_HOST) + " sleep %1" << 3206;
        QTest::newRow("Python fork, setsid, fork")
            << "/usr/bin/python3 -c 'import os; os.fork() and os._exit(0); os.setsid(); "
               "os.fork() and os._exit(0); os.execvp(\"sleep\", [\"sleep\", \"%1\"])'"
            << 3207;
        QTest::newRow("exec env -i") << "exec env -i sleep %1" << 3208;
        QTest::newRow("cleared environment, background job") << "env -i sleep %1 &" << 3209;
        QTest::newRow("cleared environment, double fork") << "(env -i sleep %1 &)" << 3210;
    }
    void detachingServicesAreFollowedEveryTime() {
        QFETCH(QString, command);
        QFETCH(int, base);
        const QString seconds = ownSeconds(base);
        const SavedCommand cmd = addCommand("detached", command.arg(seconds));
        // A failed round leaves its daemon running; it goes with the test, not an hour later.
        auto killLeft = qScopeGuard([&] {
            for (qint32 pid : sleepers(seconds))
                ::kill(pid, SIGKILL);
        });
        auto run = m_box->makeService();
        for (int round = 0; round < kRounds; ++round) {
            const QByteArray at = QByteArray("round ") + QByteArray::number(round);
            run->start(cmd);
            QVERIFY2(run->runningIDs().contains(cmd.id), at.constData());
            // Settled: what is left runs, and the service follows it or has let it go.
            qint32 left = 0;
            const auto settled = [&] {
                const QList<qint32> found = sleepers(seconds);
                left = found.size() == 1 ? found.first() : 0;
                return left > 0 && (pidOf(cmd) == left || !run->runningIDs().contains(cmd.id));
            };
            QTRY_VERIFY2_WITH_TIMEOUT(settled(), at.constData(), 10000);
            QVERIFY2(run->runningIDs().contains(cmd.id), (at + ": lost right after the start").constData());
            QVERIFY2(run->crashedIDs().isEmpty(), at.constData());
            run->start(cmd);
            QCOMPARE(sleepers(seconds), QList<qint32>{left});

            if (round % kRestartEvery == 0) {
                // Quit, then the next run.
                run.reset();
                QVERIFY2(!isGone(m_box->table, left), at.constData());
                run = m_box->makeService();
                QVERIFY2(run->runningIDs().contains(cmd.id), (at + ": not taken back").constData());
                QCOMPARE(pidOf(cmd), left);
                run->start(cmd);
                QCOMPARE(sleepers(seconds), QList<qint32>{left});
            }
            run->stop(cmd);
            QTRY_VERIFY2_WITH_TIMEOUT(!run->runningIDs().contains(cmd.id), at.constData(), 10000);
            QVERIFY2(isGone(m_box->table, left), at.constData());
            QVERIFY2(run->crashedIDs().isEmpty(), at.constData());
            QCOMPARE(pidOf(cmd), -1);
        }
    }

    // The next run takes it back, from "running.json" or, when that lost it (the program was killed
    // before it wrote it), by its marker alone.
    void leftBehindIsTakenBackByTheNextRun_data() {
        QTest::addColumn<bool>("recorded");
        QTest::newRow("recorded") << true;
        QTest::newRow("not recorded") << false;
    }
    void leftBehindIsTakenBackByTheNextRun() {
        QFETCH(bool, recorded);
        const SavedCommand cmd = addCommand("daemon", "setsid -f sleep 3106");
        const qint32 left = startAndLoseTheShell(cmd);
        QVERIFY(left > 0);
        if (!recorded)
            QVERIFY(QFile::remove(m_box->path("support/running.json")));
        auto next = m_box->makeService();
        QVERIFY(next->runningIDs().contains(cmd.id));
        QCOMPARE(pidOf(cmd), left);
        next->stop(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(!next->runningIDs().contains(cmd.id), 10000);
        QVERIFY(next->crashedIDs().isEmpty());
        QVERIFY(isGone(m_box->table, left));
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 10000);
    }
    // A stop asked for in the moment between the shell's end and the search for what it left still
    // ends everything.
    void stopRightAfterTheShellEnds() {
        const SavedCommand cmd = addCommand("daemon", "setsid -f sleep 3107");
        m_service->start(cmd);
        const qint32 shell = pidOf(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(isGone(m_box->table, shell) && markedOf(cmd).size() == 1, 10000);
        const qint32 left = markedOf(cmd).first();
        m_service->stop(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(isGone(m_box->table, left), 10000);
        QVERIFY(m_service->crashedIDs().isEmpty());
    }

    void stopEndsTheWholeTree() {
        const SavedCommand cmd = addCommand("tree", "sh -c 'sleep 100 & sleep 100 & wait'");
        m_service->start(cmd);
        const qint32 pid = pidOf(cmd);
        QList<qint32> tree;
        QTRY_VERIFY_WITH_TIMEOUT((tree = m_box->table.tree(pid)).size() >= 3, 5000);
        m_service->stop(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 5000);
        for (qint32 p : tree)
            QTRY_VERIFY_WITH_TIMEOUT(isGone(m_box->table, p), 5000);
        QVERIFY(m_service->crashedIDs().isEmpty());
    }

    // Processes that ignore SIGTERM, that left the service's group or session, or both: a stop ends them
    // all (SIGKILL after the grace), shows "stopping" meanwhile, and the command turns stopped only once
    // the last of them is gone.
    void stopEndsEveryProcessOfTheService_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("others");
        QTest::addColumn<bool>("leftTheSession");
        QTest::addColumn<bool>("needsTheKill");
        QTest::newRow("TERM ignored in the group")
            << "trap '' TERM; (trap '' TERM; sleep 3000) & exec sleep 3000" << 1 << false << true;
        QTest::newRow("double fork, TERM ignored")
            << "sh -c '(trap \"\" TERM; exec sleep 3001) &'; exec sleep 3000" << 1 << false << true;
        QTest::newRow("own session, TERM ignored")
            << "setsid -f sh -c 'trap \"\" TERM; exec sleep 3002'; exec sleep 3000" << 1 << true << true;
        QTest::newRow("own session, ended by TERM")
            << "setsid -f sleep 3003; sleep 3000 & wait" << 2 << true << false;
    }
    void stopEndsEveryProcessOfTheService() {
        QFETCH(QString, command);
        QFETCH(int, others);
        QFETCH(bool, leftTheSession);
        QFETCH(bool, needsTheKill);
        const SavedCommand cmd = addCommand("stubborn", command);
        m_service->start(cmd);
        const qint32 root = pidOf(cmd);
        QVERIFY(root > 0);
        QList<qint32> found;
        const auto outsideSession = [&] {
            return std::any_of(found.cbegin(), found.cend(), [&](qint32 p) { return ::getsid(p) != root; });
        };
        // A child of setsid is in the service's session until it has made its own. In full parallel runs
        // the event-loop form of this wait has failed with the condition holding at the first look after
        // its bound, while the whole program had run for less than the bound: this one keeps time by the
        // clock, and says what it saw last.
        QElapsedTimer waited;
        waited.start();
        const bool settled = TestSupport::pollUntil(
            [&] {
                return (found = othersOf(cmd, root)).size() >= others && outsideSession() == leftTheSession;
            },
            90000, 50);
        if (!settled) {
            QStringList seen;
            for (qint32 p : std::as_const(found))
                seen << QStringLiteral("%1 (session %2)").arg(p).arg(::getsid(p));
            QFAIL(qPrintable(QStringLiteral("after %1 ms: root %2, others %3")
                                 .arg(waited.elapsed())
                                 .arg(root)
                                 .arg(seen.join(QStringLiteral(", ")))));
        }
        const QList<qint32> all = found + QList<qint32>{root};

        QSignalSpy stopping(m_service, &CommandsService::stoppingIDsChanged);
        m_service->stop(cmd);
        QVERIFY(m_service->stoppingIDs().contains(cmd.id));
        QVERIFY(m_service->runningIDs().contains(cmd.id));
        // The grace ends only when its ticker says so: a service that heeds SIGTERM goes without it.
        if (needsTheKill)
            QCOMPARE(m_box->tickers.fire(ServiceSupervisor::kStopGraceMs), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 30000);
        QVERIFY(!m_box->tickers.isRunning(ServiceSupervisor::kStopGraceMs));
        // Stopped means gone, every one of them, at the moment the row turns.
        for (qint32 p : all)
            QVERIFY2(isGone(m_box->table, p), qPrintable(QString("%1 outlived the stop").arg(p)));
        QVERIFY(othersOf(cmd, root).isEmpty());
        QVERIFY(m_service->stoppingIDs().isEmpty());
        QCOMPARE(stopping.size(), 2);
        QVERIFY(m_service->crashedIDs().isEmpty());
        QCOMPARE(pidOf(cmd), -1);
    }

    // A second stop while one is under way changes nothing; a start is refused until the end.
    void stopWhileStoppingAndStartWhileStopping() {
        const SavedCommand cmd = addCommand("slow", "trap '' TERM; exec sleep 3000");
        m_service->start(cmd);
        const qint32 pid = pidOf(cmd);
        QTRY_COMPARE_WITH_TIMEOUT(m_box->table.cmdline(pid), QString("sleep 3000"), 10000);
        m_service->stop(cmd);
        m_service->stop(cmd);
        m_service->start(cmd);
        QCOMPARE(pidOf(cmd), pid);
        QTest::qWait(300); // proves nothing is killed before the grace ends
        QVERIFY(!isGone(m_box->table, pid));
        QVERIFY(m_service->stoppingIDs().contains(cmd.id));
        QCOMPARE(m_box->tickers.fire(ServiceSupervisor::kStopGraceMs), 1); // one stop, one grace
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 30000);
        QVERIFY(isGone(m_box->table, pid));
        QVERIFY(m_service->crashedIDs().isEmpty());
    }

    // Quitting does not stop services, but a stop already asked for is carried out, without waiting for
    // the rest of its grace.
    void aStopUnderWayIsFinishedWhenTheProgramQuits() {
        const SavedCommand cmd = addCommand("quitting", "trap '' TERM; exec sleep 3000");
        auto other = m_box->makeService();
        other->start(cmd);
        const qint32 pid = pidOf(cmd);
        QTRY_COMPARE_WITH_TIMEOUT(m_box->table.cmdline(pid), QString("sleep 3000"), 10000);
        other->stop(cmd);
        QVERIFY(other->stoppingIDs().contains(cmd.id));
        other.reset();
        QVERIFY(isGone(m_box->table, pid));
    }

    void removingARunningCommandStopsItFirst() {
        const SavedCommand cmd = addCommand("doomed", "sleep 30");
        m_service->start(cmd);
        const qint32 pid = pidOf(cmd);
        m_service->remove(cmd);
        QVERIFY(m_service->commands().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(isGone(m_box->table, pid), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(m_service->runningIDs().isEmpty(), 5000);
        QVERIFY(m_service->crashedIDs().isEmpty());
        QVERIFY(QFile::exists(m_service->logPath("doomed")));
    }

    void pathIsTheProgramsSearchPath() {
        const SavedCommand cmd = addCommand("path", "echo $PATH");
        m_service->start(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 5000);
        QCOMPARE(QString::fromUtf8(readAll(m_service->logPath("path"))), Shell::path() + "\n");
    }

    // What the service was started with, read back from the kernel's copy: this process's environment
    // byte for byte, with the search path and the service's marker.
    void environmentKeepsItsBytes_data() { EnvironmentBytes::addValueRows(); }
    void environmentKeepsItsBytes() {
        QFETCH(QByteArray, value);
        QVERIFY(::setenv("QUILLBAY_TEST_BYTES", value.constData(), 1) == 0);
        const auto unset = qScopeGuard([] { ::unsetenv("QUILLBAY_TEST_BYTES"); });
        const SavedCommand cmd = addCommand("environ", EnvironmentBytes::kDumpCommand);
        m_service->start(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 5000);
        QVERIFY(!m_service->crashedIDs().contains(cmd.id));
        const QList<QByteArray> entries = EnvironmentBytes::entries(readAll(m_service->logPath("environ")));
        QVERIFY(entries.contains("QUILLBAY_TEST_BYTES=" + value));
        QVERIFY(entries.contains("PATH=" + Shell::path().toUtf8()));
        QVERIFY(entries.contains(OrphanCheck::kServiceIdVariable + '=' +
                                 cmd.id.toString(QUuid::WithoutBraces).toUpper().toLatin1()));
    }

    // A machine without zsh: the rule falls through to the POSIX shell, and services still start.
    void startsWhereThereIsNoZsh() {
        QTemporaryDir dir;
        const QString shell =
            Shell::pickShell(dir.filePath("zsh"), dir.filePath("login-shell"), dir.filePath("SHELL"));
        QCOMPARE(shell, QString("/bin/sh"));
        TestSupport::ServiceSandbox box;
        box.shell = shell;
        CommandsService& service = box.service();
        service.add("no-zsh", "echo \"zsh:${ZSH_VERSION:-none} $1\"; exit 0", std::nullopt);
        const SavedCommand cmd = service.commands().last();
        service.start(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(!service.runningIDs().contains(cmd.id), 5000);
        QVERIFY(!service.crashedIDs().contains(cmd.id));
        QCOMPARE(readAll(service.logPath("no-zsh")), QByteArray("zsh:none \n"));
    }

    void bothStreamsLandInOneLogInOrder() {
        const SavedCommand cmd = addCommand("streams", "echo out1; echo err1 >&2; echo out2; echo err2 >&2");
        m_service->start(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 5000);
        const QString log = m_service->logPath("streams");
        QCOMPARE(readAll(log), QByteArray("out1\nerr1\nout2\nerr2\n"));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(log).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0600u);
    }

    void serviceHasItsOwnSessionAndOnlyStandardDescriptors() {
        // A descriptor of ours without close-on-exec must still not reach the service.
        const int leak = ::open("/dev/zero", O_RDONLY);
        QVERIFY(leak > 2);
        const SavedCommand cmd = addCommand("fds", "sleep 30");
        m_service->start(cmd);
        ::close(leak);
        const qint32 pid = pidOf(cmd);
        QTRY_COMPARE_WITH_TIMEOUT(m_box->table.cmdline(pid), QString("sleep 30"), 5000);
        const QString fdDir = QString("/proc/%1/fd").arg(pid);
        // Waited for: just after the exec, the loader holds the libraries it reads open, for seconds on a
        // loaded machine. A leaked descriptor stays for the whole 30 s.
        const auto descriptors = [&fdDir] {
            QStringList held;
            const QDir dir(fdDir);
            for (const QString& fd : dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
                held << fd + " -> " + QFile::symLinkTarget(dir.filePath(fd));
            return held;
        };
        const bool onlyThree = QTest::qWaitFor([&] { return descriptors().size() == 3; }, 20000);
        QVERIFY2(onlyThree, qPrintable(descriptors().join(", ")));
        QCOMPARE(QFile::symLinkTarget(fdDir + "/0"), "/dev/null");
        QCOMPARE(QFile::symLinkTarget(fdDir + "/1"),
                 QFileInfo(m_service->logPath("fds")).canonicalFilePath());
        QCOMPARE(QFile::symLinkTarget(fdDir + "/2"),
                 QFileInfo(m_service->logPath("fds")).canonicalFilePath());
        QCOMPARE(::getsid(pid), pid);
        QCOMPARE(::getpgid(pid), pid);
        const auto marker = m_box->table.environValue(pid, "QUILLBAY_SERVICE_ID");
        QCOMPARE(marker.value, std::optional<QString>(cmd.id.toString(QUuid::WithoutBraces).toUpper()));
    }

    void workingFolder_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("existing folder") << "dir";
        QTest::newRow("missing folder") << "missing";
        QTest::newRow("a regular file") << "file";
    }
    void workingFolder() {
        QFETCH(QString, kind);
        const QString dir = m_box->path("work");
        QDir().mkpath(dir);
        QFile(m_box->path("plain")).open(QIODevice::WriteOnly);
        const QString given = kind == "dir"       ? dir
                              : kind == "missing" ? m_box->path("gone")
                                                  : m_box->path("plain");
        const SavedCommand cmd = addCommand("pwd", "pwd", given);
        m_service->start(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(!m_service->runningIDs().contains(cmd.id), 5000);
        const QString expected =
            kind == "dir" ? QDir(dir).canonicalPath() : QDir(QDir::homePath()).canonicalPath();
        QCOMPARE(QString::fromUtf8(readAll(m_service->logPath("pwd"))).trimmed(), expected);
    }

    void emptyingASharedLogLeavesNoHole() {
        // Two commands with one name share a log; the second start empties it under the first writer.
        const SavedCommand writer =
            addCommand("shared", "while :; do echo aaaaaaaaaaaaaaaa; sleep 0.02; done");
        const SavedCommand other = addCommand("shared", "sleep 30");
        m_service->start(writer);
        const QString log = m_service->logPath("shared");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(log).size() > 2000, 20000);
        m_service->start(other);
        // Read as soon as the old writer has written again: an offset kept from before the emptying
        // would show as a jump past 2000 bytes, the gap filled with NUL bytes.
        QByteArray content;
        QTRY_VERIFY_WITH_TIMEOUT(!(content = readAll(log)).isEmpty(), 10000);
        QVERIFY2(!content.contains('\0'), "the old writer went on at its old offset");
        QVERIFY(content.size() < 2000);
    }

    void endIsSeenWithoutAPidfd() {
        PidfdlessLauncher launcher;
        CommandsService service({launcher, m_box->table, m_box->tickers, nullptr}, m_box->path("support2"),
                                m_box->path("logs"));
        service.add("short", "sleep 0.2; exit 1", std::nullopt);
        service.add("long", "sleep 30", std::nullopt);
        const SavedCommand once = service.commands()[0], kept = service.commands()[1];
        service.start(once);
        service.start(kept);
        QVERIFY(m_box->tickers.isRunning(kEndCheckMs));
        // The check runs at each tick; the test ticks as often as it looks.
        const auto afterTick = [&](const std::function<bool()>& done) {
            m_box->tickers.fire(kEndCheckMs);
            return done();
        };
        QTRY_VERIFY_WITH_TIMEOUT(afterTick([&] { return service.crashedIDs().contains(once.id); }), 5000);
        QVERIFY(service.runningIDs().contains(kept.id));
        service.stop(kept);
        QTRY_VERIFY_WITH_TIMEOUT(afterTick([&] { return service.runningIDs().isEmpty(); }), 5000);
        QVERIFY(!service.crashedIDs().contains(kept.id));
        // Nothing left to poll for: the check sleeps.
        QVERIFY(!m_box->tickers.isRunning(kEndCheckMs));
    }

    void launchFailureIsLoggedAndChangesNothing() {
        FakeServiceLauncher failing;
        failing.failWith = QStringLiteral("No such file or directory");
        QtTickerFactory tickers;
        CommandsService service({failing, m_box->table, tickers}, m_box->path("support2"),
                                m_box->path("logs"));
        service.add("web", "npm start", std::nullopt);
        QDir().mkpath(m_box->path("logs"));
        QFile old(service.logPath("web"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("earlier run\n");
        old.close();
        TestSupport::LogCapture capture;
        QSignalSpy running(&service, &CommandsService::runningIDsChanged);
        service.start(service.commands()[0]);
        QCOMPARE(capture.lines(),
                 QStringList{"[Quillbay] falha ao iniciar 'web': No such file or directory"});
        QCOMPARE(running.size(), 0);
        QVERIFY(service.runningIDs().isEmpty());
        QCOMPARE(QFileInfo(service.logPath("web")).size(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_ServiceProcesses)
#include "tst_ServiceProcesses.moc"
