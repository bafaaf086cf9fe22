// The /proc reader: stat lines with awkward command names, the kernel's TCP tables, process trees,
// environment markers and the listening ports of a real process.
#include "fakes/TestSupport.h"
#include "platform/procfs/LinuxProcessTable.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

QByteArray fixture(const char* name) {
    QFile f(QStringLiteral(QUILLBAY_FIXTURES_DIR "/proc/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool waitGone(qint32 pid) {
    return TestSupport::waitUntil([pid] { return ::kill(pid, 0) != 0; }, 5000);
}

} // namespace

class tst_ProcessTable : public QObject {
    Q_OBJECT
private slots:
    void parsesStatLines_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("ppid");
        QTest::addColumn<char>("state");
        QTest::addColumn<quint64>("start");
        // Fields 5 to 21, then field 22 (the start time).
        const QByteArray tail = " 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 4242 99 100";
        QTest::newRow("plain") << QByteArray("15 (sleep) S 7" + tail) << true << 7 << 'S' << quint64(4242);
        QTest::newRow("spaces and parens in the name")
            << QByteArray("15 (a b) (c)) Z 9" + tail) << true << 9 << 'Z' << quint64(4242);
        QTest::newRow("truncated") << QByteArray("15 (sleep) S 7 1 2") << false << 0 << '?' << quint64(0);
        QTest::newRow("no name") << QByteArray("15 sleep S 7" + tail) << false << 0 << '?' << quint64(0);
        QTest::newRow("empty") << QByteArray() << false << 0 << '?' << quint64(0);
    }
    void parsesStatLines() {
        QFETCH(QByteArray, line);
        QFETCH(bool, ok);
        const auto s = LinuxProcessTable::parseStat(line);
        QCOMPARE(s.has_value(), ok);
        if (!ok)
            return;
        QFETCH(int, ppid);
        QFETCH(char, state);
        QFETCH(quint64, start);
        QCOMPARE(s->pid, 15);
        QCOMPARE(s->ppid, ppid);
        QCOMPARE(s->state, state);
        QCOMPARE(s->startTicks, start);
    }

    void parsesListeningRows_data() {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QList<quint64>>("inodes");
        QTest::addColumn<QList<quint16>>("ports");
        const QByteArray v4 = fixture("net_tcp.txt"), v6 = fixture("net_tcp6.txt");
        QTest::newRow("v4 listening rows of our sockets")
            << v4 << QList<quint64>{41001, 41002} << QList<quint16>{8080, 3000};
        QTest::newRow("v4 connected and time-wait rows are not listening")
            << v4 << QList<quint64>{41003, 41004} << QList<quint16>{};
        QTest::newRow("v4 someone else's listener") << v4 << QList<quint64>{41001} << QList<quint16>{8080};
        QTest::newRow("v6 listening, highest port")
            << v6 << QList<quint64>{42001, 42002, 42003} << QList<quint16>{5173, 65535};
        QTest::newRow("header only") << QByteArray("  sl  local_address\n") << QList<quint64>{1}
                                     << QList<quint16>{};
    }
    void parsesListeningRows() {
        QFETCH(QByteArray, table);
        QFETCH(QList<quint64>, inodes);
        QFETCH(QList<quint16>, ports);
        QCOMPARE(LinuxProcessTable::parseListening(table, QSet<quint64>(inodes.begin(), inodes.end())),
                 ports);
    }

    void treeListsEveryDescendantParentsFirst() {
        LinuxProcessTable table;
        const qint32 root =
            TestSupport::spawnDetached("sh -c 'sleep 100 & sleep 100 & (sleep 100 & wait) & wait'");
        QVERIFY(root > 0);
        QList<qint32> tree;
        QTRY_VERIFY_WITH_TIMEOUT((tree = table.tree(root)).size() == 5, 5000);
        QCOMPARE(tree.first(), root);
        // Every process appears after its parent.
        for (qsizetype i = 1; i < tree.size(); ++i) {
            const auto st = table.stat(tree[i]);
            QVERIFY(st);
            QVERIFY(tree.indexOf(st->ppid) >= 0 && tree.indexOf(st->ppid) < i);
        }
        for (qint32 p : tree)
            ::kill(p, SIGTERM);
        QVERIFY(waitGone(root));
        QVERIFY(table.tree(root).isEmpty() || !table.stat(root));
    }

    // Read from a fixture tree: the kernel ends every argument with a NUL and shows at most what fits.
    void arguments_data() {
        QTest::addColumn<QByteArray>("file"); // "-": no such process
        QTest::addColumn<QByteArrayList>("expected");
        QTest::newRow("separate arguments")
            << QByteArray("sh\0-c\0echo a b\0", 15) << QByteArrayList{"sh", "-c", "echo a b"};
        QTest::newRow("empty last argument") << QByteArray("a\0\0", 3) << QByteArrayList{"a", ""};
        QTest::newRow("kernel thread") << QByteArray() << QByteArrayList{};
        QTest::newRow("gone") << QByteArray("-") << QByteArrayList{};
        QTest::newRow("longer than 64 KiB")
            << QByteArray(100000, 'x') + '\0' << QByteArrayList{QByteArray(64 * 1024, 'x')};
    }
    void arguments() {
        QFETCH(QByteArray, file);
        QFETCH(QByteArrayList, expected);
        QTemporaryDir root;
        if (file != "-") {
            QVERIFY(QDir(root.path()).mkpath("4242"));
            QFile f(root.filePath("4242/cmdline"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(file), file.size());
        }
        const LinuxProcessTable table(root.path());
        QCOMPARE(table.arguments(4242), expected);
    }

    void startTimeCmdlineAndEnvironment() {
        LinuxProcessTable table;
        const double before = QDateTime::currentMSecsSinceEpoch() / 1000.0;
        const qint32 pid = TestSupport::spawnDetached("env QB_MARK=abc-1 sleep 77");
        QVERIFY(pid > 0);
        QTRY_VERIFY_WITH_TIMEOUT(table.cmdline(pid) == "sleep 77", 5000);
        const auto started = table.startTime(pid);
        QVERIFY(started);
        QVERIFY2(qAbs(*started - before) < 2.0, qPrintable(QString::number(*started - before)));
        const auto mark = table.environValue(pid, "QB_MARK");
        QVERIFY(mark.readable);
        QCOMPARE(mark.value, std::optional<QString>("abc-1"));
        QVERIFY(!table.environValue(pid, "QB_MAR").value); // a prefix is not the variable
        ::kill(pid, SIGTERM);
        QVERIFY(waitGone(pid));
        QVERIFY(!table.startTime(pid));
        QVERIFY(table.cmdline(pid).isEmpty());
        QVERIFY(!table.environValue(pid, "QB_MARK").readable);
    }

    void listeningPortsOfARealProcess() {
        QTemporaryDir dir;
        const QString out = dir.filePath("ports");
        LinuxProcessTable table;
        const qint32 pid = TestSupport::spawnDetached(QString("'%1' '%2'").arg(LISTEN_HOST, out));
        QVERIFY(pid > 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 5000);
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> words = f.readAll().trimmed().split(' ');
        QList<quint16> expected{quint16(words[0].toUInt()), quint16(words[1].toUInt())};
        QList<quint16> got = table.listeningPorts({pid});
        std::sort(got.begin(), got.end());
        std::sort(expected.begin(), expected.end());
        QCOMPARE(got, expected);
        QVERIFY(table.listeningPorts({1 << 30}).isEmpty());
        ::kill(pid, SIGTERM);
        QVERIFY(waitGone(pid));
    }
};

QTEST_GUILESS_MAIN(tst_ProcessTable)
#include "tst_ProcessTable.moc"
