// The walk over another tool's log folder: which files it finds, and what it says of each; with helper
// threads, exactly what it finds alone, in the same order, as the folders change.
#include "fakes/LogFixtures.h"
#include "services/RecentLogs.h"
#include "services/WorkPool.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>

#include <latch>
#include <optional>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What the walk says of a log, as one line to compare.
QString describe(const LogFile& file) {
    return QStringLiteral("%1 %2:%3 %4 %5 %6")
        .arg(file.path())
        .arg(file.device)
        .arg(file.inode)
        .arg(file.size)
        .arg(file.modifiedMs)
        .arg(file.modifiedNs);
}

QStringList walked(const QString& root, WorkPool* helpers) {
    QStringList lines;
    walkRecentLogs(root, 0, helpers, [&](const LogFile& file) { lines << describe(file); });
    return lines;
}

// The same list made another way, sorted: every regular ".jsonl" file that can be opened from `root`
// through folders that are no links, a link to a file standing for the file.
QStringList reference(const QString& root) {
    QStringList lines;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!path.endsWith(".jsonl"))
            continue;
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        LogFile file;
        const QByteArray folder = QFile::encodeName(QFileInfo(path).path());
        const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
        file.folder = &folder;
        file.name = name.constData();
        file.device = quint64(st.st_dev);
        file.inode = quint64(st.st_ino);
        file.size = st.st_size;
        file.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        file.modifiedMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
        lines << describe(file);
    }
    lines.sort();
    return lines;
}

// Root passes every permission check; a folder it may not read is only one for a user who may not. For
// as long as this lives, the files of this thread and of every thread of `pool` are checked as `uid`.
class FilesCheckedAs {
public:
    FilesCheckedAs(WorkPool& pool, int threads, uid_t uid)
        : m_pool(pool)
        , m_threads(threads) {
        if (::geteuid() == 0)
            everywhere(uid);
    }
    ~FilesCheckedAs() {
        if (::geteuid() == 0)
            everywhere(0);
    }
    Q_DISABLE_COPY_MOVE(FilesCheckedAs)

private:
    void everywhere(uid_t uid) {
        // Each task waits for the others, so each runs on a thread of its own: all of them are reached.
        std::latch all(m_threads);
        for (int i = 0; i < m_threads; ++i)
            m_pool.start([&] {
                checkAs(uid);
                all.arrive_and_wait();
            });
        m_pool.waitForDone();
        checkAs(uid);
    }
    // The group too: root's group would otherwise be the folders' group.
    static void checkAs(uid_t uid) {
        ::setfsgid(gid_t(uid));
        ::setfsuid(uid);
    }
    WorkPool& m_pool;
    int m_threads;
};

} // namespace

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

    // A tree wide enough for several batches of folders and several helpers' shares of stats, changed in
    // each of the ways a tool's folder changes: the helpers find what the walk alone finds, in its order,
    // and both what the file system holds.
    void helpersFindWhatTheWalkAloneFinds_data() {
        QTest::addColumn<QString>("change");
        for (const char* change :
             {"none", "new log", "new folder", "grown", "shrunk", "replaced", "removed", "removed folder",
              "link to a log", "link to a log elsewhere", "link to a folder", "dangling link",
              "unreadable folder", "folder listed but not searchable", "unreadable log"})
            QTest::newRow(change) << QString(change);
    }
    void helpersFindWhatTheWalkAloneFinds() {
        QFETCH(QString, change);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // Others may pass through to the tree: the unreadable rows check files as another user.
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                      QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                      QFileDevice::ExeOther));
        const QString tree = dir.path() + "/projects";
        const QDateTime recent = m_now.addSecs(-60);
        // 130 folders of 3 logs (three batches), one folder of 300 (a few shares), and depth.
        for (int f = 0; f < 130; ++f)
            for (int l = 0; l < 3; ++l)
                QVERIFY(LogFixtures::write(tree + QString("/p%1/s%2.jsonl").arg(f).arg(l), "{}\n", recent));
        for (int l = 0; l < 300; ++l)
            QVERIFY(LogFixtures::write(tree + QString("/wide/s%1.jsonl").arg(l), "{}\n", recent));
        QVERIFY(LogFixtures::write(tree + "/p1/a/b/c/deep.jsonl", "{}\n", recent));
        QVERIFY(LogFixtures::write(dir.path() + "/elsewhere/e.jsonl", "{}\n{}\n", recent));

        WorkPool pool(4);
        pool.threads().setExpiryTimeout(-1); // the threads that check files as another user stay
        const QStringList before = walked(tree, &pool);
        QCOMPARE(before.size(), 130 * 3 + 300 + 1);

        std::optional<FilesCheckedAs> asOther;
        const QByteArray log = QFile::encodeName(tree + "/p7/s1.jsonl");
        if (change == "new log") {
            QVERIFY(LogFixtures::write(tree + "/p8/new.jsonl", "{}\n", recent));
        } else if (change == "new folder") {
            QVERIFY(LogFixtures::write(tree + "/p200/x/new.jsonl", "{}\n", recent));
        } else if (change == "grown") {
            QVERIFY(LogFixtures::append(tree + "/p7/s1.jsonl", "{}\n", recent));
        } else if (change == "shrunk") {
            QCOMPARE(::truncate(log.constData(), 1), 0);
        } else if (change == "replaced") {
            QVERIFY(LogFixtures::write(tree + "/p7/next", "{}\n", recent));
            QCOMPARE(::rename(QFile::encodeName(tree + "/p7/next").constData(), log.constData()), 0);
        } else if (change == "removed") {
            QVERIFY(QFile::remove(tree + "/p7/s1.jsonl"));
        } else if (change == "removed folder") {
            QVERIFY(QDir(tree + "/p9").removeRecursively());
        } else if (change == "link to a log") {
            QVERIFY(QFile::link(tree + "/p7/s1.jsonl", tree + "/wide/again.jsonl"));
        } else if (change == "link to a log elsewhere") {
            QVERIFY(QFile::link(dir.path() + "/elsewhere/e.jsonl", tree + "/p3/e.jsonl"));
        } else if (change == "link to a folder") {
            QVERIFY(QFile::link(dir.path() + "/elsewhere", tree + "/p3/elsewhere"));
        } else if (change == "dangling link") {
            QVERIFY(QFile::link(dir.path() + "/nowhere.jsonl", tree + "/p3/gone.jsonl"));
        } else if (change == "unreadable folder") {
            QCOMPARE(::chmod(QFile::encodeName(tree + "/p1").constData(), 0), 0);
            asOther.emplace(pool, 4, 65534);
        } else if (change == "folder listed but not searchable") {
            QCOMPARE(::chmod(QFile::encodeName(tree + "/wide").constData(), 0444), 0);
            asOther.emplace(pool, 4, 65534);
        } else if (change == "unreadable log") {
            // Its content is closed, its size and time are not.
            QCOMPARE(::chmod(log.constData(), 0), 0);
            asOther.emplace(pool, 4, 65534);
        }
        const QStringList alone = walked(tree, nullptr);
        const QStringList helped = walked(tree, &pool);
        asOther.reset();
        for (const char* folder : {"/p1", "/wide"})
            ::chmod(QFile::encodeName(tree + folder).constData(), 0755);
        QCOMPARE(helped, alone);
        QStringList sorted = alone;
        sorted.sort();
        if (!change.startsWith("unreadable") && !change.startsWith("folder listed"))
            QCOMPARE(sorted, reference(tree));
        // Links to folders are never followed, one that leads nowhere is no log, and a log's size and
        // time are seen without reading it.
        if (change == "none" || change == "link to a folder" || change == "dangling link" ||
            change == "unreadable log")
            QCOMPARE(alone, before);
        else
            QVERIFY(alone != before);
        if (change == "unreadable folder")
            QCOMPARE(alone.size(), before.size() - 4);
        if (change == "folder listed but not searchable")
            QCOMPARE(alone.size(), before.size() - 300);
    }

    // Folders deeper than the limit are not walked, with helpers or without; a folder at the limit is.
    void depthLimit() {
        QTemporaryDir dir;
        QString folder = dir.path() + "/t";
        for (int depth = 0; depth <= 65; ++depth) {
            QVERIFY(
                LogFixtures::write(folder + QString("/d%1.jsonl").arg(depth), "{}\n", m_now.addSecs(-60)));
            folder += "/x";
        }
        WorkPool pool(4);
        const QStringList alone = walked(dir.path() + "/t", nullptr);
        QCOMPARE(alone.size(), 65);
        QVERIFY(alone.last().contains("/d64.jsonl "));
        QCOMPARE(walked(dir.path() + "/t", &pool), alone);
    }

    // A pool already cancelled (the program is quitting) lends no thread: the walk still finds it all.
    // (Every log since 1970: "old.jsonl" too.)
    void cancelledHelpers() {
        WorkPool pool(4);
        pool.cancel();
        QCOMPARE(walked(root(), &pool), walked(root(), nullptr));
        QCOMPARE(walked(root(), &pool).size(), 5);
    }
};

QTEST_GUILESS_MAIN(tst_RecentLogs)
#include "tst_RecentLogs.moc"
