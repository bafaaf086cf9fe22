// The island's screen as screens come and go and as the settings name another: which one it takes,
// the island's size by the time it is told to move, and that it stays put while no screen is left.
#include "app/AppScreens.h"
#include "app/NotchState.h"
#include "app/ScreenFollower.h"
#include "fakes/FakeScreenList.h"
#include "fakes/TestSupport.h"
#include "services/AppPaths.h"
#include "services/Defaults.h"
#include "services/SettingsService.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(ScreenInfo)

namespace {

const QSizeF kPlainSize(196, 32);
const QSizeF kNotchedSize(112, 37);

ScreenInfo plain() {
    return FakeScreenList::screen("HDMI-1", QRectF(0, 0, 1920, 1080));
}
ScreenInfo notched() {
    return FakeScreenList::notched("eDP-1", 1920);
}
ScreenInfo other() {
    return FakeScreenList::screen("DP-2", QRectF(-2560, 0, 2560, 1440), "SN9");
}

} // namespace

class tst_ScreenFollower : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<SettingsService> m_settings;

private slots:
    void initTestCase() { m_home = TestSupport::isolateHome(); }
    void init() {
        const QString path = TestSupport::folders().defaultsFile(QStringLiteral("com.farrowlight.quillbay"));
        QFile::remove(path);
        m_defaults = std::make_unique<Defaults>(path);
        m_settings = std::make_unique<SettingsService>(*m_defaults);
    }
    void cleanup() {
        m_settings.reset();
        m_defaults.reset();
    }

    void screensComeAndGo_data() {
        QTest::addColumn<QList<ScreenInfo>>("atLaunch");
        QTest::addColumn<QString>("preferred");
        QTest::addColumn<QList<ScreenInfo>>("later");
        QTest::addColumn<int>("laterMain");
        QTest::addColumn<ScreenInfo>("expected");
        QTest::addColumn<QSizeF>("expectedSize");
        QTest::addColumn<bool>("moved");

        QTest::newRow("preferred unplugged: the notched one")
            << QList{plain(), notched()} << AppScreens::identifier(plain()) << QList{notched()} << 0
            << notched() << kNotchedSize << true;
        QTest::newRow("preferred plugged back in")
            << QList{plain()} << AppScreens::identifier(other()) << QList{plain(), other()} << 0 << other()
            << kPlainSize << true;
        QTest::newRow("a notched screen arrives")
            << QList{plain()} << QString::fromLatin1(AppScreens::kAuto) << QList{plain(), notched()} << 0
            << notched() << kNotchedSize << true;
        QTest::newRow("another screen made main")
            << QList{plain(), other()} << QString::fromLatin1(AppScreens::kAuto) << QList{plain(), other()}
            << 1 << other() << kPlainSize << true;
        QTest::newRow("every screen gone: stays")
            << QList{notched()} << QString::fromLatin1(AppScreens::kAuto) << QList<ScreenInfo>{} << 0
            << notched() << kNotchedSize << false;
    }
    void screensComeAndGo() {
        QFETCH(QList<ScreenInfo>, atLaunch);
        QFETCH(QString, preferred);
        QFETCH(QList<ScreenInfo>, later);
        QFETCH(int, laterMain);
        QFETCH(ScreenInfo, expected);
        QFETCH(QSizeF, expectedSize);
        QFETCH(bool, moved);

        FakeScreenList screens;
        screens.list = atLaunch;
        NotchState state;
        m_settings->setPreferredScreen(preferred);
        ScreenFollower follower(screens, state, *m_settings);
        QVERIFY(follower.take());
        follower.follow();

        // The island reads its size when told to move: it must already be the new screen's.
        QList<QSizeF> sizeWhenMoved;
        connect(&follower, &ScreenFollower::screenTaken, this,
                [&] { sizeWhenMoved << state.collapsedSize(); });
        QSignalSpy listed(&follower, &ScreenFollower::screensChanged);
        screens.list = later;
        screens.main = laterMain;
        follower.applyScreen();

        QCOMPARE(follower.frame(), std::optional<QRectF>(expected.metrics.frame));
        QCOMPARE(follower.screen()->name, expected.name);
        QCOMPARE(state.collapsedSize(), expectedSize);
        QCOMPARE(sizeWhenMoved, moved ? QList<QSizeF>{expectedSize} : QList<QSizeF>{});
        QCOMPARE(listed.count(), 1);
    }

    void noScreenAtLaunchTakesNothing() {
        FakeScreenList screens;
        NotchState state;
        ScreenFollower follower(screens, state, *m_settings);
        QVERIFY(!follower.take());
        QVERIFY(!follower.screen());
        QVERIFY(!follower.frame());
        QCOMPARE(state.collapsedSize(), IslandGeometry::kDefaultCollapsedSize);
    }

    void choosingAnotherScreenMovesTheIsland() {
        FakeScreenList screens;
        screens.list = {plain(), notched(), other()};
        NotchState state;
        ScreenFollower follower(screens, state, *m_settings);
        QVERIFY(follower.take());
        QCOMPARE(follower.screen()->name, notched().name);
        follower.follow();
        QSignalSpy moved(&follower, &ScreenFollower::screenTaken);
        QSignalSpy listed(&follower, &ScreenFollower::screensChanged);

        m_settings->setPreferredScreen(AppScreens::identifier(other()));
        QCOMPARE(moved.count(), 1);
        QCOMPARE(follower.screen()->name, other().name);
        QCOMPARE(state.collapsedSize(), kPlainSize);
        // A choice of the settings is no change of the screens: their list stays as it was.
        QCOMPARE(listed.count(), 0);

        // A stored choice whose monitor is not connected falls back as at launch.
        m_settings->setPreferredScreen(QStringLiteral("00000000-0000-5000-8000-000000000000"));
        QCOMPARE(moved.count(), 2);
        QCOMPARE(follower.screen()->name, notched().name);
        QCOMPARE(state.collapsedSize(), kNotchedSize);
    }
};

QTEST_GUILESS_MAIN(tst_ScreenFollower)
#include "tst_ScreenFollower.moc"
