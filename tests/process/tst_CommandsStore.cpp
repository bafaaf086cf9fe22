// The saved list: what "commands.json" holds, how a bad file is kept, the form's trimming and its
// state machine, the path picker's insertion, and deletion of a crashed command.
#include "fakes/TestChecks.h"
#include "fakes/TestSupport.h"
#include "platform/ProcessTable.h"
#include "platform/ServiceLauncher.h"
#include "services/CommandsService.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

class tst_CommandsStore : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<TestSupport::ServiceSandbox> m_box;

    QString support() const { return m_box->path("support"); }
    QString storeFile() const { return support() + "/commands.json"; }
    std::unique_ptr<CommandsService> make() { return m_box->makeService(); }
    [[nodiscard]] bool writeStore(const QByteArray& data) {
        return TestSupport::passes([&] {
            QDir().mkpath(support());
            QFile f(storeFile());
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(data);
        });
    }
    QJsonArray readStore() {
        QFile f(storeFile());
        return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).array() : QJsonArray();
    }

private slots:
    void initTestCase() { m_home = TestSupport::isolateHome(); }
    void init() { m_box = std::make_unique<TestSupport::ServiceSandbox>(); }

    void roundTripKeepsOrderAndFields() {
        {
            auto s = make();
            s->add("web", "npm run dev", QString("/tmp/app"));
            s->add("watch", "make watch", std::nullopt);
            s->add("web", "second with the same name", QString("   "));
        }
        const QJsonArray stored = readStore();
        QCOMPARE(stored.size(), 3);
        for (const QJsonValue& v : stored) {
            const QString id = v["id"].toString();
            QCOMPARE(id.size(), 36);
            QCOMPARE(id, id.toUpper());
        }
        QCOMPARE(stored[0]["workingDir"].toString(), "/tmp/app");
        // nil is written as no key at all, not as null or "".
        QVERIFY(!stored[1].toObject().contains("workingDir"));
        QVERIFY(!stored[2].toObject().contains("workingDir"));
        auto again = make();
        QCOMPARE(again->commands().size(), 3);
        QCOMPARE(again->commands()[1].name, "watch");
        QCOMPARE(again->commands()[0].workingDir, std::optional<QString>("/tmp/app"));
        QCOMPARE(again->commands()[2].command, "second with the same name");
        QVERIFY(again->commands()[0].id != again->commands()[2].id);
    }

    void readsLowerCaseIdsAndIgnoresExtraKeys() {
        QVERIFY(writeStore(R"([{"id":"0f8fad5b-d9cb-469f-a165-70867728950e","name":"a","command":"b",)"
                           R"("workingDir":null,"colour":"red"}])"));
        auto s = make();
        QCOMPARE(s->commands().size(), 1);
        QCOMPARE(s->commands()[0].id, QUuid("{0F8FAD5B-D9CB-469F-A165-70867728950E}"));
        QVERIFY(!s->commands()[0].workingDir);
        s->add("c", "d", std::nullopt);
        const QJsonArray stored = readStore();
        QCOMPARE(stored[0]["id"].toString(), "0F8FAD5B-D9CB-469F-A165-70867728950E");
        QVERIFY(!stored[0].toObject().contains("colour"));
    }

    void badFileEmptiesTheListAndIsKept_data() {
        QTest::addColumn<QByteArray>("content");
        const QByteArray good = R"({"id":"0F8FAD5B-D9CB-469F-A165-70867728950E","name":"a","command":"b"})";
        QTest::newRow("element without name")
            << QByteArray("[" + good + R"(,{"id":"1F8FAD5B-D9CB-469F-A165-70867728950E","command":"x"}])");
        QTest::newRow("braced id") << QByteArray(R"([{"id":"{0F8FAD5B-D9CB-469F-A165-70867728950E}",)"
                                                 R"("name":"a","command":"b"}])");
        QTest::newRow("malformed id") << QByteArray(R"([{"id":"not-a-uuid","name":"a","command":"b"}])");
        QTest::newRow("number as folder") << QByteArray("[" + good.chopped(1) + R"(,"workingDir":5}])");
        QTest::newRow("object root") << QByteArray("{}");
        QTest::newRow("truncated") << good.left(20);
    }
    void badFileEmptiesTheListAndIsKept() {
        QFETCH(QByteArray, content);
        QVERIFY(writeStore(content));
        auto s = make();
        QVERIFY(s->commands().isEmpty());
        // The unreadable file is beside the store, untouched, before anything new is saved.
        const QStringList aside = QDir(support()).entryList({"commands.json.corrupt-*"}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QFile kept(support() + "/" + aside.first());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), content);
        s->add("new", "echo", std::nullopt);
        QCOMPARE(readStore().size(), 1);
        QCOMPARE(QDir(support()).entryList({"commands.json.corrupt-*"}, QDir::Files).size(), 1);
    }

    void trimsSpacesButKeepsLineBreaks_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("spaces and tabs") << " \t npm start\t "
                                         << "npm start";
        QTest::newRow("no-break and ideographic spaces") << QString::fromUtf8("\u00A0run\u3000") << "run";
        QTest::newRow("trailing line break kept") << "  make\n"
                                                  << "make\n";
        QTest::newRow("leading line break kept") << "\n  make"
                                                 << "\n  make";
        QTest::newRow("inner line breaks kept") << " a\nb \n c "
                                                << "a\nb \n c";
        QTest::newRow("only blanks") << " \t\u2003 "
                                     << "";
    }
    void trimsSpacesButKeepsLineBreaks() {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(CommandsService::trimmed(input), expected);
    }

    void blankNameOrCommandIsRefusedAndTheFormStays_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("command");
        QTest::newRow("blank name") << " \t"
                                    << "ls";
        QTest::newRow("blank command") << "list"
                                       << "   ";
    }
    void blankNameOrCommandIsRefusedAndTheFormStays() {
        QFETCH(QString, name);
        QFETCH(QString, command);
        auto s = make();
        s->setShowingForm(true);
        s->setDraftName(name);
        s->setDraftCommand(command);
        s->setDraftFolder(" /tmp ");
        s->saveDraft();
        QVERIFY(s->commands().isEmpty());
        QVERIFY(s->showingForm());
        QCOMPARE(s->draftName(), name);
        QCOMPARE(s->draftFolder(), " /tmp ");
        QVERIFY(!QFile::exists(storeFile()));
    }

    void editKeepsIdAndPlaceAndDeletedEditComesBackNew() {
        auto s = make();
        s->add("a", "one", std::nullopt);
        s->add("b", "two", std::nullopt);
        const SavedCommand first = s->commands()[0];
        s->beginEdit(first);
        QVERIFY(s->showingForm());
        QCOMPARE(s->editingID(), first.id);
        s->setDraftName(" a2 ");
        s->setDraftFolder("  ");
        s->saveDraft();
        QCOMPARE(s->commands()[0].id, first.id);
        QCOMPARE(s->commands()[0].name, "a2");
        QVERIFY(!s->commands()[0].workingDir);
        QVERIFY(!s->showingForm());
        QVERIFY(s->editingID().isNull());
        QVERIFY(s->draftName().isEmpty() && s->draftCommand().isEmpty());

        const SavedCommand second = s->commands()[1];
        s->beginEdit(second);
        s->remove(second);
        s->setDraftCommand("two again");
        s->saveDraft();
        QCOMPARE(s->commands().size(), 2);
        QCOMPARE(s->commands()[1].command, "two again");
        QVERIFY(s->commands()[1].id != second.id);
    }

    void pathPickerInsertsQuotedWhereNeeded_data() {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("picked");
        QTest::addColumn<QString>("after");
        QTest::newRow("into empty") << ""
                                    << "/srv/app"
                                    << "/srv/app";
        QTest::newRow("after a word") << "cat"
                                      << "/srv/a.txt"
                                      << "cat /srv/a.txt";
        QTest::newRow("after a space") << "cat "
                                       << "/srv/a.txt"
                                       << "cat /srv/a.txt";
        QTest::newRow("with a space") << "cd"
                                      << "/srv/my app"
                                      << "cd '/srv/my app'";
        QTest::newRow("with a quote") << "cd"
                                      << "/srv/it's"
                                      << "cd '/srv/it'\\''s'";
        QTest::newRow("with a dollar") << "cd"
                                       << "/srv/$HOME"
                                       << "cd '/srv/$HOME'";
        QTest::newRow("cancelled") << "cd" << QString() << "cd";
    }
    void pathPickerInsertsQuotedWhereNeeded() {
        QFETCH(QString, before);
        QFETCH(QString, picked);
        QFETCH(QString, after);
        auto s = make();
        bool openDuringPick = false;
        CommandsService::PickRequest asked;
        s->setFilePicker([&](const CommandsService::PickRequest& r) -> std::optional<QString> {
            openDuringPick = s->pickerOpen();
            asked = r;
            return picked.isNull() ? std::nullopt : std::optional<QString>(picked);
        });
        s->setDraftCommand(before);
        s->pickPathIntoDraft();
        QVERIFY(openDuringPick);
        QVERIFY(!s->pickerOpen());
        QVERIFY(!asked.foldersOnly);
        QCOMPARE(asked.prompt, "Usar caminho");
        QCOMPARE(s->draftCommand(), after);
    }

    void deletingACrashedCommandClearsItsMark() {
        auto s = make();
        s->add("once", "false", std::nullopt);
        const SavedCommand cmd = s->commands()[0];
        s->start(cmd);
        QTRY_VERIFY_WITH_TIMEOUT(s->crashedIDs().contains(cmd.id), 10000);
        QSignalSpy crashed(s.get(), &CommandsService::crashedIDsChanged);
        s->remove(cmd);
        QVERIFY(s->commands().isEmpty());
        QVERIFY(s->crashedIDs().isEmpty());
        QCOMPARE(crashed.size(), 1);
        QVERIFY(QFile::exists(s->logPath("once"))); // the log stays
    }

    // A list read after the island is up: a command saved before it was read does not replace it, and
    // joins it after its commands once it is read (also when the service ends while it is being read).
    void storeReadLate_data() {
        QTest::addColumn<bool>("endWhileReading");
        QTest::newRow("read, then merged") << false;
        QTest::newRow("ended while reading") << true;
    }
    void storeReadLate() {
        QFETCH(bool, endWhileReading);
        QVERIFY(writeStore(
            R"([{"id":"5D1E5C3A-1111-4222-8333-944455556666","name":"api","command":"make api"},)"
            R"({"id":"5D1E5C3A-1111-4222-8333-944455556667","name":"web","command":"make web"}])"));
        const QByteArray before = [&] {
            QFile f(storeFile());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        CommandsService::Seams seams{m_box->launcher, m_box->table, m_box->tickers, &m_box->lan};
        auto s = std::make_unique<CommandsService>(std::move(seams), support(), m_box->path("logs"), nullptr,
                                                   StoreLoad::later);
        QVERIFY(s->commands().isEmpty());
        s->add("late", "make late", std::nullopt);
        QCOMPARE(s->commands().size(), 1);
        {
            QFile f(storeFile());
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), before);
        }
        QSignalSpy loaded(s.get(), &CommandsService::storeLoaded);
        s->loadStore();
        if (endWhileReading) {
            s.reset();
        } else {
            QVERIFY(loaded.wait(10000));
            QStringList names;
            for (const SavedCommand& c : s->commands())
                names << c.name;
            QCOMPARE(names, (QStringList{"api", "web", "late"}));
            QVERIFY(s->waitForAdoption());
        }
        const QJsonArray saved = readStore();
        QCOMPARE(saved.size(), 3);
        QCOMPARE(saved[0].toObject().value("name").toString(), QString("api"));
        QCOMPARE(saved[2].toObject().value("name").toString(), QString("late"));
    }
};

QTEST_GUILESS_MAIN(tst_CommandsStore)
#include "tst_CommandsStore.moc"
