// Ending a service: which processes belong to it (its group, its tree, its marker) and which never do,
// SIGTERM first and SIGKILL only for what outlives the grace, and a stop that gives up on the unkillable.
#include "fakes/FakeProcessTable.h"
#include "fakes/FakeServiceLauncher.h"
#include "model/SavedCommand.h"
#include "platform/ServiceLauncher.h"
#include "services/OrphanCheck.h"
#include "services/ServiceStop.h"

#include <QtTest>

#include <csignal>

namespace {

const QString kMarker = QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E");
const QString kOther = QStringLiteral("1F8FAD5B-D9CB-469F-A165-70867728950E");

FakeProcessTable::Process proc(qint32 ppid, qint32 pgrp, const QString& marker = {}) {
    FakeProcessTable::Process p;
    p.ppid = ppid;
    p.pgrp = pgrp;
    p.session = pgrp;
    if (!marker.isEmpty())
        p.environment.insert("QUILLBAY_SERVICE_ID", marker);
    return p;
}

// A service 100 with: a child in its group (101), a grandchild that made a group of its own (102), an
// orphan still in the group (103), a process that left group and tree but carries the marker (104); and
// beside it: another service's process (105), an unrelated one (106), one whose environment cannot be
// read (107), a zombie of the service (108).
void fillService(FakeProcessTable& t) {
    t.processes.insert(100, proc(1, 100, kMarker));
    t.processes.insert(101, proc(100, 100, kMarker));
    t.processes.insert(102, proc(101, 102, kMarker));
    t.processes.insert(103, proc(1, 100));
    t.processes.insert(104, proc(1, 104, kMarker.toLower()));
    t.processes.insert(105, proc(1, 105, kOther));
    t.processes.insert(106, proc(1, 106));
    FakeProcessTable::Process hidden = proc(1, 107, kMarker);
    hidden.environmentReadable = false;
    t.processes.insert(107, hidden);
    FakeProcessTable::Process zombie = proc(100, 100, kMarker);
    zombie.state = 'Z';
    t.processes.insert(108, zombie);
}

const QList<qint32> kServiceOthers{101, 102, 103, 104};
const QList<qint32> kBystanders{105, 106, 107};

ServiceStop::Timing quick(int graceMs = 200) {
    ServiceStop::Timing t;
    t.graceMs = graceMs;
    t.killWaitMs = 500;
    t.pollMs = 5;
    return t;
}

} // namespace

class tst_ServiceStop : public QObject {
    Q_OBJECT
private slots:
    void membersOfAService_data() {
        QTest::addColumn<qint32>("pgid");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<qint32>("self");
        QTest::addColumn<QList<qint32>>("expected");
        QTest::newRow("group, tree and marker") << 100 << kMarker << 999 << kServiceOthers;
        QTest::newRow("the program itself is never one")
            << 100 << kMarker << 104 << QList<qint32>{101, 102, 103};
        QTest::newRow("no group known") << 0 << kMarker << 999 << QList<qint32>{101, 102, 104};
        QTest::newRow("no marker known") << 100 << QString() << 999 << QList<qint32>{101, 102, 103};
    }
    void membersOfAService() {
        QFETCH(qint32, pgid);
        QFETCH(QString, marker);
        QFETCH(qint32, self);
        QFETCH(QList<qint32>, expected);
        FakeProcessTable table;
        fillService(table);
        const QList<qint32> got = ServiceStop::members(table, 100, pgid, marker, self);
        QVERIFY2(got == expected, qPrintable(QString("got %1").arg([&] {
                     QStringList l;
                     for (qint32 p : got)
                         l << QString::number(p);
                     return l.join(",");
                 }())));
    }

    void stop_data() {
        QTest::addColumn<QList<qint32>>("ignoring");
        QTest::addColumn<bool>("killed");
        QTest::newRow("all obey SIGTERM") << QList<qint32>{} << false;
        QTest::newRow("the shell ignores it") << QList<qint32>{100} << true;
        QTest::newRow("one that left the group ignores it") << QList<qint32>{104} << true;
    }
    void stop() {
        QFETCH(QList<qint32>, ignoring);
        QFETCH(bool, killed);
        FakeProcessTable table;
        fillService(table);
        FakeServiceLauncher launcher(table);
        launcher.ignoresTerm = QSet<qint32>(ignoring.cbegin(), ignoring.cend());
        ServiceStop::Flags flags;
        QVERIFY(ServiceStop::run(launcher, table, {100, -1, kMarker, {}}, quick(), flags));
        for (qint32 p : kServiceOthers + QList<qint32>{100})
            QVERIFY2(!table.processes.contains(p), qPrintable(QString::number(p)));
        for (qint32 p : kBystanders)
            QVERIFY(table.processes.contains(p));
        for (const auto& [pid, sig] : launcher.received)
            QVERIFY2(!kBystanders.contains(pid), qPrintable(QString("%1 got %2").arg(pid).arg(sig)));
        // SIGTERM reached each first, through the group where it belongs to it.
        QCOMPARE(launcher.groupSignals.first(), std::make_pair(qint32(100), int(SIGTERM)));
        const bool anyKill = std::any_of(launcher.received.cbegin(), launcher.received.cend(),
                                         [](const auto& r) { return r.second == SIGKILL; });
        QCOMPARE(anyKill, killed);
    }

    // A quitting program does not wait out the grace: what was asked to stop is killed at once.
    void hurryCutsTheGraceShort() {
        FakeProcessTable table;
        fillService(table);
        FakeServiceLauncher launcher(table);
        launcher.ignoresTerm = {100, 101};
        ServiceStop::Flags flags;
        flags.hurry = true;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(ServiceStop::run(launcher, table, {100, -1, kMarker, {}}, quick(600000), flags));
        QVERIFY(clock.elapsed() < 300000);
        QVERIFY(!table.processes.contains(100) && !table.processes.contains(101));
    }

    // A process that not even SIGKILL ends (stuck in the kernel) makes the stop give up, not hang.
    void unkillableGivesUp() {
        FakeProcessTable table;
        fillService(table);
        FakeServiceLauncher launcher(table);
        launcher.unkillable = {102};
        ServiceStop::Flags flags;
        QVERIFY(!ServiceStop::run(launcher, table, {100, -1, kMarker, {}}, quick(), flags));
        QVERIFY(table.processes.contains(102));
        QVERIFY(!table.processes.contains(100));
    }

    // What a service left behind once its shell is gone: only live processes of its own marker (either
    // case), the oldest first, never the program itself; the one taken is the oldest that still passes
    // the checks when it is looked at.
    void whatAServiceLeftBehind_data() {
        QTest::addColumn<qint32>("self");
        QTest::addColumn<QList<qint32>>("gone"); // ended before the pick
        QTest::addColumn<QList<qint32>>("marked");
        QTest::addColumn<qint32>("taken"); // -1: none
        QTest::newRow("oldest first") << 999 << QList<qint32>{} << QList<qint32>{104, 102, 101, 100} << 104;
        QTest::newRow("the program is never one")
            << 104 << QList<qint32>{} << QList<qint32>{102, 101, 100} << 102;
        QTest::newRow("oldest gone before the pick")
            << 999 << QList<qint32>{104} << QList<qint32>{102, 101, 100} << 102;
        QTest::newRow("all gone") << 999 << QList<qint32>{100, 101, 102, 104} << QList<qint32>{} << -1;
    }
    void whatAServiceLeftBehind() {
        QFETCH(qint32, self);
        QFETCH(QList<qint32>, gone);
        QFETCH(QList<qint32>, marked);
        QFETCH(qint32, taken);
        FakeProcessTable table;
        fillService(table);
        // Started in the order 104, 102, 101, 100; 108 (a zombie) and 107 (unreadable) never count.
        const QList<qint32> order{104, 102, 101, 100, 103, 105, 106, 107, 108};
        for (int i = 0; i < order.size(); ++i)
            table.processes[order[i]].startTime = 1000 + i;
        for (qint32 pid : gone)
            table.processes.remove(pid);
        const QUuid id = *SavedCommandCodec::parseId(kMarker);
        QCOMPARE(OrphanCheck::marked(table, table.all(), {id}, self).value(id), marked);
        if (self != 999)
            return; // the pick runs in this process: its own pid is the real one
        FakeServiceLauncher launcher(table);
        const auto found = OrphanCheck::survivor(launcher, table, id);
        QCOMPARE(found ? found->pid : -1, taken);
        if (found)
            QCOMPARE(found->id, id);
    }

    // A daemon detaching: its shell is gone, and the first look catches only a middle process as it ends
    // (a zombie, or nothing at all when it vanished between the listing and the read); what it leaves
    // appears only at a later look, and that one is taken. Nothing is believed gone until the looks
    // agree, and then the search ends.
    void theSearchLooksAgainUntilTheLooksAgree_data() {
        QTest::addColumn<QString>("firstLook"); // "zombie", "empty" or "nothing ever"
        QTest::addColumn<int>("appearsAt");     // the look at which the daemon is there; -1: never
        QTest::addColumn<qint32>("taken");
        QTest::newRow("middle process a zombie") << "zombie" << 1 << 201;
        QTest::newRow("middle process vanished") << "empty" << 1 << 201;
        QTest::newRow("two empty looks, then the daemon") << "empty" << 2 << 201;
        QTest::newRow("nothing ever") << "empty" << -1 << -1;
    }
    void theSearchLooksAgainUntilTheLooksAgree() {
        QFETCH(QString, firstLook);
        QFETCH(int, appearsAt);
        QFETCH(qint32, taken);
        FakeProcessTable table;
        FakeServiceLauncher launcher(table);
        const QUuid id = *SavedCommandCodec::parseId(kMarker);
        if (firstLook == "zombie") {
            FakeProcessTable::Process middle = proc(1, 200, kMarker);
            middle.state = 'Z';
            table.processes.insert(200, middle);
        }
        table.onScan = [&](int scan) {
            if (scan == appearsAt) {
                table.processes.remove(200);
                table.processes.insert(201, proc(1, 200, kMarker));
            }
        };
        OrphanCheck::Settle settle;
        settle.firstWaitMs = settle.maxWaitMs = 1;
        const auto found = OrphanCheck::survivor(launcher, table, id, {}, settle);
        QCOMPARE(found ? found->pid : -1, taken);
        if (appearsAt < 0)
            QCOMPARE(table.scans, settle.quietLooks); // three quiet looks, then it is over
    }

    // Processes that cleared their environment are still the service's while they are in the group or
    // session its shell led; not when a later process has taken the shell's pid, which makes the group
    // another's.
    void groupMembersWithoutTheMarker_data() {
        QTest::addColumn<QString>("leader"); // what runs under the shell's pid now
        QTest::addColumn<QList<qint32>>("belonging");
        QTest::newRow("the shell is gone") << "gone" << QList<qint32>{301, 302, 303};
        QTest::newRow("the shell still runs") << "same" << QList<qint32>{300, 301, 302, 303};
        QTest::newRow("its pid was taken again") << "reused" << QList<qint32>{303};
    }
    void groupMembersWithoutTheMarker() {
        QFETCH(QString, leader);
        QFETCH(QList<qint32>, belonging);
        FakeProcessTable table;
        const OrphanCheck::Origin origin{300, 50};
        if (leader != "gone") {
            FakeProcessTable::Process shell = proc(1, 300);
            shell.startTime = leader == "same" ? 50.5 : 90;
            table.processes.insert(300, shell);
        }
        FakeProcessTable::Process inGroup = proc(1, 300); // `env -i server &`
        inGroup.startTime = 51;
        table.processes.insert(301, inGroup);
        FakeProcessTable::Process inSession = proc(1, 302); // a group of its own, still in the session
        inSession.session = 300;
        inSession.startTime = 52;
        table.processes.insert(302, inSession);
        FakeProcessTable::Process marked = proc(1, 303, kMarker); // left both, marker kept
        marked.startTime = 53;
        table.processes.insert(303, marked);
        table.processes.insert(304, proc(1, 304)); // a bystander
        const QUuid id = *SavedCommandCodec::parseId(kMarker);
        QCOMPARE(OrphanCheck::belonging(table, table.all(), id, origin, 999), belonging);
        FakeServiceLauncher launcher(table);
        const auto found = OrphanCheck::survivor(launcher, table, id, origin);
        QVERIFY(found);
        QCOMPARE(found->pid, belonging.first());
        QCOMPARE(found->origin, origin);
    }

    // A stop of what a shell left behind still reaches the rest of the shell's group and session, and
    // never a group whose leader's pid now belongs to another process.
    void stopReachesTheShellsGroupAfterTheShell_data() {
        QTest::addColumn<bool>("reused");
        QTest::newRow("the shell's group") << false;
        QTest::newRow("its pid taken again") << true;
    }
    void stopReachesTheShellsGroupAfterTheShell() {
        QFETCH(bool, reused);
        FakeProcessTable table;
        FakeProcessTable::Process left = proc(1, 300); // followed in place of the shell
        left.startTime = 51;
        table.processes.insert(301, left);
        table.processes.insert(302, proc(1, 300)); // cleared its environment, still in the group
        FakeProcessTable::Process inSession = proc(1, 303);
        inSession.session = 300;
        table.processes.insert(303, inSession);
        if (reused) {
            FakeProcessTable::Process stranger = proc(1, 300);
            stranger.startTime = 90;
            table.processes.insert(300, stranger);
        }
        FakeServiceLauncher launcher(table);
        ServiceStop::Flags flags;
        QVERIFY(ServiceStop::run(launcher, table, {301, -1, kMarker, {300, 50}}, quick(), flags));
        QVERIFY(!table.processes.contains(301));
        QCOMPARE(table.processes.contains(302), reused);
        QCOMPARE(table.processes.contains(303), reused);
        QCOMPARE(table.processes.contains(300), reused);
    }

    // A first process already gone, with nothing left behind, is no work at all.
    void nothingLeftSendsNothing() {
        FakeProcessTable table;
        FakeServiceLauncher launcher(table);
        ServiceStop::Flags flags;
        flags.rootEnded = true;
        QVERIFY(ServiceStop::run(launcher, table, {100, -1, kMarker, {}}, quick(), flags));
        QVERIFY(launcher.received.isEmpty());
        QVERIFY(launcher.groupSignals.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_ServiceStop)
#include "tst_ServiceStop.moc"
