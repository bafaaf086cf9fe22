// "running.json": what a read keeps or refuses, and writes that happen only when the content changes
// (a failed write is tried again at the next change rather than taken as done).
#include "services/RunningFile.h"

#include <QDir>
#include <QFile>
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

    void put(const QByteArray& data) {
        QFile f(m_dir.filePath("running.json"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(data);
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
        put(content);
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

    void failedWriteIsTriedAgain() {
        // The support folder cannot be made: a file stands where it should be.
        put("");
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
