// The defaults store: types survive a reopen, typed readers refuse other types, unreadable files are kept,
// and saves are gathered into one background write per window without losing an assignment.
#include "fakes/FakeSaveTimer.h"
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "services/AppPaths.h"
#include "services/Defaults.h"
#include "services/DefaultsWriter.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

[[nodiscard]] bool writeRaw(const QString& path, const QByteArray& data) {
    return TestSupport::passes([&] {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(data);
    });
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
    // One home serves every test, and each test starts from an empty configuration folder.
    void initTestCase() {
        m_home = TestSupport::isolateHome();
        m_path = TestSupport::folders().defaultsFile("com.farrowlight.quillbay");
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
        QVERIFY(writeRaw(m_path, R"({"a": 45.0, "b": 1.7, "c": -2.9, "d": 1e300})"));
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
        QVERIFY(d.flush());
        const QJsonObject onDisk = QJsonDocument::fromJson(readAll(m_path)).object();
        QCOMPARE(onDisk.keys(), (QStringList{"hotkeyKeyCode", "simulateNotch"}));

        d.remove("hotkeyKeyCode");
        QCOMPARE(d.integer("hotkeyKeyCode"), qint64(45));
        QVERIFY(d.flush());
        QVERIFY(!QJsonDocument::fromJson(readAll(m_path)).object().contains("hotkeyKeyCode"));
        Defaults fresh(m_path);
        QVERIFY(!fresh.contains("hotkeyKeyCode"));
        QCOMPARE(fresh.boolValue("simulateNotch"), false);
    }

    void everySetSavesButOnlyChangesSignal() {
        Defaults d(m_path);
        QSignalSpy spy(&d, &Defaults::changed);
        d.set("a", 1);
        QVERIFY(d.flush());
        QVERIFY(QFile::remove(m_path));
        d.set("a", 1);
        QVERIFY(d.flush());
        QVERIFY(QFile::exists(m_path)); // saved again although unchanged
        QCOMPARE(spy.count(), 1);
        d.remove("missing");
        QCOMPARE(spy.count(), 1);
        QVERIFY(QFile::remove(m_path));
        d.remove("missing");
        QVERIFY(d.flush());
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
        QVERIFY(writeRaw(m_path, content));
        Defaults d(m_path);
        QVERIFY(!d.contains("hotkeyKeyCode"));
        const QStringList aside = asideCopies(m_path);
        QCOMPARE(aside.size(), 1);
        const QString asidePath = QFileInfo(m_path).dir().filePath(aside.first());
        QCOMPARE(readAll(asidePath), content);

        d.set("hotkeyKeyCode", 7);
        QVERIFY(d.flush());
        QCOMPARE(readAll(asidePath), content); // the save destroyed nothing
        QCOMPARE(Defaults(m_path).integer("hotkeyKeyCode"), qint64(7));
    }

    void saveFailureKeepsValuesInMemory() {
        // The store's folder is a regular file, so no write can succeed.
        const QString blocker = m_home->path() + "/blocker";
        QVERIFY(writeRaw(blocker, "x"));
        Defaults d(blocker + "/defaults.json");
        TestSupport::LogCapture log;
        d.set("a", QJsonArray{"kept"});
        QCOMPARE(d.stringArray("a"), std::optional<QStringList>(QStringList{"kept"}));
        QVERIFY(!d.synchronize());
        QVERIFY(!log.lines().isEmpty());
    }

    // Readers see an assignment at once, while the file waits for the window to end.
    void readersSeeAssignmentsBeforeTheSave() {
        auto timer = std::make_unique<FakeSaveTimer>();
        FakeSaveTimer& fake = *timer;
        Defaults d(m_path, std::move(timer));
        d.set("a", 1);
        d.set("b", QJsonArray{"x"});
        d.remove("a");
        QVERIFY(!d.contains("a"));
        QCOMPARE(d.stringArray("b"), std::optional<QStringList>(QStringList{"x"}));
        QVERIFY(!QFile::exists(m_path));
        QCOMPARE(d.writesDone(), 0);
        QVERIFY(d.hasPendingSave());
        QCOMPARE(fake.lastDelayMs, Defaults::defaultSaveDelayMs);
    }

    void oneWritePerWindow_data() {
        QTest::addColumn<int>("assignments");
        QTest::newRow("one") << 1;
        QTest::newRow("two") << 2;
        QTest::newRow("a burst of 500") << 500;
    }
    void oneWritePerWindow() {
        QFETCH(int, assignments);
        auto timer = std::make_unique<FakeSaveTimer>();
        FakeSaveTimer& fake = *timer;
        Defaults d(m_path, std::move(timer));
        for (int i = 1; i <= assignments; ++i)
            d.set("n", i);
        // Later assignments do not push the window on, or a steady stream would never be saved.
        QCOMPARE(fake.starts, 1);
        QVERIFY(fake.fire());
        QVERIFY(d.flush());
        QCOMPARE(d.writesDone(), 1);
        QCOMPARE(QJsonDocument::fromJson(readAll(m_path)).object().value("n").toInteger(),
                 qint64(assignments));

        // The next assignment opens a new window; a window with nothing new writes nothing.
        d.set("n", 0);
        QCOMPARE(fake.starts, 2);
        QVERIFY(fake.fire());
        QVERIFY(d.flush());
        QVERIFY(d.flush());
        QCOMPARE(d.writesDone(), 2);
        QCOMPARE(QJsonDocument::fromJson(readAll(m_path)).object().value("n").toInteger(), qint64(0));
    }

    // A store that ends, or a program that quits, before the window is over still saves.
    void pendingAssignmentsAreSavedOnTheWayOut_data() {
        QTest::addColumn<bool>("byQuit");
        QTest::newRow("store destroyed") << false;
        QTest::newRow("event loop quits") << true;
    }
    void pendingAssignmentsAreSavedOnTheWayOut() {
        QFETCH(bool, byQuit);
        {
            Defaults d(m_path, std::make_unique<FakeSaveTimer>());
            Defaults::flushOnQuit(d, *QCoreApplication::instance());
            d.set("hotkeyKeyCode", 46);
            d.set("appLanguage", "pt-BR");
            QVERIFY(!QFile::exists(m_path));
            if (byQuit) {
                QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
                QCoreApplication::exec();
                QVERIFY(!d.hasPendingSave());
                QVERIFY(QFile::exists(m_path));
            }
        }
        Defaults fresh(m_path);
        QCOMPARE(fresh.integer("hotkeyKeyCode"), qint64(46));
        QCOMPARE(fresh.string("appLanguage"), std::optional<QString>("pt-BR"));
    }

    // Assignments go on while the worker writes; the last of them is what the file holds.
    void assignmentsDuringWritesAreNotLost() {
        Defaults d(m_path);
        d.setSaveDelay(0);
        for (int i = 1; i <= 300; ++i) {
            d.set(QStringLiteral("k%1").arg(i % 7), i);
            QCoreApplication::processEvents();
        }
        QVERIFY(d.flush());
        QVERIFY(d.writesDone() >= 1);
        const QJsonObject onDisk = QJsonDocument::fromJson(readAll(m_path)).object();
        for (int r = 0; r < 7; ++r)
            QCOMPARE(onDisk.value(QStringLiteral("k%1").arg(r)), d.object(QStringLiteral("k%1").arg(r)));
    }

    // Snapshots queued behind a running write are replaced by newer ones; the newest always lands.
    void writerKeepsOnlyTheNewestQueuedSnapshot() {
        const QString path = m_home->path() + "/writer/out.json";
        DefaultsWriter writer(path);
        const int submitted = 200;
        for (int i = 1; i <= submitted; ++i)
            writer.submit(QByteArray::number(i));
        QVERIFY(writer.waitForIdle());
        QCOMPARE(readAll(path), QByteArray::number(submitted));
        QVERIFY(writer.writesDone() >= 1);
        QVERIFY(writer.writesDone() < submitted);
        QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther),
                 QFileDevice::Permissions());
    }

    // A failed background write is reported in the log and by the next flush, and the values stay.
    void backgroundWriteFailureIsLogged() {
        const QString blocker = m_home->path() + "/blocker";
        QVERIFY(writeRaw(blocker, "x"));
        auto timer = std::make_unique<FakeSaveTimer>();
        FakeSaveTimer& fake = *timer;
        Defaults d(blocker + "/defaults.json", std::move(timer));
        TestSupport::LogCapture log;
        d.set("a", 1);
        QVERIFY(fake.fire());
        QVERIFY(!d.flush());
        QCOMPARE(d.writesDone(), 1);
        QCOMPARE(log.lines().size(), 1);
        QVERIFY(log.lines().first().contains(blocker));
        QCOMPARE(d.integer("a"), qint64(1));

        // Once the folder can be made, the next save succeeds and carries the earlier value too.
        QVERIFY(QFile::remove(blocker));
        d.set("b", 2);
        QVERIFY(d.flush());
        const QJsonObject onDisk = QJsonDocument::fromJson(readAll(blocker + "/defaults.json")).object();
        QCOMPARE(onDisk.value("a").toInteger(), qint64(1));
        QCOMPARE(onDisk.value("b").toInteger(), qint64(2));
    }

    void persistentDomainReadsAnotherFileWithoutTouchingIt() {
        Defaults d(m_path);
        QVERIFY(d.persistentDomain("com.farrowlight.vestrand").isEmpty());

        const QString old = TestSupport::folders().defaultsFile("com.farrowlight.vestrand");
        QVERIFY(writeRaw(old, R"({"hotkeyKeyCode": 46, "dashboardTabOrder": ["kit"]})"));
        const QJsonObject domain = d.persistentDomain("com.farrowlight.vestrand");
        QCOMPARE(domain.value("hotkeyKeyCode").toInteger(), qint64(46));
        QCOMPARE(domain.value("dashboardTabOrder").toArray(), QJsonArray{"kit"});

        QVERIFY(writeRaw(old, "broken"));
        QVERIFY(d.persistentDomain("com.farrowlight.vestrand").isEmpty());
        QVERIFY(asideCopies(old).isEmpty());
        QCOMPARE(readAll(old), QByteArray("broken"));
    }

    // Another domain is looked for beside this store's own folder, not wherever the process's environment
    // points; a domain that names no folder is never looked for.
    void persistentDomainLiesBesideTheStore() {
        QTemporaryDir elsewhere;
        const AppPaths::Folders folders = AppPaths::Folders::underHome(elsewhere.path());
        QVERIFY(writeRaw(TestSupport::folders().defaultsFile("com.farrowlight.vestrand"),
                         R"({"from": "environment"})"));
        QVERIFY(writeRaw(folders.defaultsFile("com.farrowlight.vestrand"), R"({"from": "beside"})"));
        QVERIFY(writeRaw(elsewhere.path() + "/defaults.json", R"({"from": "above"})"));
        Defaults d(folders.defaultsFile("com.farrowlight.quillbay"));
        QCOMPARE(d.persistentDomain("com.farrowlight.vestrand").value("from").toString(), QString("beside"));
        QVERIFY(d.persistentDomain("com.example.").isEmpty());
        QVERIFY(writeRaw(folders.configHome() + "/A/b/defaults.json", R"({"from": "a path"})"));
        QVERIFY(d.persistentDomain("com.a/b").isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_Defaults)
#include "tst_Defaults.moc"
