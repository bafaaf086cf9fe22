// The custom tab's stored form (strict decoding, round trip) and its page address rules.
#include "model/CustomTab.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

const char* kId = "6F9619FF-8B86-D011-B42D-00C04FC964FF";

QJsonObject element() {
    return QJsonObject{{"id", kId}, {"name", "Logs"},      {"kind", "script"}, {"command", "ls"},
                       {"url", ""}, {"refreshSeconds", 5}, {"enabled", true}};
}

QByteArray arrayOf(const QJsonObject& o) {
    return QJsonDocument(QJsonArray{element(), o}).toJson(QJsonDocument::Compact);
}

} // namespace

class tst_CustomTab : public QObject {
    Q_OBJECT
private slots:
    void roundTrip() {
        CustomTab a;
        a.id = QUuid::createUuid();
        a.name = "Docker \"ps\" / ção 😀";
        a.kind = CustomTab::Kind::script;
        a.command = "docker ps -a # all\nline two";
        a.refreshSeconds = 300;
        CustomTab b;
        b.id = QUuid::createUuid();
        b.name = "Dev";
        b.kind = CustomTab::Kind::web;
        b.url = " localhost:5173/a?b=c ";
        b.refreshSeconds = -4;
        b.enabled = false;
        CustomTab huge = a;
        huge.id = QUuid::createUuid();
        huge.refreshSeconds = 20000000000LL;

        const QList<CustomTab> tabs{a, b, huge};
        const QByteArray bytes = CustomTabCodec::encode(tabs);
        QVERIFY(!bytes.contains('\n')); // compact
        QVERIFY(bytes.contains(a.id.toString(QUuid::WithoutBraces).toUpper().toLatin1()));
        QCOMPARE(CustomTabCodec::decode(bytes), std::optional<QList<CustomTab>>(tabs));
        QCOMPARE(CustomTabCodec::decode("[]"), std::optional<QList<CustomTab>>(QList<CustomTab>{}));
    }

    void decodeRules_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("loads");
        const auto without = [](const char* key) {
            QJsonObject o = element();
            o.remove(key);
            return arrayOf(o);
        };
        const auto with = [](const char* key, const QJsonValue& v) {
            QJsonObject o = element();
            o.insert(key, v);
            return arrayOf(o);
        };
        for (const char* key : {"id", "name", "kind", "command", "url", "refreshSeconds", "enabled"})
            QTest::addRow("missing %s", key) << without(key) << false;
        QTest::newRow("kind shell") << with("kind", "shell") << false;
        QTest::newRow("kind Script") << with("kind", "Script") << false;
        QTest::newRow("refreshSeconds as string") << with("refreshSeconds", "5") << false;
        QTest::newRow("refreshSeconds fractional") << with("refreshSeconds", 2.5) << false;
        QTest::newRow("refreshSeconds 1e300") << with("refreshSeconds", 1e300) << false;
        QTest::newRow("refreshSeconds null") << with("refreshSeconds", QJsonValue()) << false;
        QTest::newRow("enabled as 1") << with("enabled", 1) << false;
        QTest::newRow("enabled as string") << with("enabled", "true") << false;
        QTest::newRow("name as number") << with("name", 3) << false;
        QTest::newRow("id not a uuid") << with("id", "not-a-uuid") << false;
        QTest::newRow("id in braces") << with("id", "{6F9619FF-8B86-D011-B42D-00C04FC964FF}") << false;
        QTest::newRow("id without hyphens") << with("id", "6F9619FF8B86D011B42D00C04FC964FF") << false;
        QTest::newRow("element not an object") << QByteArray("[1]") << false;
        QTest::newRow("object at top") << QJsonDocument(element()).toJson() << false;
        QTest::newRow("not json") << QByteArray("[{") << false;
        QTest::newRow("empty bytes") << QByteArray() << false;
        QTest::newRow("lower-case id") << with("id", QString(kId).toLower()) << true;
        QTest::newRow("extra key") << with("colour", "red") << true;
        QTest::newRow("refreshSeconds 5.0") << with("refreshSeconds", 5.0) << true;
        QTest::newRow("negative refresh") << with("refreshSeconds", -1) << true;
        QTest::newRow("escaped solidus")
            << QByteArray(R"([{"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","name":"a\/b","kind":"web",)"
                          R"("command":"","url":"https:\/\/x.org\/","refreshSeconds":0,"enabled":false}])")
            << true;
    }
    void decodeRules() {
        QFETCH(QByteArray, json);
        QFETCH(bool, loads);
        const std::optional<QList<CustomTab>> tabs = CustomTabCodec::decode(json);
        QCOMPARE(tabs.has_value(), loads);
        if (loads)
            QVERIFY(!tabs->isEmpty());
    }

    void escapedSolidusReadsAsSolidus() {
        const auto tabs = CustomTabCodec::decode(
            R"([{"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","name":"a\/b","kind":"web",)"
            R"("command":"","url":"https:\/\/x.org\/","refreshSeconds":0,"enabled":false}])");
        QVERIFY(tabs);
        QCOMPARE(tabs->first().name, QString("a/b"));
        QCOMPARE(tabs->first().url, QString("https://x.org/"));
        QCOMPARE(tabs->first().kind, CustomTab::Kind::web);
        QCOMPARE(tabs->first().enabled, false);
    }

    void resolvedURL_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected"); // empty: no address
        QTest::newRow("bare host with spaces") << "  example.com \t"
                                               << "https://example.com";
        QTest::newRow("localhost with port") << "localhost:5173"
                                             << "http://localhost:5173";
        QTest::newRow("127. address") << "127.0.0.1:3000"
                                      << "http://127.0.0.1:3000";
        QTest::newRow("127. with path") << "127.0.0.1:5173/app"
                                        << "http://127.0.0.1:5173/app";
        QTest::newRow("capital LOCALHOST") << "LOCALHOST:1"
                                           << "https://LOCALHOST:1";
        QTest::newRow("other scheme as typed") << "ftp://x"
                                               << "ftp://x";
        QTest::newRow("http as typed") << "http://example.com/a"
                                       << "http://example.com/a";
        QTest::newRow("scheme anywhere") << "example.com/?u=http://y"
                                         << "example.com/?u=http://y";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("blank") << " \t  "
                               << "";
        QTest::newRow("space inside") << "exa mple.com"
                                      << "";
        QTest::newRow("bad port") << "localhost:99999999"
                                  << "";
    }
    void resolvedURL() {
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        CustomTab tab;
        tab.url = typed;
        const std::optional<QUrl> url = tab.resolvedURL();
        QCOMPARE(url.has_value(), !expected.isEmpty());
        if (url)
            QCOMPARE(url->toString(), QUrl(expected).toString());
    }

    void newlinesAreNotTrimmed() {
        CustomTab tab;
        tab.url = "\nexample.com";
        const std::optional<QUrl> url = tab.resolvedURL();
        // Either refused or parsed with the newline kept in front: never the bare host.
        QVERIFY(!url || url->toString() != "https://example.com");
    }
};

QTEST_GUILESS_MAIN(tst_CustomTab)
#include "tst_CustomTab.moc"
