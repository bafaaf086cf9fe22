// The composition of this desktop's seams: what a caller hands in is what the program uses, so a test's
// fake, and a setting such as the log keeper's path, is never replaced by the real thing.
#include "app/RealPlatform.h"
#include "fakes/FakeActiveWindow.h"
#include "fakes/FakeAlertSound.h"
#include "fakes/FakeAreaCapture.h"
#include "fakes/FakeBrightnessKeys.h"
#include "fakes/FakeBrightnessReader.h"
#include "fakes/FakeCameraSource.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeDesktopWindows.h"
#include "fakes/FakeFileRevealer.h"
#include "fakes/FakeFileSender.h"
#include "fakes/FakeKeyEvents.h"
#include "fakes/FakeKeyGrabBackend.h"
#include "fakes/FakeLanAddress.h"
#include "fakes/FakeMediaPlayers.h"
#include "fakes/FakePasteboard.h"
#include "fakes/FakePointerSource.h"
#include "fakes/FakeProcessTable.h"
#include "fakes/FakeScreenColorSampler.h"
#include "fakes/FakeScreenList.h"
#include "fakes/FakeSecretStore.h"
#include "fakes/FakeServiceLauncher.h"
#include "fakes/FakeTextRecognizer.h"
#include "fakes/FakeTicker.h"
#include "fakes/FakeTrustProbe.h"
#include "fakes/FakeVolumeReader.h"
#include "platform/AbsentSeams.h"

#include <QtTest>

class tst_RealPlatform : public QObject {
    Q_OBJECT

    FakeActiveWindow m_activeWindow;
    FakeAlertSound m_alertSound;
    FakeAreaCapture m_areaCapture;
    FakeBrightnessKeys m_brightnessKeys;
    FakeBrightnessReader m_brightness;
    FakeCameraSource m_camera;
    FakeClock m_clock;
    FakeDesktopWindows m_desktop;
    FakeFileRevealer m_fileRevealer;
    FakeFileSender m_fileSender;
    FakeKeyEvents m_keyEvents;
    FakeKeyGrabBackend m_keyGrab;
    FakeLanAddress m_lanAddress;
    FakeMediaPlayers m_mediaPlayers;
    FakePasteboard m_pasteboard;
    FakePointerSource m_pointer;
    FakeProcessTable m_processTable;
    FakeScreenColorSampler m_colorSampler;
    FakeScreenList m_screens;
    FakeSecretStore m_secrets;
    FakeServiceLauncher m_launcher;
    FakeTextRecognizer m_textRecognizer;
    FakeTickerFactory m_tickers;
    FakeTrustProbe m_trustProbe;
    FakeVolumeReader m_volume;

    Platform everything() {
        Platform p;
        p.clock = &m_clock;
        p.launcher = &m_launcher;
        p.processTable = &m_processTable;
        p.trustProbe = &m_trustProbe;
        p.tickers = &m_tickers;
        p.lanAddress = &m_lanAddress;
        p.pasteboard = &m_pasteboard;
        p.alertSound = &m_alertSound;
        p.mediaPlayers = &m_mediaPlayers;
        p.volume = &m_volume;
        p.brightness = &m_brightness;
        p.brightnessKeys = &m_brightnessKeys;
        p.camera = &m_camera;
        p.fileRevealer = &m_fileRevealer;
        p.fileSender = &m_fileSender;
        p.secrets = &m_secrets;
        p.keyGrab = &m_keyGrab;
        p.pointer = &m_pointer;
        p.screens = &m_screens;
        p.desktop = &m_desktop;
        p.activeWindow = &m_activeWindow;
        p.keyEvents = &m_keyEvents;
        p.areaCapture = &m_areaCapture;
        p.colorSampler = &m_colorSampler;
        p.textRecognizer = &m_textRecognizer;
        return p;
    }

private slots:
    void whatIsGivenIsKept() {
        const Platform given = everything();
        RealPlatform real;
        Platform filled = real.fill(given);
        real.fillAtLaunch(filled);

        QCOMPARE(filled.clock, given.clock);
        QCOMPARE(filled.launcher, given.launcher);
        QCOMPARE(filled.processTable, given.processTable);
        QCOMPARE(filled.trustProbe, given.trustProbe);
        QCOMPARE(filled.tickers, given.tickers);
        QCOMPARE(filled.lanAddress, given.lanAddress);
        QCOMPARE(filled.pasteboard, given.pasteboard);
        QCOMPARE(filled.alertSound, given.alertSound);
        QCOMPARE(filled.mediaPlayers, given.mediaPlayers);
        QCOMPARE(filled.volume, given.volume);
        QCOMPARE(filled.brightness, given.brightness);
        QCOMPARE(filled.brightnessKeys, given.brightnessKeys);
        QCOMPARE(filled.camera, given.camera);
        QCOMPARE(filled.fileRevealer, given.fileRevealer);
        QCOMPARE(filled.fileSender, given.fileSender);
        QCOMPARE(filled.secrets, given.secrets);
        QCOMPARE(filled.keyGrab, given.keyGrab);
        QCOMPARE(filled.pointer, given.pointer);
        QCOMPARE(filled.screens, given.screens);
        QCOMPARE(filled.desktop, given.desktop);
        QCOMPARE(filled.activeWindow, given.activeWindow);
        QCOMPARE(filled.keyEvents, given.keyEvents);
        QCOMPARE(filled.areaCapture, given.areaCapture);
        QCOMPARE(filled.colorSampler, given.colorSampler);
        QCOMPARE(filled.textRecognizer, given.textRecognizer);
    }

    // Until the launch the window system's own are not asked for, yet neither slot is ever empty: the
    // absent ones stand in, and the launch replaces only those.
    void launchSeamsAreAbsentUntilTheLaunch() {
        Platform given = everything();
        given.activeWindow = nullptr;
        given.keyEvents = nullptr;
        RealPlatform real;
        Platform filled = real.fill(given);
        QVERIFY(filled.activeWindow);
        QVERIFY(filled.keyEvents);
        QVERIFY(!filled.activeWindow->active());
        ActiveWindow* const waiting = filled.activeWindow;
        real.fillAtLaunch(filled);
        QVERIFY(filled.activeWindow);
        QVERIFY(filled.keyEvents);
        QVERIFY(filled.activeWindow != waiting);
        // A second launch step changes nothing.
        Platform again = filled;
        real.fillAtLaunch(again);
        QCOMPARE(again.activeWindow, filled.activeWindow);
        QCOMPARE(again.keyEvents, filled.keyEvents);
    }

    // The stand-ins go in the empty slots of the facilities a desktop may lack, and nowhere else.
    void absentSeamsFillOnlyTheEmptySlots() {
        AbsentSeams absent;
        const Platform given = everything();
        const Platform kept = absent.fill(given);
        QCOMPARE(kept.pasteboard, given.pasteboard);
        QCOMPARE(kept.camera, given.camera);
        QCOMPARE(kept.secrets, given.secrets);
        QCOMPARE(kept.textRecognizer, given.textRecognizer);

        const Platform bare = absent.fill(Platform());
        const QList<const void*> stands = {
            bare.lanAddress,     bare.pasteboard, bare.alertSound,   bare.volume,       bare.brightness,
            bare.brightnessKeys, bare.camera,     bare.fileRevealer, bare.fileSender,   bare.secrets,
            bare.activeWindow,   bare.keyEvents,  bare.areaCapture,  bare.colorSampler, bare.textRecognizer};
        for (const void* slot : stands)
            QVERIFY(slot);
        // What has no absent form stays the chooser's to give.
        QVERIFY(!bare.clock);
        QVERIFY(!bare.launcher);
        QVERIFY(!bare.tickers);
        QVERIFY(!bare.desktop);
        // The same stand-ins each time: a second fill hands out nothing new.
        QCOMPARE(absent.fill(Platform()).pasteboard, bare.pasteboard);
    }
};

QTEST_GUILESS_MAIN(tst_RealPlatform)
#include "tst_RealPlatform.moc"
