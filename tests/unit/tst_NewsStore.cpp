// The news stores written on their worker: order, the last snapshot winning, and a store opened while
// writes are still running reading what was last saved.
#include "fakes/TestSupport.h"
#include "services/AppPaths.h"
#include "services/NewsStore.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace {

QList<Feed> feedsNumbered(int n) {
    QList<Feed> feeds;
    for (int i = 0; i < n; ++i)
        feeds.append(Feed{QUuid::createUuid(), QStringLiteral("Source %1").arg(i),
                          QStringLiteral("https://s.example/"),
                          QStringLiteral("https://s.example/%1.xml").arg(i)});
    return feeds;
}

QList<NewsItem> itemsNumbered(int n, const QString& tag) {
    QList<NewsItem> items;
    for (int i = 0; i < n; ++i)
        items.append(NewsItem{QStringLiteral("summary %1").arg(i), QStringLiteral("%1-%2").arg(tag).arg(i),
                              QUuid(), QStringLiteral("Feed"), QStringLiteral("Title %1").arg(i), QString(),
                              QDateTime(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC).addSecs(i), i % 2 == 0});
    return items;
}

} // namespace

class tst_NewsStore : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    QString m_feeds, m_items;
    NewsWriter m_writer;

private slots:
    void initTestCase() {
        m_home = TestSupport::isolateHome();
        const QDir support(TestSupport::folders().supportDir());
        m_feeds = support.filePath(QStringLiteral("store-feeds.json"));
        m_items = support.filePath(QStringLiteral("store-items.json"));
    }
    void init() {
        QFile::remove(m_feeds);
        QFile::remove(m_items);
    }

    void nothingStoredReadsEmpty() {
        NewsStore store(m_writer, m_feeds, m_items);
        QVERIFY(store.loadFeeds().isEmpty());
        QVERIFY(store.loadItems().isEmpty());
    }

    // Many saves in a row, read back by a second store while the first still lives and may be writing.
    void laterStoreReadsTheLastSnapshot_data() {
        QTest::addColumn<int>("saves");
        QTest::newRow("one") << 1;
        QTest::newRow("a burst") << 40;
    }
    void laterStoreReadsTheLastSnapshot() {
        QFETCH(int, saves);
        NewsStore first(m_writer, m_feeds, m_items);
        QList<Feed> feeds;
        QList<NewsItem> items;
        for (int i = 1; i <= saves; ++i) {
            feeds = feedsNumbered(i % 7 + 1);
            items = itemsNumbered(300, QStringLiteral("round%1").arg(i));
            first.save(feeds, items);
        }
        NewsStore second(m_writer, m_feeds, m_items);
        QCOMPARE(second.loadFeeds(), feeds);
        QCOMPARE(second.loadItems(), items);
    }

    void endingWritesWhatIsQueued() {
        const QList<Feed> feeds = feedsNumbered(3);
        const QList<NewsItem> items = itemsNumbered(5, QStringLiteral("last"));
        {
            NewsStore store(m_writer, m_feeds, m_items);
            store.save(feedsNumbered(1), {});
            store.save(feeds, items);
        }
        QFile f(m_items);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(NewsItems::decode(f.readAll()), std::optional<QList<NewsItem>>(items));
        QCOMPARE(QFile(m_feeds).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    }

    // Two services over the same files: the one saving later wins, whatever the worker still holds.
    void savesFromTwoStoresKeepTheirOrder() {
        NewsStore a(m_writer, m_feeds, m_items);
        NewsStore b(m_writer, m_feeds, m_items);
        a.save(feedsNumbered(2), itemsNumbered(300, QStringLiteral("a")));
        b.save(feedsNumbered(4), itemsNumbered(3, QStringLiteral("b")));
        a.waitForIdle();
        b.waitForIdle();
        NewsStore reader(m_writer, m_feeds, m_items);
        QCOMPARE(reader.loadItems(), itemsNumbered(3, QStringLiteral("b")));
        QCOMPARE(reader.loadFeeds().size(), 4);
    }
};

QTEST_GUILESS_MAIN(tst_NewsStore)
#include "tst_NewsStore.moc"
