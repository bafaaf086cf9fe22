// The log keeper's cap: the oldest part goes (cut in place, or rewritten where the file system cannot
// cut), what stays is exactly the newest bytes, and a keeper copying a stream never lets the file pass
// its cap and follows a log that was replaced under it.
#include "fakes/JoiningThread.h"
#include "platform/LogCap.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray numberedLines(int first, int count) {
    QByteArray out;
    for (int i = first; i < first + count; ++i)
        out += QByteArray("line ") + QByteArray::number(i).rightJustified(9, '0') + '\n';
    return out;
}

QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ino_t inodeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

bool writeAll(int fd, const QByteArray& data) {
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace

class tst_LogCap : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void trimKeepsTheNewest_data() {
        QTest::addColumn<bool>("allowCut");
        QTest::newRow("cut in place") << true;
        QTest::newRow("rewritten") << false;
    }
    void trimKeepsTheNewest() {
        QFETCH(bool, allowCut);
        const QString path = m_dir.filePath(allowCut ? "cut.log" : "rewritten.log");
        const QByteArray all = numberedLines(0, 200000); // 3 MiB
        int fd = LogCap::openLog(QFile::encodeName(path).toStdString());
        QVERIFY(fd >= 0);
        QVERIFY(writeAll(fd, all));
        const ino_t before = inodeOf(path);
        const qint64 keep = 1 << 20;
        const int after = LogCap::trim(fd, QFile::encodeName(path).toStdString(), keep, allowCut);
        QVERIFY(after >= 0);
        const QByteArray kept = contentOf(path);
        QVERIFY2(kept.size() >= keep && kept.size() < keep + 65536, qPrintable(QString::number(kept.size())));
        QCOMPARE(kept, all.right(kept.size()));
        if (!allowCut) {
            QVERIFY(after != fd);
            QVERIFY(inodeOf(path) != before);
            QCOMPARE(::fcntl(fd, F_GETFD), -1); // the old descriptor was let go
        }
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0600u);
        // Later writes land after what was kept.
        QVERIFY(writeAll(after, "next\n"));
        QVERIFY(contentOf(path).endsWith(all.right(100) + "next\n"));
        ::close(after);
        // Nothing is left behind by a rewrite.
        QCOMPARE(QDir(m_dir.path()).entryList({".*keep-*"}, QDir::Files | QDir::Hidden).size(), 0);
    }

    void smallFileIsLeftAsItIs() {
        const QString path = m_dir.filePath("small.log");
        const int fd = LogCap::openLog(QFile::encodeName(path).toStdString());
        QVERIFY(writeAll(fd, "short\n"));
        QCOMPARE(LogCap::trim(fd, QFile::encodeName(path).toStdString(), 1 << 20), fd);
        QCOMPARE(contentOf(path), QByteArray("short\n"));
        ::close(fd);
    }

    // Copying a stream many times its cap: the file never passes the cap and ends with the newest bytes.
    void keepingAStreamStaysUnderTheCap() {
        const QString path = m_dir.filePath("stream.log");
        int fds[2];
        QCOMPARE(::pipe(fds), 0);
        const int log = LogCap::openLog(QFile::encodeName(path).toStdString());
        QVERIFY(log >= 0);
        const qint64 cap = LogCap::kMinCapBytes * 2;
        // A failed check closes the stream, so that the keeper ends and is joined.
        TestSupport::JoiningThread keeper(
            [&] { ::close(fds[1]); },
            [&] { LogCap::keep(fds[0], log, QFile::encodeName(path).toStdString(), cap); });
        const QByteArray all = numberedLines(0, 700000); // about 10 MiB
        qint64 largest = 0;
        for (qsizetype at = 0; at < all.size(); at += 100000) {
            QVERIFY(writeAll(fds[1], all.mid(at, 100000)));
            largest = qMax(largest, QFileInfo(path).size());
        }
        ::close(fds[1]);
        keeper.join();
        ::close(fds[0]);
        const QByteArray kept = contentOf(path);
        QVERIFY(largest <= cap);
        QVERIFY(kept.size() <= cap);
        QVERIFY(kept.size() >= cap / 2 - 65536);
        QCOMPARE(kept, all.right(kept.size()));
    }

    // A log replaced under a running keeper (the same name's other service, the user) gets what follows.
    void keeperFollowsAReplacedLog() {
        const QString path = m_dir.filePath("replaced.log");
        int fds[2];
        QCOMPARE(::pipe(fds), 0);
        const int log = LogCap::openLog(QFile::encodeName(path).toStdString());
        TestSupport::JoiningThread keeper([&] { ::close(fds[1]); },
                                          [&] {
                                              LogCap::keep(fds[0], log, QFile::encodeName(path).toStdString(),
                                                           LogCap::kDefaultCapBytes);
                                          });
        QVERIFY(writeAll(fds[1], "before\n"));
        QTRY_COMPARE_WITH_TIMEOUT(contentOf(path), QByteArray("before\n"), 10000);
        QFile::remove(path);
        QVERIFY(writeAll(fds[1], "after\n"));
        ::close(fds[1]);
        keeper.join();
        ::close(fds[0]);
        QCOMPARE(contentOf(path), QByteArray("after\n"));
    }
};

QTEST_GUILESS_MAIN(tst_LogCap)
#include "tst_LogCap.moc"
