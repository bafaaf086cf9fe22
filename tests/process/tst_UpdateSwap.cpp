// The swap helper as the program starts it: it waits for the program, puts the staged folder in place,
// starts it and puts the previous one back when the new one fails. Killed at each of its steps, with and
// without a file system that exchanges names, it leaves a program folder that the next start (the name
// taken back from "X.old", then the leftovers removed) turns into a clean install.
#include "fakes/TestChecks.h"
#include "fakes/UpdateFixtures.h"
#include "platform/FolderSwap.h"
#include "platform/posix/PosixServiceLauncher.h"
#include "platform/procfs/LinuxProcessTable.h"
#include "services/UpdateInstaller.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

#include <unistd.h>

class tst_UpdateSwap : public QObject {
    Q_OBJECT

    LinuxProcessTable m_processes;
    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString& n) const { return m_dir->filePath(n); }
    QString installDir() const { return path("opt/Quillbay"); }
    QString workDir() const { return path("cache/update"); }
    QString archive() const { return workDir() + "/Quillbay-1.3.0-A.tar.xz"; }
    QString lockFile() const { return UpdateInstaller::lockFile(workDir()); }
    QString ranFile() const { return path("ran.txt"); }

    static bool writeFile(const QString& p, const QByteArray& data, bool exec = false) {
        return UpdateFixtures::writeFile(p, data, exec);
    }
    static QByteArray readFile(const QString& p) { return UpdateFixtures::readFile(p); }
    // A program that notes which copy of it ran, then ends with `exitCode`.
    QByteArray program(const QByteArray& name, int exitCode = 0) const {
        return UpdateFixtures::program(ranFile(), name, exitCode);
    }
    bool makeFolder(const QString& folder, const QByteArray& name, int exitCode = 0) const {
        return writeFile(folder + "/.quillbay-bundle", "1\n") &&
               writeFile(folder + "/bin/quillbay", program(name, exitCode), true) &&
               writeFile(folder + "/share/data", QByteArray(3000, name.at(0)));
    }
    // Which program a folder holds: "old", "new", or empty when it is not a whole program folder.
    QByteArray holds(const QString& folder) const {
        if (!FolderSwap::holdsProgram(QFile::encodeName(folder).toStdString()))
            return {};
        const QByteArray p = readFile(folder + "/bin/quillbay");
        const QByteArray data = readFile(folder + "/share/data");
        for (const QByteArray& name : {QByteArray("old"), QByteArray("new")})
            if (p == program(name) || p == program(name, 3))
                return data == QByteArray(3000, name.at(0)) ? name : QByteArray();
        return {};
    }
    QStringList helperArguments(qint64 pid) const {
        return {QString::number(pid), installDir(), installDir() + ".new", archive(), lockFile()};
    }
    bool lockHeld() const {
        const int fd = FolderSwap::takeLock(QFile::encodeName(lockFile()).toStdString(), -1);
        if (fd >= 0)
            ::close(fd);
        return fd < 0 && errno == EWOULDBLOCK;
    }
    // Runs the helper to its end; `env` adds to the environment.
    bool runHelper(QProcess& helper, qint64 pid, const QStringList& env = {}) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const QString& kv : env)
            e.insert(kv.section('=', 0, 0), kv.section('=', 1));
        helper.setProcessEnvironment(e);
        helper.start(QUILLBAY_SWAP, helperArguments(pid));
        return helper.waitForFinished(60000);
    }
    // The old program in place, the new one staged beside it, the archive downloaded.
    [[nodiscard]] bool stage(int newExitCode) {
        return TestSupport::passes([&] {
            QVERIFY(makeFolder(installDir(), "old"));
            QVERIFY(makeFolder(installDir() + ".new", "new", newExitCode));
            QVERIFY(writeFile(archive(), "archive"));
        });
    }
    // What a start of the program does: from "X.old" when "X" is missing, then the leftovers.
    [[nodiscard]] bool nextStart() {
        return TestSupport::passes([&] {
            if (!QFileInfo::exists(installDir()))
                QCOMPARE(UpdateInstaller::restoreInstallFolder(installDir() + ".old", workDir()),
                         installDir());
            const QStringList left = UpdateInstaller::leftovers(installDir(), workDir());
            QVERIFY(UpdateInstaller::removeLeftovers(left, workDir(), m_processes) >= 0);
        });
    }
    QStringList besideAndInWork() const {
        QStringList out;
        for (const char* s : {".new", ".old", ".failed"})
            if (QFileInfo::exists(installDir() + s) || QFileInfo(installDir() + s).isSymLink())
                out << installDir() + s;
        for (const QString& n :
             QDir(workDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
            if (n != FolderSwap::kLockName)
                out << n;
        return out;
    }

    // Both ways of swapping, each with a new version that starts and one that does not.
    static void swapKinds() {
        QTest::addColumn<bool>("exchange");
        QTest::addColumn<int>("newExitCode");
        QTest::newRow("exchanged, new starts") << true << 0;
        QTest::newRow("exchanged, new fails") << true << 3;
        QTest::newRow("two renames, new starts") << false << 0;
        QTest::newRow("two renames, new fails") << false << 3;
    }

private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo(QUILLBAY_SWAP).isExecutable(), QUILLBAY_SWAP);
        QVERIFY2(QFileInfo(QUILLBAY_STEP_KILLER).isFile(), QUILLBAY_STEP_KILLER);
    }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void swaps_data() { swapKinds(); }
    void swaps() {
        QFETCH(bool, exchange);
        QFETCH(int, newExitCode);
        QVERIFY(stage(newExitCode));
        QProcess helper;
        QStringList env;
        if (!exchange)
            env << QString("LD_PRELOAD=") + QUILLBAY_STEP_KILLER << "QUILLBAY_NO_EXCHANGE=1";
        QVERIFY(runHelper(helper, UpdateFixtures::endedPid(), env));
        QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
        QCOMPARE(helper.exitCode(), newExitCode == 0 ? 0 : 1);
        // A failed start puts the old program back and starts it again.
        QCOMPARE(holds(installDir()), newExitCode == 0 ? QByteArray("new") : QByteArray("old"));
        QVERIFY(QTest::qWaitFor(
            [&] { return readFile(ranFile()) == (newExitCode == 0 ? "new\n" : "new\nold\n"); }, 30000));
        QCOMPARE(besideAndInWork(), QStringList());
        QVERIFY(!lockHeld());
    }

    void waitsForTheProgramThroughQuitSignals() {
        QVERIFY(stage(0));
        QProcess old;
        old.start("sleep", {"60"});
        QVERIFY(old.waitForStarted());
        QProcess helper;
        helper.start(QUILLBAY_SWAP, helperArguments(old.processId()));
        QVERIFY(helper.waitForStarted());
        QVERIFY(QTest::qWaitFor([&] { return lockHeld(); }, 20000));
        // A logout's signals reach it while it waits; the folder stays as it is while the program runs.
        QCOMPARE(::kill(pid_t(helper.processId()), SIGTERM), 0);
        QCOMPARE(::kill(pid_t(helper.processId()), SIGHUP), 0);
        QCOMPARE(helper.state(), QProcess::Running);
        QCOMPARE(holds(installDir()), QByteArray("old"));
        old.kill();
        QVERIFY(old.waitForFinished(10000));
        QVERIFY(helper.waitForFinished(60000));
        QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
        QCOMPARE(helper.exitCode(), 0);
        QCOMPARE(holds(installDir()), QByteArray("new"));
        QCOMPARE(besideAndInWork(), QStringList());
    }

    // A program still there long after the hand-over is stuck: it is stopped, so that the new version
    // does not start beside it and leave at once, finding the single instance taken.
    void aProgramThatNeverEndsIsStopped() {
        QVERIFY(stage(0));
        QProcess old;
        old.start("sh", {"-c", "trap '' TERM HUP INT; exec sleep 60"});
        QVERIFY(old.waitForStarted());
        QProcess helper;
        helper.setProcessChannelMode(QProcess::MergedChannels);
        helper.start(QUILLBAY_SWAP, helperArguments(old.processId()));
        QVERIFY(helper.waitForStarted());
        QVERIFY(old.waitForFinished(FolderSwap::kExitWaitMs + 30000));
        QCOMPARE(old.exitStatus(), QProcess::CrashExit);
        QVERIFY(helper.waitForFinished(60000));
        const QByteArray said = helper.readAll();
        QCOMPARE(helper.exitCode(), 0);
        QVERIFY2(said.contains("has not ended after 10 s; it is stopped"), said.constData());
        QCOMPARE(holds(installDir()), QByteArray("new"));
        QCOMPARE(besideAndInWork(), QStringList());
    }

    void lockHandedOverWithoutAGap() {
        // As the program starts it: the lock taken, given as descriptor 3, and let go here at once.
        QVERIFY(stage(0));
        QVERIFY(QDir().mkpath(workDir()));
        QProcess old;
        old.start("sleep", {"60"});
        QVERIFY(old.waitForStarted());
        const int fd = FolderSwap::takeLock(QFile::encodeName(lockFile()).toStdString(), -1);
        QVERIFY(fd >= 0);
        ServiceLauncher::Request request;
        request.program = QUILLBAY_SWAP;
        request.arguments = helperArguments(old.processId());
        for (const QString& kv : QProcessEnvironment::systemEnvironment().toStringList())
            request.environment << kv.toLocal8Bit();
        request.handOverFd = fd;
        PosixServiceLauncher launcher;
        const ServiceLauncher::Launched helper = launcher.launch(request);
        ::close(fd);
        QVERIFY2(helper.pid > 0, qPrintable(helper.error));
        // Never free from here on while the helper waits for the program.
        QVERIFY(lockHeld());
        QCOMPARE(holds(installDir()), QByteArray("old"));
        old.kill();
        QVERIFY(old.waitForFinished(10000));
        QVERIFY(QTest::qWaitFor([&] { return launcher.hasEnded(helper.pidfd); }, 60000));
        QVERIFY(launcher.reap(helper.pid, nullptr));
        ::close(helper.pidfd);
        QCOMPARE(holds(installDir()), QByteArray("new"));
        QCOMPARE(besideAndInWork(), QStringList());
        QVERIFY(!lockHeld());
    }

    void anotherSwapHoldsTheLock() {
        QVERIFY(stage(0));
        QVERIFY(QDir().mkpath(workDir()));
        const int fd = FolderSwap::takeLock(QFile::encodeName(lockFile()).toStdString(), -1);
        QVERIFY(fd >= 0);
        QProcess helper;
        const bool ended = runHelper(helper, UpdateFixtures::endedPid());
        ::close(fd);
        QVERIFY(ended);
        QCOMPARE(helper.exitCode(), 2);
        QCOMPARE(holds(installDir()), QByteArray("old"));
        QCOMPARE(holds(installDir() + ".new"), QByteArray("new"));
        QVERIFY(!QFileInfo::exists(ranFile()));
    }

    void stagedFolderWithoutProgram() {
        QVERIFY(stage(0));
        QVERIFY(QFile::remove(installDir() + ".new/bin/quillbay"));
        QProcess helper;
        QVERIFY(runHelper(helper, UpdateFixtures::endedPid()));
        QCOMPARE(helper.exitCode(), 1);
        QCOMPARE(holds(installDir()), QByteArray("old"));
        QVERIFY(QTest::qWaitFor([&] { return readFile(ranFile()) == "old\n"; }, 30000));
        QCOMPARE(besideAndInWork(), QStringList());
    }

    void badArguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("none") << QStringList();
        QTest::newRow("pid not a number") << QStringList{"x1", "/a", "/b", "/c", "/d"};
        QTest::newRow("relative folder") << QStringList{"12", "a", "/b", "/c", "/d"};
        QTest::newRow("one too many") << QStringList{"12", "/a", "/b", "/c", "/d", "/e"};
    }
    void badArguments() {
        QFETCH(QStringList, arguments);
        QProcess helper;
        helper.start(QUILLBAY_SWAP, arguments);
        QVERIFY(helper.waitForFinished(30000));
        QCOMPARE(helper.exitCode(), 64);
    }

    // SIGKILL before each call that renames, removes or starts something.
    void killedAtEachStep_data() { swapKinds(); }
    void killedAtEachStep() {
        QFETCH(bool, exchange);
        QFETCH(int, newExitCode);
        QStringList env = {QString("LD_PRELOAD=") + QUILLBAY_STEP_KILLER};
        if (!exchange)
            env << "QUILLBAY_NO_EXCHANGE=1";
        // A run to its end counts the steps.
        QVERIFY(stage(newExitCode));
        QProcess whole;
        QVERIFY(runHelper(whole, UpdateFixtures::endedPid(),
                          env + QStringList{"QUILLBAY_STEP_LOG=" + path("steps.txt")}));
        QCOMPARE(whole.exitStatus(), QProcess::NormalExit);
        const QList<QByteArray> steps = readFile(path("steps.txt")).trimmed().split('\n');
        QVERIFY2(steps.size() >= 4, readFile(path("steps.txt")).constData());

        for (int at = 1; at <= steps.size(); ++at) {
            const QByteArray step = steps[at - 1];
            m_dir = std::make_unique<QTemporaryDir>();
            QVERIFY(stage(newExitCode));
            QProcess helper;
            QVERIFY(runHelper(helper, UpdateFixtures::endedPid(),
                              env + QStringList{"QUILLBAY_KILL_AT=" + QString::number(at)}));
            QVERIFY2(helper.exitStatus() == QProcess::CrashExit, step.constData());
            // Right after the kill: a whole program under the install folder's name, or, only between the
            // two renames where names cannot be exchanged, under "X.old".
            const QByteArray inPlace = holds(installDir());
            if (inPlace.isEmpty()) {
                QVERIFY2(!exchange && !QFileInfo::exists(installDir()), step.constData());
                QVERIFY2(!holds(installDir() + ".old").isEmpty(), step.constData());
            }
            // The next start leaves one whole program and nothing else.
            QVERIFY(nextStart());
            const QByteArray after = holds(installDir());
            QVERIFY2(after == "old" || after == "new", step.constData());
            QVERIFY2(besideAndInWork().isEmpty(), qPrintable(besideAndInWork().join(' ') + " at " + step));
            QVERIFY2(!lockHeld(), step.constData());
        }
    }
};

QTEST_GUILESS_MAIN(tst_UpdateSwap)
#include "tst_UpdateSwap.moc"
