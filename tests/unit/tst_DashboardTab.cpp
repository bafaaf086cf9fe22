// Tab identities: the built-in order, the storage-id round trip and the strict custom-id parser.
#include "model/TabSelection.h"

#include <QSet>
#include <QtTest>

class tst_DashboardTab : public QObject {
    Q_OBJECT
private slots:
    void builtinOrderAndNamesRoundTrip() {
        QStringList ids;
        for (DashboardTab tab : DashboardTab::allCases()) {
            ids << tab.id();
            QCOMPARE(DashboardTab::fromID(tab.id()), std::optional<DashboardTab>(tab));
            QCOMPARE(DashboardTab::fromRawValue(tab.rawValue()), std::optional<DashboardTab>(tab));
            QCOMPARE(TabSelection::fromStorageID(TabSelection(tab).id()), std::optional<TabSelection>(tab));
            QCOMPARE(TabSelection(tab).telemetryID(), tab.id());
        }
        QCOMPARE(ids.join(' '),
                 QString("terminal ai kit clip camera media pomodoro kanban shelf news profiles"));
        QVERIFY(!DashboardTab::fromRawValue("terminal"));
        QVERIFY(!DashboardTab::fromRawValue(
            QString::fromUtf8("Ca\u0302mera"))); // decomposed form is another text
    }

    void storageID_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expectedID"); // empty: no value
        const QString upper = "1B4E28BA-2FA1-11D2-883F-0016D3CCA427";
        QTest::newRow("builtin") << "kit"
                                 << "kit";
        QTest::newRow("upper uuid") << "custom-" + upper << "custom-" + upper;
        QTest::newRow("lower uuid") << "custom-" + upper.toLower() << "custom-" + upper;
        QTest::newRow("mixed case uuid") << "custom-1b4E28ba-2FA1-11d2-883f-0016D3CCA427"
                                         << "custom-" + upper;
        QTest::newRow("nil uuid") << "custom-00000000-0000-0000-0000-000000000000"
                                  << "custom-00000000-0000-0000-0000-000000000000";
        QTest::newRow("braces") << "custom-{" + upper + "}"
                                << "";
        QTest::newRow("35 chars") << "custom-" + upper.left(35) << "";
        QTest::newRow("37 chars") << "custom-" + upper + "0"
                                  << "";
        QTest::newRow("non-hex") << "custom-1B4E28BA-2FA1-11D2-883F-0016D3CCA42G"
                                 << "";
        QTest::newRow("no hyphens") << "custom-1B4E28BA2FA111D2883F0016D3CCA427"
                                    << "";
        QTest::newRow("word") << "custom-xyz"
                              << "";
        QTest::newRow("prefix only") << "custom-"
                                     << "";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("title") << "Kit"
                               << "";
        QTest::newRow("accented title") << QString::fromUtf8("Câmera") << "";
    }
    void storageID() {
        QFETCH(QString, text);
        QFETCH(QString, expectedID);
        const auto parsed = TabSelection::fromStorageID(text);
        QCOMPARE(parsed.has_value(), !expectedID.isEmpty());
        if (parsed)
            QCOMPARE(parsed->id(), expectedID);
    }

    void customTabsCompareByUuidNotByText() {
        const auto upper = TabSelection::fromStorageID("custom-1B4E28BA-2FA1-11D2-883F-0016D3CCA427");
        const auto lower = TabSelection::fromStorageID("custom-1b4e28ba-2fa1-11d2-883f-0016d3cca427");
        QVERIFY(upper && lower);
        QCOMPARE(*upper, *lower);
        QCOMPARE(qHash(*upper), qHash(*lower));
        QCOMPARE(upper->telemetryID(), QString("custom"));

        const TabSelection nil = TabSelection::custom(QUuid());
        QVERIFY(nil != TabSelection()); // the nil custom tab is not the default Terminal selection
        QSet<TabSelection> set{*upper, *lower, TabSelection::kit(), DashboardTab::kit, nil};
        QCOMPARE(set.size(), 3);
    }
};

QTEST_GUILESS_MAIN(tst_DashboardTab)
#include "tst_DashboardTab.moc"
