// Services outlive the program that started them (normal exit, Ctrl-C to its process group) and are
// taken back from "running.json" by the next run, but only when the recorded process is still the
// service: not a process started later under a reused pid, not another program, not another service.
// While that check runs, the commands it may take back cannot be started a second time.
#include "fakes/PidfdlessLauncher.h"
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "model/SavedCommand.h"
#include "platform/posix/PosixServiceLauncher.h"
#include "platform/procfs/LinuxProcessTable.h"
#include "platform/qt/QtTickerFactory.h"
#include "services/AppPaths.h"
#include "services/CommandsService.h"
#include "services/OrphanCheck.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSemaphore>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kEndCheckMs = 2000;

QString idText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces).toUpper();
}

// Changes whenever the file is replaced (a new inode, a new modification time).
QString identity(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return QString("%1/%2.%3").arg(st.st_ino).arg(st.st_mtim.tv_sec).arg(st.st_mtim.tv_nsec);
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

using TestSupport::isGone;

class tst_ServiceAdoption : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    PosixServiceLauncher m_launcher;
    LinuxProcessTable m_table;
    QtTickerFactory m_tickers;
    QList<qint32> m_spawned;

    QString support() const { return TestSupport::folders().supportDir(); }
    QString runningFile() const { return support() + "/running.json"; }

    [[nodiscard]] bool writeCommands(const QList<SavedCommand>& commands) {
        return TestSupport::passes([&] {
            QVERIFY(AppPaths::writePrivate(SavedCommandCodec::encodeList(commands),
                                           support() + "/commands.json"));
        });
    }
    [[nodiscard]] bool writeRunning(const QJsonObject& map) {
        return TestSupport::passes([&] {
            QVERIFY(AppPaths::writePrivate(QJsonDocument(map).toJson(QJsonDocument::Compact), runningFile()));
        });
    }
    QJsonObject readRunning() {
        QFile f(runningFile());
        return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject();
    }
    // What the file holds for `pid` once it is taken back: the pid, and when it started.
    QJsonObject recordOf(const QUuid& id, qint32 pid) {
        QJsonObject o{{idText(id), pid}};
        if (const auto st = m_table.stat(pid))
            o.insert(idText(id) + ".start", OrphanCheck::startMark(*st));
        return o;
    }
    qint32 spawn(const QString& line) {
        const qint32 pid = TestSupport::spawnDetached(line);
        m_spawned << pid;
        return pid;
    }
    std::unique_ptr<CommandsService> make() {
        auto s = std::make_unique<CommandsService>(CommandsService::Seams{m_launcher, m_table, m_tickers},
                                                   support(), TestSupport::folders().logsDir());
        s->waitForAdoption();
        return s;
    }
    int runHost(const QString& mode, const QUuid& id, QByteArray* out = nullptr) {
        QProcess host;
        host.start(SERVICE_HOST, {mode, idText(id)});
        if (!host.waitForFinished(15000))
            return -100;
        if (out)
            *out = host.readAllStandardOutput();
        return host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1;
    }

private slots:
    void initTestCase() {
        m_home = TestSupport::isolateHome();
        QVERIFY(QFile::exists(SERVICE_HOST));
    }
    void init() {
        QFile::remove(runningFile());
        QFile::remove(support() + "/commands.json");
    }
    void cleanup() {
        for (qint32 pid : m_spawned)
            ::kill(pid, SIGKILL);
        m_spawned.clear();
    }

    void serviceOutlivesANormalExitAndIsStoppedByTheNextRun() {
        const SavedCommand cmd{QUuid::createUuid(), "sleeper", "sleep 61", std::nullopt};
        QVERIFY(writeCommands({cmd}));
        QCOMPARE(runHost("start", cmd.id), 0);
        const qint32 pid = readRunning().value(idText(cmd.id)).toInt(-1);
        QVERIFY(pid > 0);
        m_spawned << pid;
        QTest::qWait(200); // proves the service outlives the program's exit
        QVERIFY(!isGone(m_table, pid));
        QCOMPARE(m_table.cmdline(pid), QString("sleep 61"));

        QByteArray out;
        QCOMPARE(runHost("adopt-stop", cmd.id, &out), 0);
        QCOMPARE(out.trimmed(), QByteArray("stopped"));
        QTRY_VERIFY_WITH_TIMEOUT(isGone(m_table, pid), 5000);
    }

    void serviceOutlivesCtrlCInTheProgramsTerminal() {
        const SavedCommand cmd{QUuid::createUuid(), "sleeper", "sleep 62", std::nullopt};
        QVERIFY(writeCommands({cmd}));
        QProcess host;
        // Its own process group, standing for the terminal's foreground group.
        host.setChildProcessModifier([] { ::setpgid(0, 0); });
        host.start(SERVICE_HOST, {"start-wait", idText(cmd.id)});
        QVERIFY(host.waitForStarted());
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += host.readAllStandardOutput()).contains("started"), 10000);
        const qint32 pid = readRunning().value(idText(cmd.id)).toInt(-1);
        QVERIFY(pid > 0);
        m_spawned << pid;
        QCOMPARE(::kill(-qint32(host.processId()), SIGINT), 0);
        QVERIFY(host.waitForFinished(5000));
        QCOMPARE(host.exitStatus(), QProcess::CrashExit);
        QTest::qWait(200); // proves the service outlives the program's Control-C
        QVERIFY(!isGone(m_table, pid));

        auto service = make();
        QVERIFY(service->runningIDs().contains(cmd.id));
        service->stop(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(!service->runningIDs().contains(cmd.id), 5000);
        QVERIFY(service->crashedIDs().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(isGone(m_table, pid), 5000);
        QCOMPARE(readRunning(), QJsonObject());
    }

    void adoptionDecides_data() {
        QTest::addColumn<QString>("saved");   // the saved command line
        QTest::addColumn<QString>("process"); // what actually runs under the recorded pid
        QTest::addColumn<QString>("marker");  // "own", "other" or "" for the service id variable
        QTest::addColumn<bool>("adopted");
        QTest::newRow("same program") << "sleep 63"
                                      << "sleep 63"
                                      << "" << true;
        QTest::newRow("full path, same program") << "  /bin/sleep 63"
                                                 << "sleep 63"
                                                 << "" << true;
        QTest::newRow("another program") << "python3 -m http.server"
                                         << "sleep 63"
                                         << "" << false;
        QTest::newRow("marked, though the line differs") << "cd /tmp && sleep 63"
                                                         << "sleep 63"
                                                         << "own" << true;
        QTest::newRow("another service's mark") << "sleep 63"
                                                << "sleep 63"
                                                << "other" << false;
    }
    void adoptionDecides() {
        QFETCH(QString, saved);
        QFETCH(QString, process);
        QFETCH(QString, marker);
        QFETCH(bool, adopted);
        const SavedCommand cmd{QUuid::createUuid(), "svc", saved, std::nullopt};
        QVERIFY(writeCommands({cmd}));
        QString line = process;
        if (!marker.isEmpty())
            line = QString("env QUILLBAY_SERVICE_ID=%1 %2")
                       .arg(idText(marker == "own" ? cmd.id : QUuid::createUuid()), process);
        const qint32 pid = spawn(line);
        QTRY_COMPARE_WITH_TIMEOUT(m_table.cmdline(pid), process, 5000);
        QVERIFY(writeRunning({{idText(cmd.id), pid}}));
        auto service = make();
        QCOMPARE(service->runningIDs().contains(cmd.id), adopted);
        QCOMPARE(readRunning().contains(idText(cmd.id)), adopted);
    }

    // Where the file records when the process started, that decides, whatever the process has exec'd
    // into or dropped from its environment since; a file of an older version is read as it always was.
    void recordedStartDecides_data() {
        QTest::addColumn<QString>("saved");
        QTest::addColumn<bool>("recordStart");
        QTest::addColumn<int>("offset"); // added to the real start before it is recorded
        QTest::addColumn<bool>("adopted");
        QTest::newRow("exec'd, environment cleared") << "exec env -i sleep 73" << true << 0 << true;
        QTest::newRow("the same in an older version's file") << "exec env -i sleep 73" << false << 0 << false;
        QTest::newRow("same program, another start") << "sleep 73" << true << -5 << false;
    }
    void recordedStartDecides() {
        QFETCH(QString, saved);
        QFETCH(bool, recordStart);
        QFETCH(int, offset);
        QFETCH(bool, adopted);
        const SavedCommand cmd{QUuid::createUuid(), "svc", saved, std::nullopt};
        QVERIFY(writeCommands({cmd}));
        const qint32 pid = spawn("env -i sleep 73");
        QTRY_COMPARE_WITH_TIMEOUT(m_table.cmdline(pid), QString("sleep 73"), 5000);
        QJsonObject map{{idText(cmd.id), pid}};
        if (recordStart)
            map.insert(idText(cmd.id) + ".start", OrphanCheck::startMark(*m_table.stat(pid)) + offset);
        QVERIFY(writeRunning(map));
        auto service = make();
        QCOMPARE(service->runningIDs().contains(cmd.id), adopted);
        QCOMPARE(readRunning(), adopted ? recordOf(cmd.id, pid) : QJsonObject());
        if (adopted) {
            service->stop(cmd);
            QTRY_VERIFY_WITH_TIMEOUT(isGone(m_table, pid), 5000);
        }
    }

    // The recorded process is gone, but a process it left in its group lives on without the marker
    // (`env -i server &`): the next run takes that one back.
    void whatTheRecordedGroupHoldsIsTakenBack() {
        const SavedCommand cmd{QUuid::createUuid(), "svc", "env -i sleep 74 &", std::nullopt};
        QVERIFY(writeCommands({cmd}));
        const qint32 leader = spawn("setsid sh -c 'env -i sleep 74 & exit 0'");
        // Read while it may still be there (as a zombie, perhaps); once it is gone any start will do.
        const auto leaderStat = m_table.stat(leader);
        const qint32 leaderStart = leaderStat ? OrphanCheck::startMark(*leaderStat) : 0;
        qint32 left = 0;
        QTRY_VERIFY_WITH_TIMEOUT(
            isGone(m_table, leader) &&
                [&] {
                    for (const ProcessTable::Stat& st : m_table.all()) {
                        if (st.pgrp == leader && st.state != 'Z' && m_table.cmdline(st.pid) == "sleep 74")
                            left = st.pid;
                    }
                    return left > 0;
                }(),
            5000);
        m_spawned << left;
        QVERIFY(writeRunning({{idText(cmd.id), leader}, {idText(cmd.id) + ".start", leaderStart}}));
        auto service = make();
        QVERIFY(service->runningIDs().contains(cmd.id));
        const QJsonObject back = readRunning();
        QCOMPARE(back.value(idText(cmd.id)).toInt(), left);
        QCOMPARE(back.value(idText(cmd.id) + ".group").toInt(), leader);
        service->stop(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(!service->runningIDs().contains(cmd.id), 10000);
        QVERIFY(isGone(m_table, left));
        QVERIFY(service->crashedIDs().isEmpty());
    }

    void processStartedAfterTheFileIsNotAdopted() {
        const SavedCommand cmd{QUuid::createUuid(), "svc", "sleep 64", std::nullopt};
        QVERIFY(writeCommands({cmd}));
        const qint32 pid = spawn("sleep 64");
        QTRY_COMPARE_WITH_TIMEOUT(m_table.cmdline(pid), QString("sleep 64"), 5000);
        QVERIFY(writeRunning({{idText(cmd.id), pid}}));
        // The file was last written a minute ago: the process under that pid came later.
        QFile f(runningFile());
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        f.close();
        auto service = make();
        QVERIFY(service->runningIDs().isEmpty());
        QCOMPARE(readRunning(), QJsonObject());
    }

    void staleEntriesAreDroppedFromTheFile() {
        const SavedCommand live{QUuid::createUuid(), "live", "sleep 65", std::nullopt};
        const SavedCommand dead{QUuid::createUuid(), "dead", "sleep 65", std::nullopt};
        const SavedCommand zombieParent{QUuid::createUuid(), "empty", "   ", std::nullopt};
        QVERIFY(writeCommands({live, dead, zombieParent}));
        const qint32 pid = spawn("sleep 65");
        QTRY_COMPARE_WITH_TIMEOUT(m_table.cmdline(pid), QString("sleep 65"), 5000);
        QVERIFY(writeRunning({{idText(live.id), pid},
                              {idText(dead.id), 1 << 30},
                              {idText(zombieParent.id), pid},
                              {idText(QUuid::createUuid()), pid}, // a command deleted since
                              {"not-a-uuid", pid}}));
        auto service = make();
        QCOMPARE(service->runningIDs(), QSet<QUuid>{live.id});
        QCOMPARE(readRunning(), recordOf(live.id, pid));
    }

    // An undecodable "running.json" is set aside whole, as every other unreadable store is; nothing is
    // adopted and no new file is written at start-up.
    void undecodableFileIsSetAside() {
        const SavedCommand cmd{QUuid::createUuid(), "svc", "sleep 66", std::nullopt};
        QVERIFY(writeCommands({cmd}));
        const QByteArray bad = "{\"" + idText(cmd.id).toUtf8() + "\":\"12\"}";
        QVERIFY(AppPaths::writePrivate(bad, runningFile()));
        auto service = make();
        QVERIFY(service->runningIDs().isEmpty());
        QVERIFY(!QFile::exists(runningFile()));
        const QStringList aside = QDir(support()).entryList({"running.json.corrupt-*"}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QCOMPARE(readFile(support() + "/" + aside.first()), bad);
        for (const QString& name : aside)
            QFile::remove(support() + "/" + name);
    }

    // FIFOs in place of both stores: the start neither hangs nor moves them, the list is empty, and the
    // session runs from memory, leaving both FIFOs as they are.
    void fifoStoresDoNotHangTheStart() {
        for (const char* name : {"/commands.json", "/running.json"})
            QCOMPARE(::mkfifo(QFile::encodeName(support() + name).constData(), 0600), 0);
        auto service = make();
        QVERIFY(service->commands().isEmpty());
        QVERIFY(service->runningIDs().isEmpty());
        service->add("after", "sleep 67", std::nullopt);
        service->start(service->commands().first());
        QVERIFY(service->runningIDs().contains(service->commands().first().id));
        for (const char* name : {"/commands.json", "/running.json"}) {
            QFileInfo info(support() + name);
            QVERIFY(!info.isFile() && info.exists());
        }
        QVERIFY(TestSupport::stopAll(*service));
        for (const char* name : {"/commands.json", "/running.json"})
            QFile::remove(support() + name);
    }

    void startWaitsForAPendingAdoption_data() {
        QTest::addColumn<bool>("alive"); // whether the recorded process still runs when the check looks
        QTest::newRow("recorded process lives: taken back, no second copy") << true;
        QTest::newRow("recorded process ended: start works once the check is over") << false;
    }
    void startWaitsForAPendingAdoption() {
        QFETCH(bool, alive);
        const SavedCommand cmd{QUuid::createUuid(), "held", "sleep 68", std::nullopt};
        QVERIFY(writeCommands({cmd}));
        const qint32 pid = spawn("sleep 68");
        QTRY_COMPARE_WITH_TIMEOUT(m_table.cmdline(pid), QString("sleep 68"), 5000);
        QVERIFY(writeRunning({{idText(cmd.id), pid}}));
        const QString log = TestSupport::folders().logsDir() + "/held.log";
        QVERIFY(AppPaths::writePrivate("earlier run\n", log));

        auto gate = std::make_shared<QSemaphore>();
        auto service = std::make_unique<CommandsService>(
            CommandsService::Seams{m_launcher, m_table, m_tickers, nullptr, [gate] { gate->acquire(); }},
            support(), TestSupport::folders().logsDir());
        // Whatever happens below, the check is let go before the service waits for it.
        auto letGo = qScopeGuard([&] {
            gate->release();
            service.reset();
        });
        QSignalSpy running(service.get(), &CommandsService::runningIDsChanged);
        service->start(cmd); // the row's button
        service->start(cmd); // the palette's entry goes through the same call
        QVERIFY(service->runningIDs().isEmpty());
        QCOMPARE(running.size(), 0);
        QCOMPARE(readFile(log), QByteArray("earlier run\n")); // not emptied for a launch that did not happen
        QCOMPARE(readRunning(), QJsonObject({{idText(cmd.id), pid}}));
        if (!alive) {
            ::kill(pid, SIGKILL);
            QTRY_VERIFY_WITH_TIMEOUT(isGone(m_table, pid), 5000);
        }

        gate->release();
        QVERIFY(service->waitForAdoption());
        if (alive) {
            QCOMPARE(service->runningIDs(), QSet<QUuid>{cmd.id});
            service->start(cmd);
            QCOMPARE(readRunning(), recordOf(cmd.id, pid));
            service->stop(cmd);
            QTRY_VERIFY_WITH_TIMEOUT(isGone(m_table, pid), 5000);
        } else {
            QVERIFY(service->runningIDs().isEmpty());
            service->start(cmd);
            QVERIFY(service->runningIDs().contains(cmd.id));
            const qint32 fresh = readRunning().value(idText(cmd.id)).toInt(-1);
            QVERIFY(fresh > 0 && fresh != pid);
            m_spawned << fresh;
            service->stop(cmd);
            QTRY_VERIFY_WITH_TIMEOUT(!service->runningIDs().contains(cmd.id), 5000);
        }
    }

    void runningFileIsRewrittenOnlyWhenItChanges() {
        const SavedCommand a{QUuid::createUuid(), "a", "sleep 69", std::nullopt};
        const SavedCommand b{QUuid::createUuid(), "b", "sleep 69", std::nullopt};
        QVERIFY(writeCommands({a, b}));
        const qint32 pa = spawn("sleep 69"), pb = spawn("sleep 69");
        QTRY_COMPARE_WITH_TIMEOUT(m_table.cmdline(pa), QString("sleep 69"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(m_table.cmdline(pb), QString("sleep 69"), 5000);
        QVERIFY(writeRunning({{idText(a.id), pa}, {idText(b.id), pb}}));
        PidfdlessLauncher launcher;
        FakeTickerFactory tickers;
        CommandsService service({launcher, m_table, tickers, nullptr}, support(),
                                TestSupport::folders().logsDir());
        QVERIFY(service.waitForAdoption());
        QCOMPARE(service.runningIDs().size(), 2);

        // Ticks that find both alive leave the file as it is.
        const QString first = identity(runningFile());
        QVERIFY(!first.isEmpty());
        for (int i = 0; i < 5; ++i)
            QCOMPARE(tickers.fire(kEndCheckMs), 1);
        QCOMPARE(identity(runningFile()), first);

        // An end changes what it holds: written once, then left alone again.
        ::kill(pa, SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(isGone(m_table, pa), 5000);
        tickers.fire(kEndCheckMs);
        QTRY_VERIFY_WITH_TIMEOUT(service.crashedIDs().contains(a.id), 5000);
        QCOMPARE(readRunning(), recordOf(b.id, pb));
        const QString second = identity(runningFile());
        QVERIFY(second != first);
        for (int i = 0; i < 3; ++i)
            tickers.fire(kEndCheckMs);
        QCOMPARE(identity(runningFile()), second);
    }

    void adoptedServicesThatEndByThemselvesAreCrashes() {
        QList<SavedCommand> commands;
        QJsonObject running;
        QList<qint32> pids;
        for (int i = 0; i < 3; ++i) {
            commands << SavedCommand{QUuid::createUuid(), QString("s%1").arg(i), "sleep 67", std::nullopt};
            pids << spawn("sleep 67");
            running.insert(idText(commands.last().id), pids.last());
        }
        for (qint32 pid : pids)
            QTRY_COMPARE_WITH_TIMEOUT(m_table.cmdline(pid), QString("sleep 67"), 5000);
        QVERIFY(writeCommands(commands));
        QVERIFY(writeRunning(running));
        auto service = make();
        QCOMPARE(service->runningIDs().size(), 3);

        // One is stopped by the user, one ends by itself, one lives on.
        service->stop(commands[0]);
        QTRY_VERIFY_WITH_TIMEOUT(!service->runningIDs().contains(commands[0].id), 10000);
        ::kill(pids[1], SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(service->crashedIDs().contains(commands[1].id), 10000);
        QVERIFY(!service->runningIDs().contains(commands[1].id));
        QVERIFY(!service->crashedIDs().contains(commands[0].id));
        QCOMPARE(readRunning(), recordOf(commands[2].id, pids[2]));
        ::kill(pids[2], SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(service->runningIDs().isEmpty(), 10000);
        QCOMPARE(readRunning(), QJsonObject());
    }
};

QTEST_GUILESS_MAIN(tst_ServiceAdoption)
#include "tst_ServiceAdoption.moc"
