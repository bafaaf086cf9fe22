// Script tab commands run for real through the shell: big outputs, time-outs that leave nothing behind,
// comments, bad text, and one run per tab at a time.
#include "fakes/TestSupport.h"
#include "platform/posix/PosixServiceLauncher.h"
#include "services/CustomTabsService.h"
#include "services/Defaults.h"
#include "services/Shell.h"

#include <QtTest>

namespace {

// Processes whose command line holds `marker`, dead ones (zombies) left out.
QList<int> processesWith(const QByteArray& marker) {
    QList<int> found;
    for (const QString& name : QDir("/proc").entryList(QDir::Dirs)) {
        bool isPid = false;
        const int pid = name.toInt(&isPid);
        if (!isPid)
            continue;
        QFile stat("/proc/" + name + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray s = stat.readAll();
        if (s.mid(s.lastIndexOf(')') + 2, 1) == "Z")
            continue;
        QFile cmd("/proc/" + name + "/cmdline");
        if (cmd.open(QIODevice::ReadOnly) && cmd.readAll().contains(marker))
            found << pid;
    }
    return found;
}

} // namespace

class tst_CustomTabRuns : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { m_home = TestSupport::isolateHome(); }
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_defaults = std::make_unique<Defaults>(m_dir->filePath("defaults.json"));
    }

    void outputs_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("expected");
        QTest::newRow("stdout and stderr joined") << "echo one; echo two >&2"
                                                  << "one\ntwo";
        QTest::newRow("trimmed") << "printf '  \\n\\n  spaced  \\n\\n'"
                                 << "spaced";
        QTest::newRow("failing command shows its errors")
            << "echo partial; ls /nonexistent-folder-xyz >/dev/null; exit 4"
            << "partial\n";
        QTest::newRow("200 KB") << "head -c 200000 /dev/zero | tr '\\0' a" << QString(200000, 'a');
        QTest::newRow("trailing comment") << "echo shown # a note"
                                          << "shown";
        QTest::newRow("last line a comment") << "echo first\necho second\n# done"
                                             << "first\nsecond";
        QTest::newRow("unbalanced parenthesis in comment") << "echo ok # ("
                                                           << "ok";
        QTest::newRow("not utf-8") << "printf 'ok\\377'"
                                   << "The command failed or timed out.";
    }
    void outputs() {
        QFETCH(QString, command);
        QFETCH(QString, expected);
        CustomTabsService service(*m_defaults, m_launcher);
        CustomTab tab;
        tab.id = QUuid::createUuid();
        tab.command = command;
        service.run(tab);
        QTRY_VERIFY_WITH_TIMEOUT(service.outputs().contains(tab.id), 15000);
        QString out = service.outputs().value(tab.id);
        if (expected.endsWith('\n')) // only the start is fixed: the error text is the system's
            QVERIFY2(out.startsWith(expected.trimmed()) && out.size() > expected.size(), qPrintable(out));
        else
            QCOMPARE(out, expected);
    }

    void timeOutLeavesNoProcessBehind() {
        const QByteArray marker = "ct-sleep-" + QByteArray::number(QRandomGenerator::global()->generate());
        // The marker rides in the arguments of the sleeping children, so they can be found in /proc.
        CustomTabsService service(
            *m_defaults,
            [this](const QString& line, double timeout) { return Shell::run(m_launcher, line, timeout); },
            1.0);
        CustomTab tab;
        tab.id = QUuid::createUuid();
        tab.command = "sh -c 'sleep 30; : " + QString::fromLatin1(marker) +
                      "' & sh -c 'sleep 30; : " + QString::fromLatin1(marker) + "'";
        service.run(tab);
        // Latched: the one-second time-out can kill the children between two looks at /proc.
        bool started = false;
        QTRY_VERIFY_WITH_TIMEOUT(started || (started = !processesWith(marker).isEmpty()), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(service.outputs().contains(tab.id), 10000);
        QCOMPARE(service.outputs().value(tab.id), QString("The command failed or timed out."));
        QTRY_VERIFY_WITH_TIMEOUT(processesWith(marker).isEmpty(), 5000);
    }

    // Quitting: runs under way end with their whole group, and their results never arrive.
    void cancelledRunsEndAndDropTheirResults() {
        const QByteArray marker = "ct-cancel-" + QByteArray::number(QRandomGenerator::global()->generate());
        auto service = std::make_unique<CustomTabsService>(*m_defaults, m_launcher);
        QSignalSpy outputs(service.get(), &CustomTabsService::outputsChanged);
        QList<CustomTab> tabs;
        for (const QString& job : {QString("sleep 30; : %1"), QString("trap '' TERM; sleep 30; : %1")}) {
            CustomTab tab;
            tab.id = QUuid::createUuid();
            tab.command = "sh -c " + Shell::quote(job.arg(QString::fromLatin1(marker))) + " & wait";
            service->run(tab);
            tabs << tab;
        }
        QTRY_VERIFY_WITH_TIMEOUT(processesWith(marker).size() >= 2, 10000);

        service->cancelRuns();
        // The service's end waits for its runs, which end at once rather than after their 20 s.
        service.reset();
        QTRY_VERIFY_WITH_TIMEOUT(processesWith(marker).isEmpty(), 2000);
        QCoreApplication::processEvents();
        QCOMPARE(outputs.count(), 0);
    }

    void aRunAskedForAfterTheCancelNeverStarts() {
        const QString ran = m_dir->filePath("ran");
        CustomTabsService service(*m_defaults, m_launcher);
        service.cancelRuns();
        CustomTab tab;
        tab.id = QUuid::createUuid();
        tab.command = "touch " + Shell::quote(ran);
        service.run(tab);
        QVERIFY(service.waitForRuns(10000));
        QCoreApplication::processEvents();
        QVERIFY(!QFileInfo::exists(ran));
        QVERIFY(!service.outputs().contains(tab.id));
    }

    void twoRunsInARowStartOneProcess() {
        CustomTabsService service(*m_defaults, m_launcher);
        const QString counter = m_dir->filePath("count");
        CustomTab tab;
        tab.id = QUuid::createUuid();
        tab.command = "echo x >> " + Shell::quote(counter) + "; sleep 0.3";
        service.run(tab);
        service.run(tab);
        QTRY_VERIFY_WITH_TIMEOUT(service.outputs().contains(tab.id), 10000);
        QFile f(counter);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("x\n"));
    }

private:
    PosixServiceLauncher m_launcher;
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Defaults> m_defaults;
};

QTEST_GUILESS_MAIN(tst_CustomTabRuns)
#include "tst_CustomTabRuns.moc"
