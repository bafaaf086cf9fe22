// The screen list as Qt reports a real X server's screens (Xvfb has no EDID: the name path).
#include "app/AppScreens.h"
#include "platform/qt/QtScreenList.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

class TestQtScreenList : public QObject {
    Q_OBJECT

private slots:
    void realScreen() {
        QtScreenList list;
        const auto screens = list.screens();
        QCOMPARE(screens.size(), 1);
        const ScreenInfo& s = screens.first();
        QVERIFY(!s.name.isEmpty());
        QVERIFY(s.serialNumber.isEmpty());
        QVERIFY(!s.hasNotch());
        QCOMPARE(s.metrics.frame, QRectF(QGuiApplication::primaryScreen()->geometry()));

        const QString id = AppScreens::identifier(s);
        QCOMPARE(id.size(), 36);
        QCOMPARE(AppScreens::resolve(list, id), std::optional<int>(0));
        QCOMPARE(AppScreens::resolve(list, "auto"), std::optional<int>(0));
        QCOMPARE(list.screenAt(*AppScreens::resolve(list, "auto")), QGuiApplication::primaryScreen());
        QCOMPARE(list.screenAt(5), nullptr);
    }
};

QTEST_MAIN(TestQtScreenList)
#include "tst_QtScreenList.moc"
