// The hand-over of a prepared update to the swap helper: what the helper is given, and that a helper that
// cannot start leaves neither the staged folder nor the lock behind; and the configuration's parts filled
// in where the caller left them empty.
#include "services/UpdateConfig.h"
#include "services/UpdateHandOver.h"
#include "services/UpdateInstaller.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct Prepared {
    QTemporaryDir dir;
    UpdateInstaller::Outcome outcome;
    int lockFd = -1;

    Prepared() {
        outcome.program = dir.filePath("quillbay-swap");
        outcome.staging = dir.filePath("Quillbay.new");
        outcome.arguments = {"4242", dir.filePath("Quillbay"), outcome.staging, dir.filePath("a.tar.xz"),
                             dir.filePath("swap.lock")};
        QDir().mkpath(outcome.staging + "/bin");
        QFile f(outcome.staging + "/bin/quillbay");
        if (f.open(QIODevice::WriteOnly))
            f.write("new");
        lockFd = ::open(QFile::encodeName(dir.filePath("swap.lock")).constData(),
                        O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        outcome.lock = std::make_shared<UniqueFd>(lockFd);
    }
    bool lockOpen() const { return ::fcntl(lockFd, F_GETFD) != -1; }
};

} // namespace

class tst_UpdateHandOver : public QObject {
    Q_OBJECT

private slots:
    void theHelperGetsItsArgumentsAndTheLock() {
        Prepared p;
        QVERIFY(p.lockOpen());
        QString program;
        QStringList arguments;
        int handed = -2;
        const bool ok =
            UpdateHandOver::handOver(p.outcome, [&](const QString& prog, const QStringList& args, int fd) {
                program = prog;
                arguments = args;
                handed = fd;
                return true;
            });
        QVERIFY(ok);
        QCOMPARE(program, p.outcome.program);
        QCOMPARE(arguments, p.outcome.arguments);
        QCOMPARE(handed, p.lockFd);
        // The helper has its own copy now: ours is let go, and the staged folder is the helper's to move.
        QVERIFY(!p.outcome.lock->valid());
        QVERIFY(QFileInfo::exists(p.outcome.staging + "/bin/quillbay"));
    }

    void aHelperThatCannotStartLeavesNothingBehind_data() {
        QTest::addColumn<int>("stagingArgument");
        // The staged folder is known by name: wherever it sits among the helper's arguments.
        QTest::newRow("third argument") << 2;
        QTest::newRow("another order") << 4;
        QTest::newRow("not among them") << -1;
    }
    void aHelperThatCannotStartLeavesNothingBehind() {
        QFETCH(int, stagingArgument);
        Prepared p;
        const QString bystander = p.dir.filePath("Quillbay");
        QVERIFY(QDir().mkpath(bystander + "/bin"));
        QStringList args = {"4242", bystander, bystander, bystander, bystander};
        if (stagingArgument >= 0)
            args[stagingArgument] = p.outcome.staging;
        p.outcome.arguments = args;
        QVERIFY(!UpdateHandOver::handOver(p.outcome,
                                          [](const QString&, const QStringList&, int) { return false; }));
        QVERIFY(!QFileInfo::exists(p.outcome.staging));
        QVERIFY(QFileInfo::exists(bystander + "/bin"));
        QVERIFY(!p.outcome.lock->valid());
        QVERIFY(!p.lockOpen());
    }

    void withoutALauncherNothingStarts() {
        const UpdateHandOver::Start start = UpdateHandOver::inOwnSession(nullptr);
        QVERIFY(!start(QStringLiteral("/bin/true"), {}, -1));
    }

    void completedFillsOnlyWhatWasLeftEmpty() {
        UpdateConfig given;
        given.currentVersion = "1.2.3";
        given.installDir = "/opt/Q";
        given.workDir = "/tmp/w";
        given.pid = 77;
        given.helper = "/opt/Q/bin/swap";
        int starts = 0;
        given.startDetached = [&starts](const QString&, const QStringList&, int) { return ++starts > 0; };
        int quits = 0;
        given.quit = [&quits] { ++quits; };
        const UpdateConfig c = given.completed();
        QCOMPARE(c.currentVersion, QStringLiteral("1.2.3"));
        QCOMPARE(c.installDir, QStringLiteral("/opt/Q"));
        QCOMPARE(c.workDir, QStringLiteral("/tmp/w"));
        QCOMPARE(c.pid, qint64(77));
        QCOMPARE(c.helper, QStringLiteral("/opt/Q/bin/swap"));
        QVERIFY(c.startDetached({}, {}, -1));
        c.quit();
        QCOMPARE(starts, 1);
        QCOMPARE(quits, 1);

        const UpdateConfig empty = UpdateConfig().completed();
        QVERIFY(!empty.currentVersion.isEmpty());
        QCOMPARE(empty.workDir, UpdateConfig::defaultWorkDir());
        QCOMPARE(empty.pid, QCoreApplication::applicationPid());
        QCOMPARE(empty.helper, QDir(QCoreApplication::applicationDirPath()).filePath("quillbay-swap"));
        QVERIFY(empty.startDetached);
        QVERIFY(empty.quit);
        // Without a launcher the default start refuses rather than starting nothing silently.
        QVERIFY(!empty.startDetached(QStringLiteral("/bin/true"), {}, -1));
    }
};

QTEST_GUILESS_MAIN(tst_UpdateHandOver)
#include "tst_UpdateHandOver.moc"
