// Screen identifiers and the choice of the island's screen, on fake screen lists.
#include "app/AppScreens.h"
#include "fakes/FakeScreenList.h"

#include <QRegularExpression>
#include <QTest>

Q_DECLARE_METATYPE(ScreenInfo)

namespace {

const QRectF kLeft(0, 0, 1920, 1080);
const QRectF kRight(1920, 0, 2560, 1440);

} // namespace

class TestAppScreens : public QObject {
    Q_OBJECT

private slots:
    void identifierShape() {
        const QRegularExpression uuid(
            "^[0-9A-F]{8}-[0-9A-F]{4}-5[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
        for (const ScreenInfo& s :
             {FakeScreenList::screen("HDMI-1", kLeft), FakeScreenList::screen("DP-2", kLeft, "SN123")}) {
            const QString id = AppScreens::identifier(s);
            QVERIFY2(uuid.match(id).hasMatch(), qPrintable(id));
        }
        QVERIFY(AppScreens::identifier(ScreenInfo{}).isEmpty());
    }

    void identifierIsStable() {
        // Pinned: a stored choice must survive upgrades, so the derivation may never change.
        QCOMPARE(AppScreens::identifier(FakeScreenList::screen("HDMI-1", kLeft)),
                 AppScreens::identifier(FakeScreenList::screen("HDMI-1", kRight)));
        QCOMPARE(AppScreens::identifier(FakeScreenList::screen("HDMI-1", kLeft)),
                 QStringLiteral("C2F78DF2-DB57-5D31-B69E-69642F462055"));
        QCOMPARE(AppScreens::identifier(FakeScreenList::screen("HDMI-1", kLeft, "SN123")),
                 QStringLiteral("F73CBE94-25C4-5140-8EB6-BA5C60E07780"));

        // The same monitor keeps its identifier on another port; two ports without EDID differ.
        const QString a = AppScreens::identifier(FakeScreenList::screen("HDMI-1", kLeft, "SN123"));
        QCOMPARE(AppScreens::identifier(FakeScreenList::screen("DP-3", kRight, "SN123")), a);
        QVERIFY(AppScreens::identifier(FakeScreenList::screen("HDMI-2", kLeft, "SN124")) != a);
        QVERIFY(AppScreens::identifier(FakeScreenList::screen("HDMI-1", kLeft)) !=
                AppScreens::identifier(FakeScreenList::screen("HDMI-2", kLeft)));
        // A connector whose name happens to spell the EDID fields does not collide with them.
        ScreenInfo tricky = FakeScreenList::screen("ACME", kLeft, "SN123");
        tricky.model = QStringLiteral("View");
        ScreenInfo other = tricky;
        other.manufacturer = QStringLiteral("ACMEView");
        other.model.clear();
        QVERIFY(AppScreens::identifier(tricky) != AppScreens::identifier(other));
    }

    void resolve_data() {
        QTest::addColumn<QList<ScreenInfo>>("screens");
        QTest::addColumn<int>("main");
        QTest::addColumn<QString>("preferred"); // a screen name to look up, or a literal value
        QTest::addColumn<int>("chosen");        // -1: none

        const ScreenInfo left = FakeScreenList::screen("HDMI-1", kLeft);
        const ScreenInfo right = FakeScreenList::screen("DP-1", kRight, "SN9");
        const ScreenInfo laptop = FakeScreenList::notched("eDP-1", 4480);
        QTest::newRow("auto, laptop and monitor") << QList{left, laptop} << 0 << "auto" << 1;
        QTest::newRow("auto, first notch")
            << QList{left, laptop, FakeScreenList::notched("eDP-2")} << 2 << "auto" << 1;
        QTest::newRow("auto, no notch: main") << QList{left, right} << 1 << "auto" << 1;
        QTest::newRow("preferred beats notch") << QList{left, laptop, right} << 0 << "=DP-1" << 2;
        QTest::newRow("preferred missing: notch") << QList{left, laptop} << 0 << "=DP-1" << 1;
        QTest::newRow("preferred missing: main") << QList{left, right} << 1 << "=eDP-1" << 1;
        QTest::newRow("empty value acts as auto") << QList{left, laptop} << 0 << "" << 1;
        QTest::newRow("garbage acts as auto") << QList{left, right} << 0 << "not-a-screen" << 0;
        QTest::newRow("case matters") << QList{left, right} << 0 << "=DP-1 lower" << 0;
        QTest::newRow("no main: first") << QList{left, right} << -1 << "auto" << 0;
        QTest::newRow("main out of range: first") << QList{left, right} << 7 << "auto" << 0;
        QTest::newRow("no screens") << QList<ScreenInfo>{} << -1 << "auto" << -1;
        QTest::newRow("no screens, preferred") << QList<ScreenInfo>{} << -1 << "=DP-1" << -1;
    }
    void resolve() {
        QFETCH(QList<ScreenInfo>, screens);
        QFETCH(int, main);
        QFETCH(QString, preferred);
        QFETCH(int, chosen);

        // "=NAME" stands for the identifier of that screen as the settings would store it.
        if (preferred.startsWith('=')) {
            const bool lower = preferred.endsWith(" lower");
            const QString name = preferred.mid(1).remove(" lower");
            ScreenInfo ref = name == "DP-1" ? FakeScreenList::screen("DP-1", kRight, "SN9")
                                            : FakeScreenList::notched(name);
            preferred = AppScreens::identifier(ref);
            if (lower)
                preferred = preferred.toLower();
        }
        FakeScreenList list;
        list.list = screens;
        list.main = main;
        const auto got = AppScreens::resolve(list, preferred);
        QCOMPARE(got.value_or(-1), chosen);
    }

    void preferredScreenComesBack() {
        FakeScreenList list;
        const ScreenInfo external = FakeScreenList::screen("DP-1", kRight, "SN9");
        const QString stored = AppScreens::identifier(external);
        list.list = {FakeScreenList::screen("HDMI-1", kLeft), external};
        QCOMPARE(AppScreens::resolve(list, stored), std::optional<int>(1));
        list.list.removeLast(); // unplugged
        QCOMPARE(AppScreens::resolve(list, stored), std::optional<int>(0));
        // Plugged back into another port, now listed first.
        ScreenInfo again = external;
        again.name = QStringLiteral("DP-4");
        list.list.prepend(again);
        list.main = 1;
        QCOMPARE(AppScreens::resolve(list, stored), std::optional<int>(0));
    }
};

QTEST_GUILESS_MAIN(TestAppScreens)
#include "tst_AppScreens.moc"
