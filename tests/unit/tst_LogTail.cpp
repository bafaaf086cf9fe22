// The end of a log as the log view gets it: size boundaries, cut characters, bad bytes, live appends.
#include "fakes/JoiningThread.h"
#include "services/LogTail.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QString writeFile(const QTemporaryDir& dir, const QByteArray& content, const QString& name = "svc.log") {
    const QString path = dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size())
        qFatal("cannot write fixture %s", qPrintable(path));
    return path;
}

const QChar kReplacement(0xFFFD);

} // namespace

class tst_LogTail : public QObject {
    Q_OBJECT
private slots:
    void tail_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");

        // 32768 bytes: shown whole, first line included.
        const QByteArray firstLine = "first line\n";
        const QByteArray exact = firstLine + QByteArray(32768 - firstLine.size() - 1, 'a') + '\n';
        QTest::newRow("exactly 32768 bytes") << exact << QString::fromLatin1(exact);
        // One byte more: the first byte goes, and with it the rest of the cut first line.
        const QByteArray over = exact + 'b';
        QTest::newRow("32769 bytes") << over << QString::fromLatin1(over.mid(firstLine.size()));
        const QByteArray noLf(100 * 1024, 'z');
        QTest::newRow("100 KB without a line feed in the tail") << noLf << QString(32768, u'z');
        QTest::newRow("empty file") << QByteArray() << QString();
        QTest::newRow("blank lines stay as they are") << QByteArray("\n \n\t\n") << QString("\n \n\t\n");

        // 2-byte characters with the cut on a continuation byte and no line feed to drop.
        const QByteArray e = QString(u'é').toUtf8();
        QTest::newRow("cut inside a 2-byte character, no line feed")
            << e.repeated(20000) + 'x' << QString(16383, u'é') + 'x';
        QTest::newRow("cut inside a 2-byte character, before a line feed") << e.repeated(20000) + "\nação\n"
                                                                           << QString::fromUtf8("ação\n");
        const QByteArray rocket = QString::fromUtf8("🚀").toUtf8();
        for (int into = 1; into <= 3; ++into) {
            // The tail starts `into` bytes inside a rocket when `into` bytes follow the last one.
            const QByteArray bang(into, '!');
            QTest::addRow("cut %d bytes into a 4-byte character", into)
                << rocket.repeated(8200) + bang
                << QString::fromUtf8("🚀").repeated(8191) + QString::fromLatin1(bang);
        }

        QTest::newRow("stray invalid byte")
            << QByteArray("hello \xff world\n") << QString("hello ") + kReplacement + " world\n";
        QTest::newRow("latin-1 accent from another tool")
            << QByteArray("caf\xe9 ok\n") << QString("caf") + kReplacement + " ok\n";
        QTest::newRow("character half written at the end") << QByteArray("price: 3 \xe2\x82") << "price: 3 ";
        QTest::newRow("lone lead byte at the end") << QByteArray("done \xc3") << "done ";
        QTest::newRow("complete 4-byte character at the end") << rocket << QString::fromUtf8("🚀");
    }
    void tail() {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const auto text = LogTail::read(writeFile(dir, content));
        QVERIFY(text.has_value());
        QCOMPARE(text->size(), expected.size());
        QCOMPARE(*text, expected);
    }

    void unreadable() {
        QTemporaryDir dir;
        QVERIFY(!LogTail::read(dir.filePath("never-started.log")));
        QVERIFY(!LogTail::read(dir.path())); // a folder
        const QString fifo = dir.filePath("fifo.log");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(!LogTail::read(fifo)); // refused, and without blocking
        if (::geteuid() != 0) {
            const QString locked = writeFile(dir, "secret\n", "locked.log");
            QFile::setPermissions(locked, QFileDevice::WriteOwner);
            QVERIFY(!LogTail::read(locked));
        }
    }

    void smallerLimit() {
        QTemporaryDir dir;
        const QString path = writeFile(dir, "one\ntwo\nthree\n");
        QCOMPARE(LogTail::read(path, 8).value(), "three\n"); // "o\nthree\n" minus its cut line
        QCOMPARE(LogTail::read(path, 0).value(), QString());
    }

    void fileAppendedWhileRead() {
        QTemporaryDir dir;
        const QString path = writeFile(dir, QByteArray());
        const QByteArray native = QFile::encodeName(path);
        std::atomic<bool> stop{false};
        TestSupport::JoiningThread writer(
            [&] { stop = true; },
            [&] {
                const int fd = ::open(native.constData(), O_WRONLY | O_APPEND);
                QByteArray line;
                for (int i = 0; !stop.load() && i < 200000; ++i) {
                    line = QStringLiteral("linha %1 ação 🚀\n").arg(i).toUtf8();
                    // Two writes per line, split inside the rocket, so a reader can see half a character.
                    const qsizetype split = line.size() - 3;
                    if (::write(fd, line.constData(), size_t(split)) < 0 ||
                        ::write(fd, line.constData() + split, size_t(line.size() - split)) < 0)
                        break;
                }
                ::close(fd);
            });

        const QRegularExpression whole(QStringLiteral("^linha \\d+ ação 🚀$"));
        // Read like the 1 s refresh does, only much faster, until many reads saw a long, growing file.
        // Under the sanitizers on a loaded machine a read can take a tenth of a second: the guard only
        // keeps a broken reader from looping for ever.
        int longReads = 0;
        QElapsedTimer guard;
        guard.start();
        while (longReads < 100 && guard.elapsed() < 120000) {
            const bool isLong = QFileInfo(path).size() > 2 * LogTail::kMaxBytes;
            const auto text = LogTail::read(path);
            QVERIFY(text.has_value());
            QVERIFY2(!text->contains(kReplacement), "a half-written character showed as a bad byte");
            QVERIFY(text->toUtf8().size() <= LogTail::kMaxBytes);
            QStringList lines = text->split(u'\n');
            lines.removeLast(); // the line being written, if any
            for (const QString& l : lines)
                QVERIFY2(whole.match(l).hasMatch(), qPrintable(l));
            if (isLong && !lines.isEmpty())
                ++longReads;
        }
        stop = true;
        writer.join();
        QCOMPARE(longReads, 100);
    }
};

QTEST_GUILESS_MAIN(tst_LogTail)
#include "tst_LogTail.moc"
