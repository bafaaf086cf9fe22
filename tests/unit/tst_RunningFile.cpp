// "running.json": what a read keeps or refuses, and writes that happen only when the content changes
// (a failed write is tried again at the next change rather than taken as done).
#include "services/RunningFile.h"

#include "fakes/TestChecks.h"
#include "model/SavedCommand.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QUuid kA("{0F8FAD5B-D9CB-469F-A165-70867728950E}");
const QUuid kB("{1F8FAD5B-D9CB-469F-A165-70867728950E}");

} // namespace

class tst_RunningFile : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    [[nodiscard]] bool put(const QByteArray& data) {
        return TestSupport::passes([&] {
            QFile f(m_dir.filePath("running.json"));
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(data);
        });
    }

private slots:
    void init() {
        // Copies set aside by earlier cases go too, so each case sees only its own.
        for (const QString& name : QDir(m_dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden))
            QFile::remove(m_dir.filePath(name));
    }
    QStringList setAside() const {
        return QDir(m_dir.path()).entryList({"running.json.corrupt-*"}, QDir::Files);
    }

    void read_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<int>("entries");
        QTest::newRow("two entries, lower-case id")
            << QByteArray("{\"0f8fad5b-d9cb-469f-a165-70867728950e\":12,"
                          "\"1F8FAD5B-D9CB-469F-A165-70867728950E\":13}")
            << true << 2;
        QTest::newRow("empty object") << QByteArray("{}") << true << 0;
        QTest::newRow("malformed key skipped") << QByteArray("{\"not-a-uuid\":12}") << true << 0;
        QTest::newRow("pid as text") << QByteArray("{\"0F8FAD5B-D9CB-469F-A165-70867728950E\":\"12\"}")
                                     << false << 0;
        QTest::newRow("fraction") << QByteArray("{\"0F8FAD5B-D9CB-469F-A165-70867728950E\":12.5}") << false
                                  << 0;
        QTest::newRow("beyond 32 bits")
            << QByteArray("{\"0F8FAD5B-D9CB-469F-A165-70867728950E\":4294967308}") << false << 0;
        QTest::newRow("array root") << QByteArray("[12]") << false << 0;
        QTest::newRow("truncated") << QByteArray("{\"0F8FAD5B-D9CB-469F-A1") << false << 0;
    }
    void read() {
        QFETCH(QByteArray, content);
        QFETCH(bool, readable);
        QFETCH(int, entries);
        QVERIFY(put(content));
        const auto got = RunningFile(m_dir.path()).read();
        QCOMPARE(got.has_value(), readable);
        if (got) {
            QCOMPARE(got->pids.size(), entries);
            QVERIFY(got->written.isValid());
        }
        // An unusable file is kept aside for a look, whole, rather than overwritten by the next record.
        const QStringList aside = setAside();
        QCOMPARE(aside.size(), readable ? 0 : 1);
        QCOMPARE(QFile::exists(m_dir.filePath("running.json")), readable);
        if (!readable) {
            QFile kept(m_dir.filePath(aside.first()));
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), content);
        }
    }

    // A FIFO in its place is neither waited on nor moved: nothing is adopted, and the start goes on.
    void fifoIsLeftAlone() {
        const QString path = m_dir.filePath("running.json");
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        QVERIFY(!RunningFile(m_dir.path()).read());
        QVERIFY(QFileInfo(path).exists() && !QFileInfo(path).isFile());
        QVERIFY(setAside().isEmpty());
    }

    void missingFileReadsAsNothing() { QVERIFY(!RunningFile(m_dir.path()).read()); }

    void writesOnlyChanges() {
        RunningFile file(m_dir.path());
        QVERIFY(file.write({{kA, 12}}));
        QVERIFY(file.write({{kA, 12}}));
        QCOMPARE(file.writes(), 1);
        QVERIFY(file.write({{kA, 12}, {kB, 13}}));
        QVERIFY(file.write({{kB, 13}, {kA, 12}})); // the same content in another order
        QCOMPARE(file.writes(), 2);
        QVERIFY(file.write({}));
        QCOMPARE(file.writes(), 3);
        const auto back = file.read();
        QVERIFY(back);
        QVERIFY(back->pids.isEmpty());
    }

    // What is recorded beside each pid reads back as written, in keys of integers only that a version
    // knowing only the pids skips: such a version still reads every pid, and nothing else as one.
    void recordedIdentityRoundTrips() {
        RunningFile file(m_dir.path());
        const RunningFile::Entry shell{12, 345, 0, std::nullopt};
        const RunningFile::Entry left{13, 350, 12, 345};
        QVERIFY(file.writeEntries({{kA, shell}, {kB, left}}));
        const auto back = RunningFile(m_dir.path()).read();
        QVERIFY(back);
        QCOMPARE(back->entries.value(kA), shell);
        QCOMPARE(back->entries.value(kB), left);
        QCOMPARE(back->pids, (QHash<QUuid, qint32>{{kA, 12}, {kB, 13}}));

        QFile f(m_dir.filePath("running.json"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QJsonObject obj = QJsonDocument::fromJson(f.readAll()).object();
        QHash<QUuid, qint32> asPids;
        for (auto it = obj.begin(); it != obj.end(); ++it) {
            const double v = it.value().toDouble(-1.5);
            QVERIFY2(it.value().isDouble() && v == double(qint32(v)), qPrintable(it.key()));
            if (const auto id = SavedCommandCodec::parseId(it.key()))
                asPids.insert(*id, qint32(v));
        }
        QCOMPARE(asPids, back->pids);
        QCOMPARE(obj.size(), 6); // the shell's own group is not written out
    }

    // Files of older versions and extras that do not fit.
    void extrasBesideThePids_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<int>("start"); // -1: none
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("groupStart"); // -1: none
        const QByteArray a = "\"0F8FAD5B-D9CB-469F-A165-70867728950E";
        QTest::newRow("an older version's file") << "{" + a + "\":12}" << true << -1 << 0 << -1;
        QTest::newRow("start only") << "{" + a + "\":12," + a + ".start\":345}" << true << 345 << 0 << -1;
        QTest::newRow("group and its start")
            << "{" + a + "\":12," + a + ".start\":345," + a + ".group\":10," + a + ".groupStart\":300}"
            << true << 345 << 10 << 300;
        QTest::newRow("a group without its start is not believed")
            << "{" + a + "\":12," + a + ".start\":345," + a + ".group\":10}" << true << 345 << 0 << -1;
        QTest::newRow("an unknown extra is skipped")
            << "{" + a + "\":12," + a + ".colour\":3}" << true << -1 << 0 << -1;
        QTest::newRow("an extra that is no integer spoils the file")
            << "{" + a + "\":12," + a + ".start\":\"345\"}" << false << -1 << 0 << -1;
    }
    void extrasBesideThePids() {
        QFETCH(QByteArray, content);
        QFETCH(bool, readable);
        QFETCH(int, start);
        QFETCH(int, group);
        QFETCH(int, groupStart);
        QVERIFY(put(content));
        const auto got = RunningFile(m_dir.path()).read();
        QCOMPARE(got.has_value(), readable);
        if (!got)
            return;
        QCOMPARE(got->entries.size(), 1);
        const RunningFile::Entry e = got->entries.value(kA);
        QCOMPARE(e.pid, 12);
        QCOMPARE(e.start, start < 0 ? std::nullopt : std::optional<qint32>(start));
        QCOMPARE(e.group, group);
        QCOMPARE(e.groupStart, groupStart < 0 ? std::nullopt : std::optional<qint32>(groupStart));
    }

    // Extras of an id that has no pid in the file are no entry.
    void extrasWithoutAPid() {
        QVERIFY(put("{\"0F8FAD5B-D9CB-469F-A165-70867728950E.start\":345}"));
        const auto got = RunningFile(m_dir.path()).read();
        QVERIFY(got);
        QVERIFY(got->entries.isEmpty());
        QVERIFY(got->pids.isEmpty());
    }

    void failedWriteIsTriedAgain() {
        // The support folder cannot be made: a file stands where it should be.
        QVERIFY(put(""));
        RunningFile blocked(m_dir.filePath("running.json"));
        QVERIFY(!blocked.write({{kA, 12}}));
        QVERIFY(!blocked.write({{kA, 12}}));
        QCOMPARE(blocked.writes(), 0);
        QVERIFY(QFile::remove(m_dir.filePath("running.json")));
        QVERIFY(blocked.write({{kA, 12}}));
        QCOMPARE(blocked.writes(), 1);
        const auto back = blocked.read();
        QVERIFY(back);
        QCOMPARE(back->pids.value(kA), 12);
    }
};

QTEST_GUILESS_MAIN(tst_RunningFile)
#include "tst_RunningFile.moc"
