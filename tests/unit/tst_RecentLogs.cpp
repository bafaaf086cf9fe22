// The walk over another tool's log folder: which files it finds, and what it says of each.
#include "fakes/LogFixtures.h"
#include "services/RecentLogs.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

class tst_RecentLogs : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    const QDateTime m_now = QDateTime::currentDateTimeUtc();

    QString root() const { return m_dir.path() + "/root"; }

    QStringList found(const QString& from, const QDateTime& cutoff) const {
        QStringList paths;
        for (const RecentLog& log : recentLogs(from, cutoff))
            paths << QDir(from).relativeFilePath(log.path);
        paths.sort();
        return paths;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        const QDateTime recent = m_now.addSecs(-60);
        QVERIFY(LogFixtures::write(root() + "/a.jsonl", "{}\n", recent));
        QVERIFY(LogFixtures::write(root() + "/.hidden/b.jsonl", "{}\n{}\n", recent));
        QVERIFY(LogFixtures::write(root() + "/sub/deep/c.jsonl", "{}\n", recent));
        QVERIFY(LogFixtures::write(root() + "/old.jsonl", "{}\n", m_now.addDays(-30)));
        QVERIFY(LogFixtures::write(root() + "/notes.txt", "{}\n", recent));
        QVERIFY(LogFixtures::write(root() + "/x.jsonl.bak", "{}\n", recent));
        QVERIFY(LogFixtures::write(m_dir.path() + "/outside/d.jsonl", "{}\n", recent));
        QVERIFY(QFile::link(root() + "/a.jsonl", root() + "/link.jsonl"));
        QVERIFY(QFile::link(m_dir.path() + "/outside", root() + "/folderlink"));
        QVERIFY(QFile::link(root() + "/nowhere", root() + "/dangling.jsonl"));
        QVERIFY(QDir().mkpath(root() + "/folder.jsonl"));
        QCOMPARE(::mkfifo(QFile::encodeName(root() + "/fifo.jsonl").constData(), 0600), 0);
        QVERIFY(QFile::link(root(), m_dir.path() + "/rootlink"));
    }

    // Regular ".jsonl" files at any depth, hidden ones too, and links to them; never a link to a folder, a
    // FIFO (whose open could wait forever), a folder with the name, or a file that has not changed lately.
    void whichFiles_data() {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("cutoffDays");
        QTest::addColumn<QStringList>("expected");
        const QStringList recent{".hidden/b.jsonl", "a.jsonl", "link.jsonl", "sub/deep/c.jsonl"};
        QTest::newRow("the last week") << "root" << 7 << recent;
        QTest::newRow("the last 60 days")
            << "root" << 60
            << QStringList{".hidden/b.jsonl", "a.jsonl", "link.jsonl", "old.jsonl", "sub/deep/c.jsonl"};
        QTest::newRow("a root that is a link is walked") << "rootlink" << 7 << recent;
        QTest::newRow("a root with a trailing slash") << "root/" << 7 << recent;
        QTest::newRow("no such root") << "missing" << 7 << QStringList{};
        QTest::newRow("a root that is a file") << "root/a.jsonl" << 7 << QStringList{};
    }
    void whichFiles() {
        QFETCH(QString, from);
        QFETCH(int, cutoffDays);
        QFETCH(QStringList, expected);
        QCOMPARE(found(m_dir.path() + "/" + from, m_now.addDays(-cutoffDays)), expected);
    }

    // One stat says it all: the file a link leads to, its size and time as QFileInfo gives them.
    void whatEachFileIs() {
        QHash<QString, LogFile> seen;
        walkRecentLogs(root(), m_now.addDays(-7).toMSecsSinceEpoch(),
                       [&](const LogFile& file) { seen.insert(file.path(), file); });
        QCOMPARE(seen.size(), 4);
        struct stat target {};
        QCOMPARE(::stat(QFile::encodeName(root() + "/a.jsonl").constData(), &target), 0);
        for (const QString& name : {QStringLiteral("/a.jsonl"), QStringLiteral("/link.jsonl")}) {
            const LogFile file = seen.value(root() + name);
            QCOMPARE(file.device, quint64(target.st_dev));
            QCOMPARE(file.inode, quint64(target.st_ino));
            QCOMPARE(file.size, 3);
            QCOMPARE(file.modifiedMs, QFileInfo(root() + "/a.jsonl").lastModified().toMSecsSinceEpoch());
        }
        QCOMPARE(seen.value(root() + "/.hidden/b.jsonl").size, 6);
        // The cut-off is exclusive: a file changed at that very millisecond is not recent.
        const qint64 at = seen.value(root() + "/a.jsonl").modifiedMs;
        int atCutoff = 0;
        walkRecentLogs(root(), at,
                       [&](const LogFile& file) { atCutoff += file.name == QByteArray("a.jsonl"); });
        QCOMPARE(atCutoff, 0);
    }
};

QTEST_GUILESS_MAIN(tst_RecentLogs)
#include "tst_RecentLogs.moc"
