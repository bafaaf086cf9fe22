// The shelf's paths, removal, emptying, the forms a file takes on the clipboard and in a drag, and
// the hand-over of entries to the file manager and the phone.
#include "fakes/FakeClock.h"
#include "fakes/FakeFileRevealer.h"
#include "fakes/FakeFileSender.h"
#include "fakes/FakePasteboard.h"
#include "fakes/TestSupport.h"
#include "services/ShelfService.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QSignalSpy>
#include <QtTest>

namespace {

QStringList paths(const ShelfService& shelf) {
    QStringList out;
    for (const ShelfItem& item : shelf.items())
        out << item.path;
    return out;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

} // namespace

class tst_ShelfService : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<QTemporaryDir> m_files;

    QString make(const QString& relative, bool folder = false) {
        const QString path = m_files->filePath(relative);
        if (folder)
            QDir().mkpath(path);
        else {
            QDir().mkpath(QFileInfo(path).path());
            QFile f(path);
            f.open(QIODevice::WriteOnly);
            f.write("x");
        }
        return path;
    }

private slots:
    void initTestCase() { m_home = TestSupport::isolateHome(); }
    void init() {
        m_files = std::make_unique<QTemporaryDir>();
        QFile::remove(m_home->filePath("shelf.json"));
    }

    // Each row: what is dropped, in one call each, and the paths the shelf then holds.
    void pathsAreCleanedBeforeTheyCompare_data() {
        QTest::addColumn<QStringList>("drops"); // relative to the files folder; "@" marks the folder itself
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("folder with and without its slash")
            << QStringList{"dir/", "dir"} << QStringList{"dir"};
        QTest::newRow("folder without, then with its slash")
            << QStringList{"dir", "dir/"} << QStringList{"dir"};
        QTest::newRow("dot segments")
            << QStringList{"dir/./a.txt", "dir/sub/../a.txt", "dir/a.txt"} << QStringList{"dir/a.txt"};
        QTest::newRow("doubled separators")
            << QStringList{"dir//a.txt", "dir/a.txt"} << QStringList{"dir/a.txt"};
        QTest::newRow("letter case stays distinct")
            << QStringList{"dir/a.txt", "dir/A.txt"} << QStringList{"dir/A.txt", "dir/a.txt"};
    }
    void pathsAreCleanedBeforeTheyCompare() {
        QFETCH(QStringList, drops);
        QFETCH(QStringList, expected);
        make("dir/sub", true);
        make("dir/a.txt");
        make("dir/A.txt");
        FakeClock clock;
        ShelfService shelf(clock, m_home->filePath("shelf.json"));
        for (const QString& drop : drops)
            shelf.add({QUrl::fromLocalFile(m_files->path() + "/" + drop)});
        QStringList want;
        for (const QString& e : expected)
            want << m_files->filePath(e);
        QCOMPARE(paths(shelf), want);
        // A folder's name is its last component, never empty.
        for (const ShelfItem& item : shelf.items())
            QVERIFY(!QFileInfo(item.path).fileName().isEmpty());
    }

    void cleanPathRefusesWhatIsNotALocalFile_data() {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QString>("expected");
        QTest::newRow("web address") << QUrl("https://example.com/a.txt") << QString();
        QTest::newRow("empty") << QUrl() << QString();
        QTest::newRow("file scheme without path") << QUrl("file:") << QString();
        QTest::newRow("trailing slash") << QUrl("file:///tmp/x/") << QString("/tmp/x");
        QTest::newRow("root") << QUrl("file:///") << QString("/");
        QTest::newRow("encoded blank") << QUrl("file:///tmp/a%20b") << QString("/tmp/a b");
    }
    void cleanPathRefusesWhatIsNotALocalFile() {
        QFETCH(QUrl, url);
        QFETCH(QString, expected);
        QCOMPARE(ShelfService::cleanPath(url), expected);
    }

    void removeTakesOnlyThatEntryAndKeepsTheFile() {
        const QString a = make("a.txt"), b = make("b.txt"), c = make("c.txt");
        FakeClock clock;
        const QString store = m_home->filePath("shelf.json");
        ShelfService shelf(clock, store);
        shelf.add({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b), QUrl::fromLocalFile(c)});
        QSignalSpy changed(&shelf, &ShelfService::itemsChanged);
        shelf.remove(shelf.items().at(1).id);
        QCOMPARE(paths(shelf), QStringList({c, a}));
        QCOMPARE(changed.count(), 1);
        QVERIFY(QFile::exists(b));
        ShelfService reloaded(clock, store);
        QCOMPARE(paths(reloaded), QStringList({c, a}));

        // An id that is not there changes nothing but still writes the list.
        QFile::remove(store);
        shelf.remove(QUuid::createUuid());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(paths(shelf), QStringList({c, a}));
        QVERIFY(QFile::exists(store));
    }

    void emptyingWritesAnEmptyListPrivately() {
        const QString a = make("a.txt");
        FakeClock clock;
        const QString store = m_home->filePath("shelf.json");
        ShelfService shelf(clock, store);
        shelf.add({QUrl::fromLocalFile(a)});
        QSignalSpy changed(&shelf, &ShelfService::itemsChanged);
        shelf.clear();
        QVERIFY(shelf.items().isEmpty());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(readAll(store), QByteArray("[]"));
        QCOMPARE(QFile::permissions(store),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        QVERIFY(QFile::exists(a));
        shelf.clear(); // already empty: no change to announce
        QCOMPARE(changed.count(), 1);
    }

    // A file deleted while on the shelf stays listed until the next launch; the store keeps it until
    // the next save.
    void aVanishedFileLeavesOnlyAtTheNextLaunch() {
        const QString a = make("a.txt"), b = make("b.txt");
        FakeClock clock;
        const QString store = m_home->filePath("shelf.json");
        ShelfService shelf(clock, store);
        shelf.add({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
        QVERIFY(QFile::remove(a));
        QCOMPARE(paths(shelf), QStringList({b, a}));
        ShelfService next(clock, store);
        QCOMPARE(paths(next), QStringList({b}));
        QVERIFY(readAll(store).contains("a.txt"));
        next.save();
        QVERIFY(!readAll(store).contains("a.txt"));
    }

    void theFileFormsOfferACopy_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("uri");
        QTest::newRow("plain") << QString("/home/u/a.txt") << QByteArray("file:///home/u/a.txt");
        QTest::newRow("blank and non-ASCII") << QString("/home/u/Relatório final.pdf")
                                             << QByteArray("file:///home/u/Relat%C3%B3rio%20final.pdf");
        QTest::newRow("hash and percent")
            << QString("/tmp/#1 100%.txt") << QByteArray("file:///tmp/%231%20100%25.txt");
        QTest::newRow("missing file") << QString("/no/such/file") << QByteArray("file:///no/such/file");
    }
    void theFileFormsOfferACopy() {
        QFETCH(QString, path);
        QFETCH(QByteArray, uri);
        std::unique_ptr<QMimeData> data(ShelfService::fileMimeData(path));
        QCOMPARE(data->urls(), QList<QUrl>{QUrl::fromLocalFile(path)});
        QCOMPARE(data->urls().constFirst().toLocalFile(), path);
        QCOMPARE(data->data("text/uri-list").trimmed(), uri);
        QCOMPARE(data->data("x-special/gnome-copied-files"), "copy\n" + uri);
        QVERIFY(!data->hasFormat("text/plain"));
    }

    void revealAndSendHandThePathOn() {
        const QString a = make("a b.txt");
        FakeClock clock;
        FakeFileRevealer revealer;
        FakeFileSender sender;
        FakePasteboard pasteboard;
        ShelfService shelf(clock, m_home->filePath("shelf.json"),
                           ShelfService::Seams{revealer, sender, pasteboard});
        shelf.add({QUrl::fromLocalFile(a)});
        const ShelfItem item = shelf.items().constFirst();
        QVERIFY(QFile::remove(a)); // a vanished file is handed on unchanged
        shelf.reveal(item);
        shelf.send(item);
        QCOMPARE(revealer.revealed, QStringList{a});
        QCOMPARE(sender.sent, QStringList{a});
        shelf.copy(item);
        QCOMPARE(pasteboard.writtenFiles, QList<QStringList>{QStringList{a}});
        QVERIFY(pasteboard.written.isEmpty());
        QCOMPARE(paths(shelf), QStringList{a});

        // Without a file manager, a phone link or a clipboard all three are quietly nothing.
        ShelfService bare(clock, m_home->filePath("shelf.json"));
        bare.reveal(item);
        bare.send(item);
        bare.copy(item);
    }
};

QTEST_GUILESS_MAIN(tst_ShelfService)
#include "tst_ShelfService.moc"
