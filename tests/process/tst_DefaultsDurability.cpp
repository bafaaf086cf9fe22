// The settings file survives the ways a process ends: a SIGKILL at any moment leaves a whole file holding
// a prefix of the assignments, a value assigned a second before the kill is on disk, and SIGTERM or
// SIGINT save what was still pending.
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

constexpr int kAssignments = 1000;

struct Contents {
    bool exists = false;
    bool parses = false;
    qint64 n = 0;
    QString problem; // empty when the file holds exactly k1..kn and n
};

// What the helper leaves: "n" = m and "k1".."km" each equal to its index, nothing else.
Contents inspect(const QString& path) {
    Contents c;
    QFile f(path);
    if (!f.exists())
        return c;
    c.exists = true;
    if (!f.open(QIODevice::ReadOnly)) {
        c.problem = "unreadable";
        return c;
    }
    const QByteArray bytes = f.readAll();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        c.problem =
            QStringLiteral("does not parse (%1 bytes): %2").arg(bytes.size()).arg(error.errorString());
        return c;
    }
    c.parses = true;
    QJsonObject object = doc.object();
    object.remove("pad");
    c.n = object.value("n").toInteger(-1);
    if (c.n < 1 || c.n > kAssignments) {
        c.problem = QStringLiteral("n is %1").arg(c.n);
        return c;
    }
    if (object.size() != c.n + 1)
        c.problem = QStringLiteral("%1 keys for n = %2").arg(object.size()).arg(c.n);
    for (qint64 i = 1; i <= c.n && c.problem.isEmpty(); ++i) {
        if (object.value(QStringLiteral("k%1").arg(i)).toInteger(-1) != i)
            c.problem = QStringLiteral("k%1 is missing or wrong for n = %2").arg(i).arg(c.n);
    }
    return c;
}

bool waitForLine(QProcess& process, const QByteArray& line, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QByteArray seen;
    while (!deadline.hasExpired()) {
        if (process.canReadLine() ||
            process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            while (process.canReadLine()) {
                seen = process.readLine().trimmed();
                if (seen == line)
                    return true;
            }
        } else if (process.state() != QProcess::Running) {
            return false;
        }
    }
    return false;
}

} // namespace

class tst_DefaultsDurability : public QObject {
    Q_OBJECT

private slots:
    // The helper assigns with short pauses while it is killed at a random moment of its run, which spans
    // several save windows; the file is either absent (killed before the first save) or whole. Every
    // other round saves continuously with a 512 KB store, so that most kills land inside a write.
    void killAtAnyMomentLeavesAWholePrefix() {
        int sawWrites = 0;
        for (int round = 0; round < 10; ++round) {
            QTemporaryDir dir;
            const QString path = dir.filePath("defaults.json");
            QStringList arguments{path, "assign", QString::number(kAssignments), "700"};
            if (round % 2 == 1)
                arguments << "0" << QString::number(512 * 1024);
            QProcess helper;
            helper.start(DEFAULTS_HOST, arguments);
            // Timed from the first assignment, not from the start: a loaded machine may take most of
            // a second only to load the helper.
            QVERIFY(waitForLine(helper, "started", 30000));
            const int killAfterMs = int(QRandomGenerator::global()->bounded(50, 900));
            QTest::qWait(killAfterMs); // the kill lands at a random point of the writes, by design
            ::kill(pid_t(helper.processId()), SIGKILL);
            QVERIFY(helper.waitForFinished(10000));
            QCOMPARE(helper.exitStatus(), QProcess::CrashExit);

            const Contents c = inspect(path);
            QVERIFY2(c.problem.isEmpty(), qPrintable(QStringLiteral("round %1, killed after %2 ms: %3")
                                                         .arg(round)
                                                         .arg(killAfterMs)
                                                         .arg(c.problem)));
            if (c.exists)
                ++sawWrites;
        }
        // Most kills land after the first save window; the check above must have had files to read.
        QVERIFY(sawWrites > 0);
    }

    void valueAssignedASecondBeforeTheKillIsOnDisk() {
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        QProcess helper;
        helper.start(DEFAULTS_HOST, {path, "assign", QString::number(kAssignments), "0"});
        QVERIFY(waitForLine(helper, "done", 30000));
        QTest::qWait(1000); // the second the value is promised to reach the disk in is the subject
        ::kill(pid_t(helper.processId()), SIGKILL);
        QVERIFY(helper.waitForFinished(10000));
        const Contents c = inspect(path);
        QVERIFY2(c.problem.isEmpty(), qPrintable(c.problem));
        QCOMPARE(c.n, qint64(kAssignments));
    }

    void quitSignalSavesWhatIsPending_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void quitSignalSavesWhatIsPending() {
        QFETCH(int, signalNumber);
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        QProcess helper;
        helper.start(DEFAULTS_HOST, {path, "quit-on-signal", QString::number(kAssignments)});
        QVERIFY(waitForLine(helper, "ready", 30000));
        QVERIFY(!QFile::exists(path)); // the save window is an hour: only quitting can have saved
        ::kill(pid_t(helper.processId()), signalNumber);
        QVERIFY(helper.waitForFinished(10000));
        QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
        QCOMPARE(helper.exitCode(), 0);
        const Contents c = inspect(path);
        QVERIFY2(c.problem.isEmpty(), qPrintable(c.problem));
        QCOMPARE(c.n, qint64(kAssignments));
    }
};

QTEST_GUILESS_MAIN(tst_DefaultsDurability)
#include "tst_DefaultsDurability.moc"
