// The built program quitting while a script tab's command runs: SIGTERM ends it at once (the command's
// process group with it), and a start right after shows the island.
#include "fakes/DesktopSession.h"
#include "fakes/TestSupport.h"
#include "model/CustomTab.h"
#include "model/TabSelection.h"
#include "services/Defaults.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

#include <csignal>
#include <functional>

namespace {

const QString kBinary = QStringLiteral(QUILLBAY_BINARY_DIR "/quillbay");
// What quitting may take, with room for a loaded machine to schedule the end.
constexpr int kQuitMs = 2000;
constexpr int kQuitMarginMs = 2000;

using DesktopSession::run;

// The island panel is mapped and viewable, as another program sees it.
bool islandShown() {
    QString out;
    return run(QStringLiteral("xwininfo"), {"-name", "Quillbay island"}, &out) &&
           out.contains(QLatin1String("IsViewable"));
}

struct ProcStat {
    char state = '?';
    int pgid = 0;
};

std::optional<ProcStat> procStat(int pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 3 || fields[0].isEmpty())
        return std::nullopt;
    return ProcStat{fields[0][0], fields[2].toInt()};
}

// Processes whose command line is exactly `argv`, zombies left out.
QList<int> processesRunning(const QByteArrayList& argv) {
    const QByteArray wanted = argv.join('\0') + '\0';
    QList<int> found;
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const int pid = name.toInt(&isPid);
        if (!isPid)
            continue;
        QFile f(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!f.open(QIODevice::ReadOnly) || f.readAll() != wanted)
            continue;
        const std::optional<ProcStat> stat = procStat(pid);
        if (stat && stat->state != 'Z')
            found << pid;
    }
    return found;
}

// Live members of process group `pgid`.
QList<int> groupMembers(int pgid) {
    QList<int> alive;
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const int pid = name.toInt(&isPid);
        if (!isPid)
            continue;
        const std::optional<ProcStat> stat = procStat(pid);
        if (stat && stat->pgid == pgid && stat->state != 'Z')
            alive << pid;
    }
    return alive;
}

} // namespace

class tst_QuitWhileBusy : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;

    void start(QProcess& program) {
        program.setProgram(kBinary);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start();
    }
    static void stop(QProcess& program) {
        if (program.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(program.processId()), SIGTERM);
        if (!program.waitForFinished(10000))
            program.kill();
        program.waitForFinished(5000);
    }

private slots:
    void initTestCase() { QVERIFY2(QFileInfo(kBinary).isExecutable(), qPrintable(kBinary)); }

    void init() {
        m_home = TestSupport::isolateHome();
        TestSupport::stayOffTheMakersHost();
    }

    void sigtermDuringAScriptRun() {
        // A command line nobody else runs, so that what is found below is this run's.
        const QByteArray seconds =
            "30." + QByteArray::number(QRandomGenerator::global()->bounded(100000, 999999));
        const QByteArrayList sleepArgv{"sleep", seconds};
        CustomTab tab;
        tab.id = QUuid::createUuid();
        tab.name = QStringLiteral("slow");
        tab.command = QStringLiteral("sleep ") + QString::fromLatin1(seconds);
        {
            // The script tab first and the terminal off: the dashboard opens on it, and it runs.
            Defaults defaults(qEnvironmentVariable("XDG_CONFIG_HOME") +
                              QStringLiteral("/Quillbay/defaults.json"));
            defaults.set(QStringLiteral("customTabs"), QString::fromUtf8(CustomTabCodec::encode({tab})));
            defaults.set(QStringLiteral("dashboardTabOrder"), QJsonArray{TabSelection::custom(tab.id).id()});
            defaults.set(QStringLiteral("dashboardDisabledTabs"), QJsonArray{QStringLiteral("terminal")});
            QVERIFY(defaults.flush());
        }
        qputenv("NOTCH_FORCE_EXPANDED", "1");
        QProcess first;
        start(first);
        const auto stopFirst = qScopeGuard([&] { stop(first); });
        QVERIFY(first.waitForStarted(5000));

        QList<int> sleeps;
        QVERIFY2(TestSupport::pollUntil(
                     [&] {
                         sleeps = processesRunning(sleepArgv);
                         return !sleeps.isEmpty();
                     },
                     20000, 50),
                 first.readAll().constData());
        QCOMPARE(sleeps.size(), 1);
        const std::optional<ProcStat> sleepStat = procStat(sleeps.first());
        QVERIFY(sleepStat);
        const int pgid = sleepStat->pgid;
        QVERIFY(pgid > 1 && pgid != int(first.processId()));

        QElapsedTimer quitting;
        quitting.start();
        QCOMPARE(::kill(pid_t(first.processId()), SIGTERM), 0);
        QVERIFY2(first.waitForFinished(kQuitMs + kQuitMarginMs), "still running after the quit signal");
        const qint64 took = quitting.elapsed();
        qInfo("quit took %lld ms with a script run under way", took);
        const QByteArray output = first.readAll();
        QVERIFY2(first.exitStatus() == QProcess::NormalExit && first.exitCode() == 0, output.constData());
        // Ended by the cancellation, not cut short by the deadline that backs it.
        QVERIFY2(!output.contains("did not end in time"), output.constData());

        // The command and everything of its group went with the program (a SIGKILL just sent may take a
        // moment to be seen in /proc; a command left running would be there for 30 s).
        QVERIFY(TestSupport::pollUntil([&] { return processesRunning(sleepArgv).isEmpty(); }, 2000));
        QVERIFY(TestSupport::pollUntil([&] { return groupMembers(pgid).isEmpty(); }, 2000));

        qunsetenv("NOTCH_FORCE_EXPANDED");
        QProcess second;
        start(second);
        const auto stopSecond = qScopeGuard([&] { stop(second); });
        QVERIFY(second.waitForStarted(5000));
        QVERIFY2(TestSupport::pollUntil(islandShown, 10000, 100), second.readAll().constData());
        QCOMPARE(second.state(), QProcess::Running);
    }
};

QTEST_MAIN(tst_QuitWhileBusy)
#include "tst_QuitWhileBusy.moc"
