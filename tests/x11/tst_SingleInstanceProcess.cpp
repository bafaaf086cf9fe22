// The built program started as real processes: a second copy is refused quietly, a crashed copy never
// blocks the next, and SIGTERM/SIGINT end the event loop with status 0.
#include "fakes/TestSupport.h"
#include "platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <functional>

namespace {

const QString kBinary = QStringLiteral(QUILLBAY_BINARY_DIR "/quillbay");
const QByteArray kRefusalLine = QByteArray("[Quillbay] já existe uma instância rodando — encerrando esta.\n");

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    return TestSupport::pollUntil(condition, timeoutMs);
}

bool holdsDescriptorOn(qint64 pid, const QString& path) {
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    for (const QString& fd : fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == canonical)
            return true;
    }
    return false;
}

// Whether `pid` has installed a handler for `signal` (the "SigCgt" mask of /proc/PID/status).
bool catchesSignal(qint64 pid, int signal) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            bool ok = false;
            const qulonglong mask = line.mid(7).trimmed().toULongLong(&ok, 16);
            return ok && (mask & (1ULL << (signal - 1)));
        }
    }
    return false;
}

} // namespace

class tst_SingleInstanceProcess : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_home;
    QProcessEnvironment m_env;
    QString m_lockPath;

    void start(QProcess& process, const QProcessEnvironment& env) {
        process.setProcessEnvironment(env);
        process.start(kBinary, {});
    }

    // Running, holding the lock, and past the point where quit signals are handled.
    bool waitReady(QProcess& process) {
        if (!process.waitForStarted(5000))
            return false;
        const qint64 pid = process.processId();
        return waitUntil(
            [&] {
                return process.state() == QProcess::Running && holdsDescriptorOn(pid, m_lockPath) &&
                       catchesSignal(pid, SIGTERM) && catchesSignal(pid, SIGINT);
            },
            10000);
    }

    static QByteArray describe(QProcess& process) {
        return "exit code " + QByteArray::number(process.exitCode()) + ", status " +
               QByteArray::number(process.exitStatus()) + ", stderr: " + process.readAllStandardError();
    }

private slots:
    void initTestCase() { QVERIFY2(QFileInfo(kBinary).isExecutable(), qPrintable(kBinary)); }

    void init() {
        // The same temporary home for this process and the programs it starts.
        m_home = TestSupport::isolateHome();
        TestSupport::stayOffTheMakersHost();
        m_env = QProcessEnvironment::systemEnvironment();
        m_lockPath =
            qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/com.farrowlight.quillbay.lock");
    }

    void secondStartExitsQuietly() {
        QProcess first;
        start(first, m_env);
        QVERIFY2(waitReady(first), describe(first).constData());

        // A display that does not exist: the refused copy must be gone before it would need one.
        QProcessEnvironment env = m_env;
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":31999"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        QProcess second;
        start(second, env);
        QVERIFY(second.waitForStarted(5000));
        // Generous: the refusal needs no display, but a loaded machine can be slow to schedule it.
        QVERIFY2(second.waitForFinished(10000), "the second copy is still running after 10 s");
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardError(), kRefusalLine);
        QCOMPARE(second.readAllStandardOutput(), QByteArray());

        QCOMPARE(first.state(), QProcess::Running);
        QVERIFY(holdsDescriptorOn(first.processId(), m_lockPath));
        first.terminate();
        QVERIFY(first.waitForFinished(10000));
    }

    void killedFirstDoesNotBlockTheNext() {
        QProcess first;
        start(first, m_env);
        QVERIFY2(waitReady(first), describe(first).constData());
        first.kill();
        QVERIFY(first.waitForFinished(5000));
        QCOMPARE(first.exitStatus(), QProcess::CrashExit);

        QProcess next;
        start(next, m_env);
        QVERIFY2(waitReady(next), describe(next).constData());
        QVERIFY(!next.readAllStandardError().contains("já existe"));
        next.terminate();
        QVERIFY(next.waitForFinished(10000));
        QCOMPARE(next.exitCode(), 0);
    }

    void quitSignalEndsCleanly_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void quitSignalEndsCleanly() {
        QFETCH(int, signal);
        QProcess program;
        start(program, m_env);
        QVERIFY2(waitReady(program), describe(program).constData());

        QCOMPARE(::kill(pid_t(program.processId()), signal), 0);
        QVERIFY2(program.waitForFinished(10000), "the program did not end after the signal");
        QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0,
                 describe(program).constData());

        SingleInstance after(QStringLiteral("com.farrowlight.quillbay"));
        QCOMPARE(after.lockPath(), m_lockPath);
        QCOMPARE(after.tryAcquire(), SingleInstance::Result::Acquired);
    }
};

QTEST_GUILESS_MAIN(tst_SingleInstanceProcess)
#include "tst_SingleInstanceProcess.moc"
