// The language choice: stored keys, restart notice, catalogue choice and the relaunch helper.
#include "fakes/TestSupport.h"
#include "services/AppPaths.h"
#include "services/Defaults.h"
#include "services/LanguageService.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

class tst_LanguageService : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_home;
    QString m_path;

    QByteArray fileBytes() const {
        QFile f(m_path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void initTestCase() {
        m_home = TestSupport::isolateHome();
        m_path = TestSupport::folders().defaultsFile("com.farrowlight.quillbay");
    }
    void init() { QDir(m_home->path() + "/.config").removeRecursively(); }

    void choiceIsStored_data() {
        QTest::addColumn<QString>("initial"); // stored before start; empty: nothing stored
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QVariant>("appleLanguages"); // invalid: key absent
        QTest::addColumn<bool>("restart");
        QTest::newRow("system to en") << ""
                                      << "en" << QVariant(QStringList{"en"}) << true;
        QTest::newRow("system to pt-BR") << "system"
                                         << "pt-BR" << QVariant(QStringList{"pt-BR"}) << true;
        QTest::newRow("system to system") << ""
                                          << "system" << QVariant() << false;
        QTest::newRow("en to system") << "en"
                                      << "system" << QVariant() << true;
        QTest::newRow("pt-BR to pt-BR") << "pt-BR"
                                        << "pt-BR" << QVariant(QStringList{"pt-BR"}) << false;
    }
    void choiceIsStored() {
        QFETCH(QString, initial);
        QFETCH(QString, chosen);
        QFETCH(QVariant, appleLanguages);
        QFETCH(bool, restart);
        Defaults defaults(m_path);
        if (!initial.isEmpty())
            defaults.set("appLanguage", initial);
        LanguageService language(defaults);
        language.setSelected(*AppLanguage::fromRawValue(chosen));
        QCOMPARE(language.precisaReiniciar(), restart);
        Defaults reread(m_path);
        QCOMPARE(reread.string("appLanguage"), std::optional<QString>(chosen));
        QCOMPARE(reread.contains("AppleLanguages"), appleLanguages.isValid());
        if (appleLanguages.isValid())
            QCOMPARE(reread.stringArray("AppleLanguages"), std::optional(appleLanguages.toStringList()));
    }

    void choosingTheStartLanguageAgainClearsTheNotice() {
        Defaults defaults(m_path);
        LanguageService language(defaults);
        QSignalSpy notice(&language, &LanguageService::precisaReiniciarChanged);
        language.setSelected(AppLanguage::english);
        language.setSelected(AppLanguage::portuguese);
        QCOMPARE(notice.count(), 1);
        language.setSelected(AppLanguage::system);
        QCOMPARE(language.precisaReiniciar(), false);
        QCOMPARE(notice.count(), 2);
    }

    void unknownStoredValueReadsAsSystemAndIsKept_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("other language") << QByteArray(R"({"appLanguage": "fr"})");
        QTest::newRow("wrong case") << QByteArray(R"({"appLanguage": "EN"})");
        QTest::newRow("not a string") << QByteArray(R"({"appLanguage": ["en"]})");
    }
    void unknownStoredValueReadsAsSystemAndIsKept() {
        QFETCH(QByteArray, json);
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(json);
        f.close();
        Defaults defaults(m_path);
        LanguageService language(defaults);
        QCOMPARE(language.selected(), AppLanguage(AppLanguage::system));
        QCOMPARE(language.precisaReiniciar(), false);
        QCOMPARE(fileBytes(), json);
    }

    void catalogueFor_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("ui");
        QTest::addColumn<QString>("expected");
        QTest::newRow("en wins over system") << "en" << QStringList{"pt-BR"} << "en";
        QTest::newRow("pt-BR wins over system") << "pt-BR" << QStringList{"en-US"} << "pt_BR";
        QTest::newRow("system pt-PT") << "system" << QStringList{"pt-PT", "en"} << "pt_BR";
        QTest::newRow("system bare pt") << "system" << QStringList{"pt"} << "pt_BR";
        QTest::newRow("underscore form") << "system" << QStringList{"fr", "pt_BR"} << "pt_BR";
        QTest::newRow("nothing shipped") << "system" << QStringList{"de", "ja-JP"} << "en";
        QTest::newRow("unknown stored") << "fr" << QStringList{"pt-BR"} << "pt_BR";
    }
    void catalogueFor() {
        QFETCH(QString, stored);
        QFETCH(QStringList, ui);
        QFETCH(QString, expected);
        QCOMPARE(LanguageService::catalogueFor(stored, ui), expected);
    }

    void storedChoiceInstallsItsCatalogue() {
        Defaults defaults(m_path);
        defaults.set("appLanguage", "pt-BR");
        QVERIFY(LanguageService::installTranslator(defaults, QCoreApplication::instance()));
        // Qt's standard buttons follow the same choice.
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("Cancelar"));
    }

    void relaunchStartsTheProgramOnceTheOldProcessHasEnded() {
        const QString folder = m_home->path() + "/Quill bay's build";
        QVERIFY(QDir().mkpath(folder));
        const QString marker = m_home->path() + "/relaunched";
        const QString stub = folder + "/run me 'now'";
        QFile script(stub);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho started > \"" + marker.toUtf8() + "\"\n");
        script.close();
        QVERIFY(
            script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));

        QProcess oldProcess;
        oldProcess.start("sleep", {"30"});
        QVERIFY(oldProcess.waitForStarted());

        Defaults defaults(m_path);
        LanguageService language(defaults);
        int quits = 0;
        language.setRelaunch({"/bin/sh", stub, oldProcess.processId(), [&] { ++quits; }});
        language.reiniciar();
        QCOMPARE(quits, 1);

        QTest::qWait(400); // proves the relaunch holds while the old process lives
        QVERIFY(!QFile::exists(marker));
        oldProcess.kill();
        QVERIFY(oldProcess.waitForFinished()); // reaped, so it no longer answers kill -0
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 5000);
    }

    void helperThatCannotStartKeepsTheProgramRunning() {
        Defaults defaults(m_path);
        LanguageService language(defaults);
        language.setSelected(AppLanguage::english);
        int quits = 0;
        language.setRelaunch({m_home->path() + "/no such shell", "/bin/true", 0, [&] { ++quits; }});
        TestSupport::LogCapture log;
        language.reiniciar();
        QCOMPARE(quits, 0);
        QVERIFY(language.precisaReiniciar());
        QCOMPARE(log.lines().size(), 1);
    }
};

QTEST_GUILESS_MAIN(tst_LanguageService)
#include "tst_LanguageService.moc"
