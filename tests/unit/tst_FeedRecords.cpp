// The feeds and items stores' JSON forms: required keys, strict types, optional keys, whole-file refusal.
#include "model/Feed.h"
#include "model/NewsItem.h"
#include "services/AppPaths.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const char* kId = "6F1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D";

QByteArray itemJson(const QString& extra) {
    return QStringLiteral(
               R"([{"id":"a","feedID":"%1","feedTitle":"T","title":"t","link":"l","seen":true%2}])")
        .arg(QLatin1String(kId), extra)
        .toUtf8();
}

} // namespace

class tst_FeedRecords : public QObject {
    Q_OBJECT
private slots:
    void feedRoundTrip() {
        const QList<Feed> feeds{{QUuid::createUuid(), QStringLiteral("Blog"),
                                 QStringLiteral("https://a.example/"),
                                 QStringLiteral("https://a.example/feed")},
                                {QUuid::createUuid(), QString(), QString(), QStringLiteral("x")}};
        const auto back = Feeds::decode(Feeds::encode(feeds));
        QVERIFY(back);
        QCOMPARE(*back, feeds);
        // Stored ids are the plain upper-case form.
        const QJsonArray a = QJsonDocument::fromJson(Feeds::encode(feeds)).array();
        QCOMPARE(a.at(0).toObject().value("id").toString(),
                 feeds[0].id.toString(QUuid::WithoutBraces).toUpper());
    }

    void itemRoundTrip() {
        NewsItem full{QStringLiteral("sum"),
                      QStringLiteral("id1"),
                      QUuid::createUuid(),
                      QStringLiteral("Feed"),
                      QStringLiteral("Title"),
                      QStringLiteral("https://x.example/1"),
                      QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC),
                      true};
        NewsItem bare = full;
        bare.summary.reset();
        bare.published.reset();
        bare.seen = false;
        const auto back = NewsItems::decode(NewsItems::encode({full, bare}));
        QVERIFY(back);
        QCOMPARE(back->size(), 2);
        QCOMPARE(back->at(0), full);
        QCOMPARE(back->at(1), bare);
        const QJsonObject o = QJsonDocument::fromJson(NewsItems::encode({bare})).array().at(0).toObject();
        QVERIFY(!o.contains("summary"));
        QVERIFY(!o.contains("published"));
    }

    void dateReference() {
        // The stored number counts from 2001-01-01 UTC and keeps fractions.
        QCOMPARE(NewsItems::dateToJson(QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC)), 0.0);
        QCOMPARE(NewsItems::dateFromJson(86400.5),
                 QDateTime(QDate(2001, 1, 2), QTime(0, 0, 0, 500), Qt::UTC));
        QCOMPARE(NewsItems::dateFromJson(-86400), QDateTime(QDate(2000, 12, 31), QTime(0, 0), Qt::UTC));
    }

    void itemsDecode_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("readable");
        QTest::newRow("complete") << itemJson(QString()) << true;
        QTest::newRow("summary null") << itemJson(R"(,"summary":null)") << true;
        QTest::newRow("published null") << itemJson(R"(,"published":null)") << true;
        QTest::newRow("published number") << itemJson(R"(,"published":12.25)") << true;
        QTest::newRow("published as text date")
            << itemJson(R"(,"published":"2024-01-01T00:00:00Z")") << false;
        QTest::newRow("summary a number") << itemJson(R"(,"summary":3)") << false;
        QTest::newRow("published huge") << itemJson(R"(,"published":1e300)") << false;
        QTest::newRow("seen missing")
            << QStringLiteral(R"([{"id":"a","feedID":"%1","feedTitle":"T","title":"t","link":"l"}])")
                   .arg(QLatin1String(kId))
                   .toUtf8()
            << false;
        QTest::newRow("seen as number")
            << QStringLiteral(R"([{"id":"a","feedID":"%1","feedTitle":"T","title":"t","link":"l","seen":1}])")
                   .arg(QLatin1String(kId))
                   .toUtf8()
            << false;
        QTest::newRow("feedID in braces")
            << QStringLiteral(
                   R"([{"id":"a","feedID":"{%1}","feedTitle":"T","title":"t","link":"l","seen":true}])")
                   .arg(QLatin1String(kId))
                   .toUtf8()
            << false;
        QTest::newRow("feedID not a uuid")
            << QByteArray(
                   R"([{"id":"a","feedID":"nope","feedTitle":"T","title":"t","link":"l","seen":true}])")
            << false;
        QTest::newRow("id a number")
            << QStringLiteral(
                   R"([{"id":1,"feedID":"%1","feedTitle":"T","title":"t","link":"l","seen":true}])")
                   .arg(QLatin1String(kId))
                   .toUtf8()
            << false;
        QTest::newRow("object not array") << QByteArray(R"({"id":"a"})") << false;
        QTest::newRow("not json") << QByteArray("garbage") << false;
        QTest::newRow("empty array") << QByteArray("[]") << true;
        QTest::newRow("one good one bad") << itemJson(QString()).replace("}]", R"(},{"id":"b"}])") << false;
    }
    void itemsDecode() {
        QFETCH(QByteArray, json);
        QFETCH(bool, readable);
        const auto items = NewsItems::decode(json);
        QCOMPARE(bool(items), readable);
        // A null or missing summary loads as no summary, and is left out again when written.
        if (readable && !items->isEmpty() && !json.contains("\"summary\":\"")) {
            QVERIFY(!items->at(0).summary);
            QVERIFY(!NewsItems::encode(*items).contains("summary"));
        }
    }

    void feedsDecode_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("readable");
        const QString good =
            QStringLiteral(R"({"id":"%1","title":"T","siteURL":"s","feedURL":"f"})").arg(kId);
        QTest::newRow("good") << QStringLiteral("[%1]").arg(good).toUtf8() << true;
        QTest::newRow("object instead of array") << good.toUtf8() << false;
        QTest::newRow("missing feedURL")
            << QStringLiteral(R"([{"id":"%1","title":"T","siteURL":"s"}])").arg(kId).toUtf8() << false;
        QTest::newRow("title null")
            << QStringLiteral(R"([{"id":"%1","title":null,"siteURL":"s","feedURL":"f"}])").arg(kId).toUtf8()
            << false;
        QTest::newRow("short id") << QByteArray(
                                         R"([{"id":"6F1B2C3D","title":"T","siteURL":"s","feedURL":"f"}])")
                                  << false;
        QTest::newRow("lower-case id is read")
            << QStringLiteral(R"([{"id":"%1","title":"T","siteURL":"s","feedURL":"f"}])")
                   .arg(QString::fromLatin1(kId).toLower())
                   .toUtf8()
            << true;
    }
    void feedsDecode() {
        QFETCH(QByteArray, json);
        QFETCH(bool, readable);
        QCOMPARE(bool(Feeds::decode(json)), readable);
    }

    // An unreadable store is set aside, not overwritten; the other store still loads.
    void unreadableStoreIsSetAside() {
        QTemporaryDir dir;
        const QString feedsPath = dir.filePath("news-feeds.json");
        const QString itemsPath = dir.filePath("news-items.json");
        const QList<Feed> feeds{{QUuid::createUuid(), "T", "s", "f"}};
        QVERIFY(AppPaths::writePrivate(Feeds::encode(feeds), feedsPath));
        QVERIFY(AppPaths::writePrivate(R"([{"id":"a"}])", itemsPath));
        QCOMPARE(AppPaths::loadStore(feedsPath, Feeds::decode).value_or(QList<Feed>()), feeds);
        QVERIFY(!AppPaths::loadStore(itemsPath, NewsItems::decode));
        QVERIFY(!QFile::exists(itemsPath));
        const QStringList aside = QDir(dir.path()).entryList({"news-items.json.corrupt-*"});
        QCOMPARE(aside.size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_FeedRecords)
#include "tst_FeedRecords.moc"
