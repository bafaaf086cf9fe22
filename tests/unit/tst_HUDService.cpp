// The level indicator's rules with readers a test sets and timers it fires: what moves is shown, the
// warm-up shows nothing, volume beats brightness, a gap keeps the level from before it, and the level
// goes 1.6 s after the last change.
#include "fakes/FakeBrightnessKeys.h"
#include "fakes/FakeBrightnessReader.h"
#include "fakes/FakeTicker.h"
#include "fakes/FakeVolumeReader.h"
#include "platform/BrightnessReader.h"
#include "platform/VolumeReader.h"
#include "services/HUDService.h"

#include <QSignalSpy>
#include <QtTest>

#include <cmath>
#include <limits>

using Level = HUDService::Level;
using Kind = HUDService::Kind;
using Reading = std::optional<double>;

Q_DECLARE_METATYPE(Reading)
Q_DECLARE_METATYPE(std::optional<Level>)

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Step {
    Reading volume;
    Reading brightness;
};

} // namespace

Q_DECLARE_METATYPE(QList<Step>)

class tst_HUDService : public QObject {
    Q_OBJECT

    FakeVolumeReader m_volume;
    FakeBrightnessReader m_brightness;
    NoVolumeReader m_noVolume;
    NoBrightnessReader m_noBacklight;
    FakeTickerFactory m_tickers;

    // Both levels are set, then the sound server's notice makes the service look.
    void pollWith(HUDService& hud, Reading v, Reading b) {
        m_brightness.value = b;
        m_volume.change(v);
        Q_UNUSED(hud);
    }

private slots:
    void init() {
        m_volume.value.reset();
        m_brightness.value.reset();
        m_brightness.hasDevice = true;
        m_brightness.announces = true;
        m_brightness.reads = 0;
        m_volume.reads = 0;
    }

    // Each row is a run of polls from a fresh service; the level on display after the last poll.
    void pollsDecideWhatShows_data() {
        QTest::addColumn<QList<Step>>("steps");
        QTest::addColumn<std::optional<Level>>("shown");
        const Reading none;
        QTest::newRow("start shows nothing") << QList<Step>{{0.2, 0.8}} << std::optional<Level>();
        QTest::newRow("start shows nothing, even at once")
            << QList<Step>{{0.2, 0.8}, {0.2, 0.8}} << std::optional<Level>();
        QTest::newRow("a volume step shows")
            << QList<Step>{{0.2, 0.8}, {0.3, 0.8}} << std::optional<Level>(Level{Kind::volume, 0.3});
        QTest::newRow("a step of exactly the threshold is noise")
            << QList<Step>{{0.0, 0.005}, {0.005, 0.0}} << std::optional<Level>();
        QTest::newRow("just past the threshold shows")
            << QList<Step>{{0.5, 0.5}, {0.5, 0.5051}}
            << std::optional<Level>(Level{Kind::brightness, 0.5051});
        QTest::newRow("steps within the threshold do not add up")
            << QList<Step>{{0.5, 0.5}, {0.504, 0.5}, {0.508, 0.5}, {0.512, 0.5}} << std::optional<Level>();
        QTest::newRow("a brightness step shows")
            << QList<Step>{{0.2, 0.8}, {0.2, 0.6}} << std::optional<Level>(Level{Kind::brightness, 0.6});
        QTest::newRow("both at once: only the volume")
            << QList<Step>{{0.2, 0.8}, {0.4, 0.6}} << std::optional<Level>(Level{Kind::volume, 0.4});
        // The brightness of that poll was stored, so the next, unchanged poll shows nothing new.
        QTest::newRow("the hidden brightness change is not shown later")
            << QList<Step>{{0.2, 0.8}, {0.4, 0.6}, {0.4, 0.6}}
            << std::optional<Level>(Level{Kind::volume, 0.4});
        QTest::newRow("brightness replaces a shown volume")
            << QList<Step>{{0.2, 0.8}, {0.4, 0.8}, {0.4, 0.5}}
            << std::optional<Level>(Level{Kind::brightness, 0.5});
        QTest::newRow("further steps update the shown value")
            << QList<Step>{{0.2, 0.8}, {0.3, 0.8}, {0.35, 0.8}}
            << std::optional<Level>(Level{Kind::volume, 0.35});
        QTest::newRow("a gap compares with the level before it")
            << QList<Step>{{0.2, 0.8}, {none, 0.8}, {0.2, 0.8}} << std::optional<Level>();
        QTest::newRow("after a gap a real change shows")
            << QList<Step>{{0.2, 0.8}, {none, none}, {none, none}, {0.6, 0.8}}
            << std::optional<Level>(Level{Kind::volume, 0.6});
        QTest::newRow("a reader absent at the start: its first level is not shown")
            << QList<Step>{{none, 0.8}, {0.3, 0.8}} << std::optional<Level>();
        QTest::newRow("no volume: brightness alone")
            << QList<Step>{{none, 0.8}, {none, 0.7}} << std::optional<Level>(Level{Kind::brightness, 0.7});
        QTest::newRow("no brightness: volume alone")
            << QList<Step>{{0.1, none}, {0.9, none}} << std::optional<Level>(Level{Kind::volume, 0.9});
        QTest::newRow("a reading that is not a number is none")
            << QList<Step>{{0.2, 0.8}, {kNaN, 0.8}, {0.2, 0.8}} << std::optional<Level>();
        QTest::newRow("an infinite reading is none")
            << QList<Step>{{0.2, 0.8}, {std::numeric_limits<double>::infinity(), 0.8}}
            << std::optional<Level>();
    }
    void pollsDecideWhatShows() {
        QFETCH(QList<Step>, steps);
        QFETCH(std::optional<Level>, shown);
        HUDService hud(m_volume, m_brightness, m_tickers);
        for (const Step& s : steps)
            pollWith(hud, s.volume, s.brightness);
        QCOMPARE(hud.current().has_value(), shown.has_value());
        if (shown) {
            QCOMPARE(hud.current()->kind, shown->kind);
            QCOMPARE(hud.current()->value, shown->value);
        }
    }

    void theLevelGoesAfterTheHideDelayFromTheLastChange() {
        HUDService hud(m_volume, m_brightness, m_tickers);
        QSignalSpy spy(&hud, &HUDService::currentChanged);
        pollWith(hud, 0.2, 0.8);
        QVERIFY(!m_tickers.isRunning(HUDService::kHideMs));
        pollWith(hud, 0.3, 0.8);
        QVERIFY(m_tickers.isRunning(HUDService::kHideMs));
        pollWith(hud, 0.3, 0.8); // no change: the pending hide stays as it was
        QVERIFY(hud.current());
        QCOMPARE(m_tickers.fire(HUDService::kHideMs), 1);
        QVERIFY(!hud.current());
        QVERIFY(!m_tickers.isRunning(HUDService::kHideMs)); // one-shot
        QCOMPARE(spy.count(), 2);
        // A later change shows again and schedules a fresh hide.
        pollWith(hud, 0.5, 0.8);
        QVERIFY(hud.current());
        QVERIFY(m_tickers.isRunning(HUDService::kHideMs));
    }

    void aFailingReaderLeavesTheOtherWorking() {
        HUDService hud(m_volume, m_brightness, m_tickers);
        pollWith(hud, 0.2, 0.8);
        // The volume server goes away for several polls while the brightness moves.
        pollWith(hud, std::nullopt, 0.7);
        QCOMPARE(hud.current(), std::optional<Level>(Level{Kind::brightness, 0.7}));
        pollWith(hud, std::nullopt, 0.6);
        QCOMPARE(hud.current(), std::optional<Level>(Level{Kind::brightness, 0.6}));
        // Back with its old level: nothing new to show.
        pollWith(hud, 0.2, 0.6);
        QCOMPARE(hud.current(), std::optional<Level>(Level{Kind::brightness, 0.6}));
    }

    void onlyRealChangesAreAnnounced() {
        HUDService hud(m_volume, m_brightness, m_tickers);
        QSignalSpy spy(&hud, &HUDService::changed);
        pollWith(hud, 0.2, 0.8);
        pollWith(hud, 0.2, 0.8);
        QCOMPARE(spy.count(), 0);
        pollWith(hud, 0.3, 0.8);
        QCOMPARE(spy.count(), 1);
    }

    void withoutReadersNothingPolls() {
        HUDService hud(m_noVolume, m_noBacklight, m_tickers);
        hud.setIslandShown(true);
        QVERIFY(!m_tickers.isRunning(HUDService::kPollMs));
        QVERIFY(!hud.current());
    }

    // Readers that announce their changes are read only when they do: nothing runs on a timer,
    // whether the island is open or not.
    void announcedChangesNeedNoTimer() {
        m_volume.value = 0.5;
        m_brightness.value = 0.5;
        HUDService hud(m_volume, m_brightness, m_tickers);
        const int volumeReads = m_volume.reads, brightnessReads = m_brightness.reads;
        QVERIFY(!hud.pollingBrightness());
        hud.setIslandShown(true);
        QVERIFY(!hud.pollingBrightness());
        hud.setIslandShown(false);
        QVERIFY(!m_tickers.isRunning(HUDService::kPollMs));
        QCOMPARE(m_volume.reads, volumeReads + 2); // the looks as the island opened and closed
        m_brightness.change(0.7);
        QCOMPARE(hud.current(), std::optional<Level>(Level{Kind::brightness, 0.7}));
        m_volume.change(0.1);
        QCOMPARE(hud.current(), std::optional<Level>(Level{Kind::volume, 0.1}));
        QCOMPARE(m_brightness.reads, brightnessReads + 4);
    }

    // No backlight: its files are never read, not even when the volume moves, until one is announced.
    void withoutABacklightNothingIsRead() {
        m_brightness.hasDevice = false;
        m_brightness.announces = false;
        m_volume.value = 0.3;
        HUDService hud(m_volume, m_brightness, m_tickers);
        hud.setIslandShown(true);
        m_volume.change(0.6);
        QCOMPARE(hud.current(), std::optional<Level>(Level{Kind::volume, 0.6}));
        QCOMPARE(m_brightness.reads, 0);
        QVERIFY(!hud.pollingBrightness());
        // One is plugged in: its first level is learnt, not shown; it announces nothing, so the open
        // island reads it on a timer from now on.
        m_brightness.value = 0.4;
        m_brightness.plug(true);
        QCOMPARE(m_brightness.reads, 1);
        QCOMPARE(hud.current(), std::optional<Level>(Level{Kind::volume, 0.6}));
        QVERIFY(hud.pollingBrightness());
    }

    // A backlight that announces nothing is polled only while the island is open.
    void aSilentBacklightIsPolledOnlyWhileTheIslandIsOpen() {
        m_brightness.announces = false;
        m_brightness.value = 0.5;
        HUDService hud(m_noVolume, m_brightness, m_tickers);
        QVERIFY(!hud.pollingBrightness());
        hud.setIslandShown(true);
        QVERIFY(hud.pollingBrightness());
        m_brightness.value = 0.8;
        QCOMPARE(m_tickers.fire(HUDService::kPollMs), 1);
        QCOMPARE(hud.current(), std::optional<Level>(Level{Kind::brightness, 0.8}));
        hud.setIslandShown(false);
        QVERIFY(!hud.pollingBrightness());
        const int reads = m_brightness.reads;
        QCOMPARE(m_tickers.fire(HUDService::kPollMs), 0);
        QCOMPARE(m_brightness.reads, reads);
    }

    // A device that should announce its changes but was seen to change without a word (firmware that
    // sets the level itself) is polled like a silent one from then on; a volume notice proves nothing.
    void aBacklightCaughtChangingSilentlyIsPolledFromThenOn() {
        m_volume.value = 0.5;
        m_brightness.value = 0.5;
        HUDService hud(m_volume, m_brightness, m_tickers);
        // Changed just before a volume notice whose own announcement is still on its way.
        m_brightness.value = 0.6;
        m_volume.change(0.5);
        hud.setIslandShown(true);
        QVERIFY(!hud.pollingBrightness());
        hud.setIslandShown(false);
        // Changed with no announcement at all: the next opening finds it.
        m_brightness.value = 0.2;
        hud.setIslandShown(true);
        QCOMPARE(hud.current(), std::optional<Level>(Level{Kind::brightness, 0.2}));
        QVERIFY(hud.pollingBrightness());
        hud.setIslandShown(false);
        QVERIFY(!hud.pollingBrightness());
    }

    // The keys are heard only for a backlight that announces nothing; a press reads it for a while,
    // restarted by each press, and the island's opening and closing in between change nothing of that.
    void aBrightnessKeyReadsASilentBacklightForAWhile() {
        FakeBrightnessKeys keys;
        m_brightness.value = 0.5;
        {
            HUDService announced(m_noVolume, m_brightness, keys, m_tickers);
            QVERIFY(!keys.listening); // it announces its changes: no key is listened to
        }
        m_brightness.announces = false;
        HUDService hud(m_noVolume, m_brightness, keys, m_tickers);
        QVERIFY(keys.listening);
        QVERIFY(!hud.pollingBrightness());
        keys.press();
        QVERIFY(hud.pollingBrightness());
        m_brightness.value = 0.6; // the firmware takes a moment
        QCOMPARE(m_tickers.fire(HUDService::kPollMs), 1);
        QCOMPARE(hud.current(), std::optional<Level>(Level{Kind::brightness, 0.6}));
        hud.setIslandShown(true);
        hud.setIslandShown(false);
        QVERIFY(hud.pollingBrightness());
        keys.press(); // a second press keeps it going
        QCOMPARE(m_tickers.fire(HUDService::kAfterKeyMs), 1);
        QVERIFY(!hud.pollingBrightness());
        QCOMPARE(m_tickers.fire(HUDService::kPollMs), 0);
        QVERIFY(keys.listening);

        // Unplugged: nothing to listen for.
        m_brightness.plug(false);
        QVERIFY(!keys.listening);
        keys.press();
        QVERIFY(!hud.pollingBrightness());
    }

    void aBacklightCaughtSilentGetsItsKeysHeard() {
        FakeBrightnessKeys keys;
        m_brightness.value = 0.5;
        HUDService hud(m_noVolume, m_brightness, keys, m_tickers);
        QVERIFY(!keys.listening);
        m_brightness.value = 0.3;
        hud.setIslandShown(true); // found changed without a word
        QVERIFY(keys.listening);
    }

    void readersHearNothingOnceTheServiceIsGone() {
        FakeBrightnessKeys keys;
        m_brightness.announces = false;
        auto hud = std::make_unique<HUDService>(m_volume, m_brightness, keys, m_tickers);
        QVERIFY(keys.listening);
        hud.reset();
        QVERIFY(!keys.listening);
        const int reads = m_volume.reads;
        m_volume.change(0.9);
        m_brightness.change(0.9);
        keys.listening = true;
        keys.press();
        QCOMPARE(m_volume.reads, reads);
    }
};

QTEST_GUILESS_MAIN(tst_HUDService)
#include "tst_HUDService.moc"
