// The instance lock: who blocks whom, where the lock lives, and that no child or dead holder keeps it.
#include "fakes/TestSupport.h"
#include "platform/SingleInstance.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

namespace {

using Result = SingleInstance::Result;

int modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

class tst_SingleInstance : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_home;
    QString m_runtime;
    QString m_state;

private slots:
    void init() {
        m_home = TestSupport::isolateHome();
        m_runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        m_state = qEnvironmentVariable("XDG_STATE_HOME");
    }
    void cleanup() { QDir::setCurrent(QDir::tempPath()); }

    void sameIdBlocksUntilReleasedOtherIdsNever() {
        auto first = std::make_unique<SingleInstance>(QStringLiteral("com.example.one"));
        QCOMPARE(first->tryAcquire(), Result::Acquired);
        QCOMPARE(first->lockPath(), m_runtime + QStringLiteral("/com.example.one.lock"));
        QCOMPARE(modeOf(first->lockPath()), 0600);

        SingleInstance second(QStringLiteral("com.example.one"));
        QCOMPARE(second.tryAcquire(), Result::AlreadyRunning);
        SingleInstance other(QStringLiteral("com.example.one.dev"));
        QCOMPARE(other.tryAcquire(), Result::Acquired);

        first.reset();
        QCOMPARE(second.tryAcquire(), Result::Acquired);
    }

    // A holder that dies without cleaning up (SIGKILL) must not block the next start.
    void deadHolderReleasesTheLock() {
        SingleInstance probe(QStringLiteral("com.example.crash"));
        QProcess holder;
        holder.start(QStringLiteral("/bin/sh"),
                     {QStringLiteral("-c"),
                      QStringLiteral("exec 9>\"$1\"; flock -n 9 && echo locked && exec sleep 30"),
                      QStringLiteral("sh"), probe.lockPath()});
        QVERIFY(holder.waitForReadyRead(5000));
        QCOMPARE(holder.readAllStandardOutput().trimmed(), QByteArray("locked"));

        QCOMPARE(probe.tryAcquire(), Result::AlreadyRunning);
        holder.kill();
        QVERIFY(holder.waitForFinished(5000));
        QCOMPARE(probe.tryAcquire(), Result::Acquired);
    }

    // Saved services are started by this process and outlive it; had they inherited the descriptor, they
    // would hold the lock after the program quits and refuse every later start.
    void childProcessDoesNotInheritTheLock() {
        auto holder = std::make_unique<SingleInstance>(QStringLiteral("com.example.child"));
        QCOMPARE(holder->tryAcquire(), Result::Acquired);
        pid_t child = -1;
        char arg0[] = "sleep", arg1[] = "30";
        char* argv[] = {arg0, arg1, nullptr};
        QCOMPARE(::posix_spawnp(&child, "sleep", nullptr, nullptr, argv, environ), 0);
        holder.reset();

        // The kernel lets posix_spawn return a moment before it closes the child's close-on-exec
        // descriptors, so allow that moment; an inherited descriptor would hold the lock for 30 s.
        SingleInstance next(QStringLiteral("com.example.child"));
        Result result = next.tryAcquire();
        for (int i = 0; i < 50 && result != Result::Acquired; ++i) {
            QTest::qSleep(20);
            result = next.tryAcquire();
        }
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        QCOMPARE(result, Result::Acquired);
    }

    void unusableRuntimeDirFallsBackToStateDir_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"unset", "relative", "a file", "world-writable", "group-readable",
                                 "fallback folder exists 0777"})
            QTest::newRow(kind) << kind;
    }
    void unusableRuntimeDirFallsBackToStateDir() {
        QFETCH(QString, kind);
        const QString folder = m_state + QStringLiteral("/Quillbay/run");
        if (kind == "unset") {
            qunsetenv("XDG_RUNTIME_DIR");
        } else if (kind == "relative") {
            QVERIFY(QDir::setCurrent(m_runtime + "/.."));
            qputenv("XDG_RUNTIME_DIR", "run");
        } else if (kind == "a file") {
            QFile f(m_home->path() + "/afile");
            QVERIFY(f.open(QIODevice::WriteOnly));
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(f.fileName()));
        } else if (kind.endsWith("able")) {
            QCOMPARE(
                ::chmod(QFile::encodeName(m_runtime).constData(), kind == "world-writable" ? 0777 : 0750), 0);
        } else {
            qunsetenv("XDG_RUNTIME_DIR");
            QVERIFY(QDir().mkpath(folder));
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0777), 0);
        }

        SingleInstance instance(QStringLiteral("com.example.fallback"));
        QCOMPARE(instance.lockPath(), folder + QStringLiteral("/com.example.fallback.lock"));
        QCOMPARE(modeOf(folder), 0700);
        QCOMPARE(instance.tryAcquire(), Result::Acquired);
    }

    // A planted symlink must not make us create or lock a file somewhere else.
    void plantedSymlinksAreRefused_data() {
        QTest::addColumn<bool>("fallback");
        QTest::newRow("lock file in the runtime folder") << false;
        QTest::newRow("fallback folder") << true;
    }
    void plantedSymlinksAreRefused() {
        QFETCH(bool, fallback);
        const QString elsewhere = m_home->path() + QStringLiteral("/elsewhere");
        QVERIFY(QDir().mkpath(elsewhere));
        if (fallback) {
            qunsetenv("XDG_RUNTIME_DIR");
            QVERIFY(QDir().mkpath(m_state + QStringLiteral("/Quillbay")));
            QVERIFY(QFile::link(elsewhere, m_state + QStringLiteral("/Quillbay/run")));
        } else {
            QVERIFY(
                QFile::link(elsewhere + "/x.lock", m_runtime + QStringLiteral("/com.example.planted.lock")));
        }
        SingleInstance instance(QStringLiteral("com.example.planted"));
        QCOMPARE(instance.tryAcquire(), Result::Failed);
        QVERIFY(!instance.error().isEmpty());
        QVERIFY(QDir(elsewhere).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_SingleInstance.moc"
