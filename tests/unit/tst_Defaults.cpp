// The defaults store: types survive a reopen, typed readers refuse other types, unreadable files are kept.
#include "fakes/TestSupport.h"
#include "services/AppPaths.h"
#include "services/Defaults.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeRaw(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

QStringList asideCopies(const QString& path) {
    const QFileInfo info(path);
    return info.dir().entryList({info.fileName() + ".corrupt-*"}, QDir::Files);
}

} // namespace

class tst_Defaults : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    QString m_path;

private slots:
    // The private folders are fixed once per process, so one home serves every test and each test
    // starts from an empty configuration folder.
    void initTestCase() {
        m_home = TestSupport::isolateHome();
        m_path = AppPaths::defaultsFile("com.farrowlight.quillbay");
    }
    void init() {
        QDir(m_home->path() + "/.config").removeRecursively();
        QDir(m_home->path() + "/blocker").removeRecursively();
        QFile::remove(m_home->path() + "/blocker");
    }

    void valuesSurviveAFreshStore_data() {
        QTest::addColumn<QJsonValue>("value");
        QJsonObject nested{{"a", 1}, {"b", QJsonArray{"x", true, QJsonObject{{"c", 2.5}}}}};
        QTest::newRow("true") << QJsonValue(true);
        QTest::newRow("int") << QJsonValue(45);
        QTest::newRow("int beyond double precision") << QJsonValue(qint64(9007199254740993LL));
        QTest::newRow("double") << QJsonValue(3.25);
        QTest::newRow("unicode string") << QJsonValue(QString::fromUtf8("⌃⌥N Câmera"));
        QTest::newRow("string array") << QJsonValue(QJsonArray{"kit", "custom-X"});
        QTest::newRow("nested") << QJsonValue(nested);
    }
    void valuesSurviveAFreshStore() {
        QFETCH(QJsonValue, value);
        {
            Defaults d(m_path);
            d.set("k", value);
        }
        Defaults fresh(m_path);
        QCOMPARE(fresh.object("k"), value);
        QCOMPARE(fresh.object("k").type(), value.type());
        if (value.isDouble() && value.toDouble() == std::floor(value.toDouble()))
            QCOMPARE(fresh.integer("k"), value.toInteger());
    }

    void integralDoubleReadsAsInteger() {
        writeRaw(m_path, R"({"a": 45.0, "b": 1.7, "c": -2.9, "d": 1e300})");
        Defaults d(m_path);
        QCOMPARE(d.integer("a"), qint64(45));
        QCOMPARE(d.integer("b"), qint64(1));
        QCOMPARE(d.integer("c"), qint64(-2));
        QCOMPARE(d.integer("d"), std::numeric_limits<qint64>::max());
        QCOMPARE(d.string("a"), std::optional<QString>("45"));
    }

    void typedReaders_data() {
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<bool>("asBool");
        QTest::addColumn<qint64>("asInt");
        QTest::addColumn<double>("asDouble");
        QTest::addColumn<QVariant>("asString");      // invalid: nothing
        QTest::addColumn<QVariant>("asStringArray"); // invalid: nothing
        const QVariant none;
        QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << false << qint64(0) << 0.0 << none
                                 << none;
        QTest::newRow("null") << QJsonValue(QJsonValue::Null) << false << qint64(0) << 0.0 << none << none;
        QTest::newRow("bool") << QJsonValue(true) << true << qint64(1) << 1.0 << QVariant("1") << none;
        QTest::newRow("fraction") << QJsonValue(0.5) << true << qint64(0) << 0.5 << QVariant("0.5") << none;
        QTest::newRow("YES") << QJsonValue("YES") << true << qint64(0) << 0.0 << QVariant("YES") << none;
        QTest::newRow("numeric string")
            << QJsonValue(" 12 ") << true << qint64(12) << 12.0 << QVariant(" 12 ") << none;
        QTest::newRow("word") << QJsonValue("kit") << false << qint64(0) << 0.0 << QVariant("kit") << none;
        QTest::newRow("strings") << QJsonValue(QJsonArray{"a", "b"}) << false << qint64(0) << 0.0 << none
                                 << QVariant(QStringList{"a", "b"});
        QTest::newRow("mixed array") << QJsonValue(QJsonArray{"a", 1}) << false << qint64(0) << 0.0 << none
                                     << none;
        QTest::newRow("object") << QJsonValue(QJsonObject{{"a", "b"}}) << false << qint64(0) << 0.0 << none
                                << none;
    }
    void typedReaders() {
        QFETCH(QJsonValue, value);
        QFETCH(bool, asBool);
        QFETCH(qint64, asInt);
        QFETCH(double, asDouble);
        QFETCH(QVariant, asString);
        QFETCH(QVariant, asStringArray);
        Defaults d(m_path);
        if (!value.isUndefined())
            d.set("k", value);
        QCOMPARE(d.boolValue("k"), asBool);
        QCOMPARE(d.integer("k"), asInt);
        QCOMPARE(d.doubleValue("k"), asDouble);
        QCOMPARE(d.string("k").has_value(), asString.isValid());
        if (asString.isValid())
            QCOMPARE(*d.string("k"), asString.toString());
        QCOMPARE(d.stringArray("k").has_value(), asStringArray.isValid());
        if (asStringArray.isValid())
            QCOMPARE(*d.stringArray("k"), asStringArray.toStringList());
        QCOMPARE(d.array("k").has_value(), value.isArray());
        QCOMPARE(d.dictionary("k").has_value(), value.isObject());
    }

    void registeredValuesAreNeverSaved() {
        Defaults d(m_path);
        d.registerDefaults({{"simulateNotch", true}, {"hotkeyKeyCode", 45}});
        QCOMPARE(d.integer("hotkeyKeyCode"), qint64(45));
        QVERIFY(!QFile::exists(m_path));

        d.set("hotkeyKeyCode", 46);
        d.set("simulateNotch", false);
        QCOMPARE(d.integer("hotkeyKeyCode"), qint64(46));
        QCOMPARE(d.boolValue("simulateNotch"), false);
        const QJsonObject onDisk = QJsonDocument::fromJson(readAll(m_path)).object();
        QCOMPARE(onDisk.keys(), (QStringList{"hotkeyKeyCode", "simulateNotch"}));

        d.remove("hotkeyKeyCode");
        QCOMPARE(d.integer("hotkeyKeyCode"), qint64(45));
        QVERIFY(!QJsonDocument::fromJson(readAll(m_path)).object().contains("hotkeyKeyCode"));
        Defaults fresh(m_path);
        QVERIFY(!fresh.contains("hotkeyKeyCode"));
        QCOMPARE(fresh.boolValue("simulateNotch"), false);
    }

    void everySetSavesButOnlyChangesSignal() {
        Defaults d(m_path);
        QSignalSpy spy(&d, &Defaults::changed);
        d.set("a", 1);
        QVERIFY(QFile::remove(m_path));
        d.set("a", 1);
        QVERIFY(QFile::exists(m_path)); // saved again although unchanged
        QCOMPARE(spy.count(), 1);
        d.remove("missing");
        QCOMPARE(spy.count(), 1);
        QVERIFY(QFile::remove(m_path));
        d.remove("missing");
        QVERIFY(!QFile::exists(m_path)); // nothing to remove, nothing written
        d.remove("a");
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toString(), QString("a"));
    }

    void unreadableFileIsMovedAside_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("garbage") << QByteArray("not json at all");
        QTest::newRow("truncated") << QByteArray(R"({"hotkeyKeyCode": 4)");
        QTest::newRow("array") << QByteArray(R"(["a", "b"])");
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe{", 4);
    }
    void unreadableFileIsMovedAside() {
        QFETCH(QByteArray, content);
        writeRaw(m_path, content);
        Defaults d(m_path);
        QVERIFY(!d.contains("hotkeyKeyCode"));
        const QStringList aside = asideCopies(m_path);
        QCOMPARE(aside.size(), 1);
        const QString asidePath = QFileInfo(m_path).dir().filePath(aside.first());
        QCOMPARE(readAll(asidePath), content);

        d.set("hotkeyKeyCode", 7);
        QCOMPARE(readAll(asidePath), content); // the save destroyed nothing
        QCOMPARE(Defaults(m_path).integer("hotkeyKeyCode"), qint64(7));
    }

    void saveFailureKeepsValuesInMemory() {
        // The store's folder is a regular file, so no write can succeed.
        const QString blocker = m_home->path() + "/blocker";
        writeRaw(blocker, "x");
        Defaults d(blocker + "/defaults.json");
        TestSupport::LogCapture log;
        d.set("a", QJsonArray{"kept"});
        QCOMPARE(d.stringArray("a"), std::optional<QStringList>(QStringList{"kept"}));
        QVERIFY(!d.synchronize());
        QVERIFY(!log.lines().isEmpty());
    }

    void persistentDomainReadsAnotherFileWithoutTouchingIt() {
        Defaults d(m_path);
        QVERIFY(d.persistentDomain("com.farrowlight.vestrand").isEmpty());

        const QString old = AppPaths::defaultsFile("com.farrowlight.vestrand");
        writeRaw(old, R"({"hotkeyKeyCode": 46, "dashboardTabOrder": ["kit"]})");
        const QJsonObject domain = d.persistentDomain("com.farrowlight.vestrand");
        QCOMPARE(domain.value("hotkeyKeyCode").toInteger(), qint64(46));
        QCOMPARE(domain.value("dashboardTabOrder").toArray(), QJsonArray{"kit"});

        writeRaw(old, "broken");
        QVERIFY(d.persistentDomain("com.farrowlight.vestrand").isEmpty());
        QVERIFY(asideCopies(old).isEmpty());
        QCOMPARE(readAll(old), QByteArray("broken"));
    }
};

QTEST_GUILESS_MAIN(tst_Defaults)
#include "tst_Defaults.moc"
