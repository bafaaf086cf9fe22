// Whether the program asks for the engine's shared OpenGL context before the application exists: only
// when the stored settings keep an enabled web tab, and never on a file it cannot make sense of.
#include "model/CustomTab.h"
#include "services/CustomTabsService.h"
#include "views/WebEngineLoader.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

CustomTab tab(CustomTab::Kind kind, bool enabled) {
    CustomTab t;
    t.id = QUuid::createUuid();
    t.name = QStringLiteral("t");
    t.kind = kind;
    t.enabled = enabled;
    t.url = QStringLiteral("127.0.0.1:5173");
    t.command = QStringLiteral("date");
    return t;
}

QByteArray settingsWith(const QList<CustomTab>& tabs) {
    QJsonObject root{
        {QStringLiteral("appLanguage"), QStringLiteral("en")},
        {QLatin1String(CustomTabsService::kDefaultsKey), QString::fromUtf8(CustomTabCodec::encode(tabs))}};
    return QJsonDocument(root).toJson();
}

} // namespace

class tst_WebEngineLoader : public QObject {
    Q_OBJECT
private slots:
    void keepsWebTab_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("expected");
        using K = CustomTab::Kind;
        QTest::newRow("an enabled web tab")
            << settingsWith({tab(K::script, true), tab(K::web, true)}) << true;
        QTest::newRow("a disabled web tab only") << settingsWith({tab(K::web, false)}) << false;
        QTest::newRow("script tabs only") << settingsWith({tab(K::script, true)}) << false;
        QTest::newRow("no tabs") << settingsWith({}) << false;
        QTest::newRow("no custom tabs key") << QByteArray("{\"appLanguage\":\"en\"}") << false;
        QTest::newRow("the key holds an array, not its text")
            << QByteArray("{\"customTabs\":[{\"kind\":\"web\"}]}") << false;
        QTest::newRow("the list does not decode")
            << QByteArray("{\"customTabs\":\"[{\\\"kind\\\":\\\"web\\\"}]\"}") << false;
        QTest::newRow("not JSON") << QByteArray("{\"customTabs\": ") << false;
        QTest::newRow("empty file") << QByteArray() << false;
        QTest::newRow("larger than settings ever are")
            << settingsWith({tab(K::web, true)})
                   .replace("\"appLanguage\"",
                            "\"pad\": \"" + QByteArray(5 * 1024 * 1024, 'x') + "\", \"appLanguage\"")
            << false;
    }
    void keepsWebTab() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("defaults.json"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
        file.close();
        QCOMPARE(WebEngineLoader::keepsWebTab(path), expected);
    }

    void missingOrUnreadableSettingsKeepNone() {
        QTemporaryDir dir;
        QVERIFY(!WebEngineLoader::keepsWebTab(QString()));
        QVERIFY(!WebEngineLoader::keepsWebTab(dir.filePath(QStringLiteral("absent.json"))));
        QVERIFY(!WebEngineLoader::keepsWebTab(dir.path())); // a folder where the file should be
    }
};

QTEST_GUILESS_MAIN(tst_WebEngineLoader)
#include "tst_WebEngineLoader.moc"
