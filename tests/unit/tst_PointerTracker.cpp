// The island's geometry and its open/close rule, driven by scripted pointer samples.
#include "app/IslandGeometry.h"
#include "app/NotchState.h"
#include "app/PointerTracker.h"
#include "fakes/FakePointerSource.h"
#include "fakes/FakeScreenList.h"

#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(ScreenInfo)

namespace IG = IslandGeometry;

namespace {

const QRectF kScreen(0, 0, 1920, 1080);

// Plays the part of the application: records each action and keeps the context in step, as
// `setExpanded(_:)` does.
struct Island final : TrackerActions {
    PointerTracker tracker;
    TrackerContext context;
    FakePointerSource pointer;
    QStringList calls;

    Island(const QRectF& screen = kScreen, QSizeF collapsed = IG::kDefaultCollapsedSize) {
        context.screenFrame = screen;
        context.collapsedSize = collapsed;
        context.expandedSize = NotchState::expandedSize();
    }

    void setIgnoresMouseEvents(bool ignore) override { calls << (ignore ? "ignore" : "accept"); }
    void selectShelfTab() override { calls << "shelf"; }
    void setExpanded(bool expanded) override {
        calls << (expanded ? "expand" : "collapse");
        context.expanded = expanded;
        tracker.expandedApplied(expanded);
    }

    // One tick at `p`; returns the calls it made.
    QStringList at(QPointF p, bool button = false) {
        calls.clear();
        pointer.current = {p, button};
        PointerTracker::apply(tracker.tick(pointer, context), *this);
        return calls;
    }
    QStringList at(qreal x, qreal y, bool button = false) { return at(QPointF(x, y), button); }

    void openByHotkey() {
        setExpanded(true);
        tracker.setOpenedByHotkey(true);
    }
};

} // namespace

class TestPointerTracker : public QObject {
    Q_OBJECT

private slots:
    void panelFrame_data() {
        QTest::addColumn<QRectF>("screen");
        QTest::addColumn<QRectF>("panel");
        QTest::newRow("origin") << kScreen << QRectF(616, 0, 688, 344);
        QTest::newRow("left of primary") << QRectF(-1920, 0, 1920, 1080) << QRectF(-1304, 0, 688, 344);
        QTest::newRow("right of primary") << QRectF(1920, 0, 2560, 1440) << QRectF(2856, 0, 688, 344);
        QTest::newRow("odd width") << QRectF(0, 0, 1366, 768) << QRectF(339, 0, 688, 344);
        QTest::newRow("below another") << QRectF(0, 1080, 1920, 1080) << QRectF(616, 1080, 688, 344);
        // QRect::center() would put this one half a pixel off.
        QTest::newRow("odd width 1365") << QRectF(0, 0, 1365, 768) << QRectF(338.5, 0, 688, 344);
    }
    void panelFrame() {
        QFETCH(QRectF, screen);
        QFETCH(QRectF, panel);
        QCOMPARE(IG::panelFrame(screen), panel);
    }

    void notchRule_data() {
        QTest::addColumn<ScreenInfo>("screen");
        QTest::addColumn<bool>("notch");
        QTest::addColumn<QSizeF>("collapsed");
        QTest::newRow("plain monitor")
            << FakeScreenList::screen("HDMI-1", kScreen) << false << QSizeF(196, 32);
        QTest::newRow("notched") << FakeScreenList::notched("eDP-1") << true << QSizeF(112, 37);
        ScreenInfo noAreas = FakeScreenList::notched("eDP-1");
        noAreas.metrics.auxiliaryTopLeftWidth.reset();
        noAreas.metrics.auxiliaryTopRightWidth.reset();
        QTest::newRow("notched, no areas") << noAreas << true << QSizeF(196, 32);
        ScreenInfo oneArea = FakeScreenList::notched("eDP-1");
        oneArea.metrics.auxiliaryTopRightWidth.reset();
        QTest::newRow("notched, one area") << oneArea << true << QSizeF(196, 32);
        ScreenInfo areasNoInset = FakeScreenList::notched("eDP-1");
        areasNoInset.metrics.safeAreaTop = 0;
        QTest::newRow("areas but no inset") << areasNoInset << false << QSizeF(196, 32);
    }
    void notchRule() {
        QFETCH(ScreenInfo, screen);
        QFETCH(bool, notch);
        QFETCH(QSizeF, collapsed);
        const auto g = IG::notchGeometry(screen.metrics);
        QCOMPARE(g.hasPhysicalNotch, notch);
        QCOMPARE(g.collapsedSize, collapsed);
        QCOMPARE(screen.hasNotch(), notch);
    }

    void stateAnnouncesOnlyRealChanges() {
        NotchState s;
        QSignalSpy geometry(&s, &NotchState::geometryChanged);
        s.applyNotchGeometry({false, QSizeF(196, 32)});
        QCOMPARE(geometry.count(), 0);
        s.applyNotchGeometry({true, QSizeF(196, 32)}); // a notch without side areas
        s.applyNotchGeometry({true, QSizeF(112, 37)});
        QCOMPARE(geometry.count(), 2);
    }

    // 1920 x 1080: the closed rectangle is [858, 1062) x [-2, 34); with indicators the hot zone
    // reaches [828, 1092); the ears are [750, 858) and [1062, 1170).
    void collapsedBoundaries_data() {
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<bool>("indicators");
        QTest::addColumn<bool>("media");
        QTest::addColumn<QString>("outcome"); // expand, ear or none

        const auto row = [](const char* name, qreal x, qreal y, bool ind, bool media, const char* out) {
            QTest::newRow(name) << QPointF(x, y) << ind << media << QString(out);
        };
        row("left edge in", 858, 10, false, false, "expand");
        row("left edge out", 857, 10, false, false, "none");
        row("right edge in", 1061, 10, false, false, "expand");
        row("right edge out", 1062, 10, false, false, "none");
        row("top pixel row", 960, 0, false, false, "expand");
        row("above the top margin", 960, -3, false, false, "none");
        row("bottom edge in", 960, 33, false, false, "expand");
        row("bottom edge out", 960, 34, false, false, "none");
        row("indicators left in", 828, 10, true, false, "expand");
        row("indicators left out", 827, 10, true, false, "none");
        row("indicators right in", 1091, 10, true, false, "expand");
        row("indicators right out", 1092, 10, true, false, "none");
        row("indicators not taller", 960, 34, true, false, "none");
        row("left ear outer edge", 750, 10, false, true, "ear");
        row("left of the left ear", 749, 10, false, true, "none");
        row("left ear inner edge", 857, 10, false, true, "ear");
        row("between the ears", 858, 10, false, true, "expand");
        row("right ear inner edge", 1062, 10, false, true, "ear");
        row("right ear outer edge", 1169, 10, false, true, "ear");
        row("right of the right ear", 1170, 10, false, true, "none");
        row("below an ear", 800, 34, false, true, "none");
        row("ear beats indicator margin left", 830, 10, true, true, "ear");
        row("ear beats indicator margin right", 1091, 10, true, true, "ear");
    }
    void collapsedBoundaries() {
        QFETCH(QPointF, pointer);
        QFETCH(bool, indicators);
        QFETCH(bool, media);
        QFETCH(QString, outcome);
        Island island;
        island.context.indicatorsActive = indicators;
        island.context.mediaPresent = media;
        island.pointer.current = {pointer, false};
        const TrackerDecision d = island.tracker.step(island.pointer.current, island.context);
        QCOMPARE(d.expand, outcome == "expand");
        QCOMPARE(d.overEar, outcome == "ear");
        QVERIFY(!d.collapse);
        QVERIFY(!d.selectShelf);
        // Over an ear the island takes clicks; elsewhere it lets them through (or opens).
        if (outcome == "ear")
            QCOMPARE(d.ignoresMouse, std::optional<bool>(false));
        if (outcome == "none")
            QCOMPARE(d.ignoresMouse, std::optional<bool>(true));
    }

    // With the focus timer running and no media, its button fills the left wing [798, 862): the part
    // of it beside the closed rectangle, [798, 858), takes clicks instead of opening the island.
    void timerWingBoundaries_data() {
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<bool>("timerButton");
        QTest::addColumn<bool>("media");
        QTest::addColumn<QString>("outcome"); // expand, ear or none

        const auto row = [](const char* name, qreal x, qreal y, bool timer, bool media, const char* out) {
            QTest::newRow(name) << QPointF(x, y) << timer << media << QString(out);
        };
        row("timer wing outer edge", 798, 10, true, false, "ear");
        row("left of the timer wing", 797, 10, true, false, "none");
        row("timer wing inner edge", 857, 10, true, false, "ear");
        row("closed rectangle beside it", 858, 10, true, false, "expand");
        row("former indicator margin", 830, 10, true, false, "ear");
        row("below the timer wing", 820, 34, true, false, "none");
        row("top pixel row of the wing", 820, 0, true, false, "ear");
        row("right wing has no button", 1091, 10, true, false, "expand");
        row("right of the margin", 1092, 10, true, false, "none");
        row("no timer button: margin opens", 830, 10, false, false, "expand");
        row("no timer button: wing passes clicks", 800, 10, false, false, "none");
        row("media ear wins beyond the wing", 760, 10, true, true, "ear");
        row("media ear on the right", 1100, 10, true, true, "ear");
    }
    void timerWingBoundaries() {
        QFETCH(QPointF, pointer);
        QFETCH(bool, timerButton);
        QFETCH(bool, media);
        QFETCH(QString, outcome);
        Island island;
        island.context.indicatorsActive = true;
        island.context.timerButtonShown = timerButton;
        island.context.mediaPresent = media;
        island.pointer.current = {pointer, true}; // a held button changes nothing over the wing
        const TrackerDecision d = island.tracker.step(island.pointer.current, island.context);
        QCOMPARE(d.expand, outcome == "expand");
        QCOMPARE(d.overEar, outcome == "ear");
        QCOMPARE(d.selectShelf, outcome == "expand");
        QVERIFY(!d.collapse);
        if (outcome == "ear")
            QCOMPARE(d.ignoresMouse, std::optional<bool>(false));
        if (outcome == "none")
            QCOMPARE(d.ignoresMouse, std::optional<bool>(true));
    }

    // The open area is [628, 1292) x [-12, 332).
    void expandedBoundaries_data() {
        QTest::addColumn<QPointF>("pointer");
        QTest::addColumn<bool>("collapses");
        QTest::newRow("left in") << QPointF(628, 100) << false;
        QTest::newRow("left out") << QPointF(627, 100) << true;
        QTest::newRow("right in") << QPointF(1291, 100) << false;
        QTest::newRow("right out") << QPointF(1292, 100) << true;
        QTest::newRow("bottom in") << QPointF(960, 331) << false;
        QTest::newRow("bottom out") << QPointF(960, 332) << true;
        QTest::newRow("top") << QPointF(960, 0) << false;
        QTest::newRow("panel shadow margin") << QPointF(620, 100) << true;
    }
    void expandedBoundaries() {
        QFETCH(QPointF, pointer);
        QFETCH(bool, collapses);
        Island island;
        island.setExpanded(true);
        QCOMPARE(island.at(pointer), collapses ? QStringList{"collapse"} : QStringList{});
        QCOMPARE(island.context.expanded, !collapses);
    }

    void notchedScreenUsesItsNotch() {
        // A notched screen to the right of the primary: collapsed 112 x 37 centred on x = 1920 + 756.
        const ScreenInfo s = FakeScreenList::notched("eDP-1", 1920);
        Island island(s.metrics.frame, IG::notchGeometry(s.metrics).collapsedSize);
        QCOMPARE(island.at(1920 + 756 - 56 - 5, 10), QStringList{"ignore"});
        QCOMPARE(island.at(1920 + 756 - 56 - 4, 38), QStringList{"expand"});
        island.setExpanded(false);
        QCOMPARE(island.at(1920 + 756 + 60, 39), QStringList{});
        QCOMPARE(island.at(1920 + 756 + 59, 10), QStringList{"expand"});
    }

    void heldButtonSelectsShelfFirst() {
        Island island;
        QCOMPARE(island.at(300, 600, true), QStringList{"ignore"});
        QCOMPARE(island.at(960, 5, true), (QStringList{"shelf", "expand"}));
        island.setExpanded(false);
        QCOMPARE(island.at(960, 5, false), QStringList{"expand"});
        // A button held over an ear neither selects the Shelf nor opens.
        island.setExpanded(false);
        island.context.mediaPresent = true;
        QCOMPARE(island.at(800, 5, true), QStringList{"accept"});
    }

    void keepOpenSurfaces_data() {
        QTest::addColumn<int>("surface");
        QTest::newRow("file picker") << 0;
        QTest::newRow("QR view") << 1;
        QTest::newRow("palette") << 2;
        QTest::newRow("screen capture") << 3;
        QTest::newRow("news composing") << 4;
        QTest::newRow("X composing") << 5;
        QTest::newRow("shelf entry dragged out") << 6;
    }
    void keepOpenSurfaces() {
        QFETCH(int, surface);
        Island island;
        bool* flags[] = {&island.context.pickerOpen,    &island.context.qrInfoShown,
                         &island.context.paletteOpen,   &island.context.capturing,
                         &island.context.newsComposing, &island.context.profilesComposing,
                         &island.context.draggingOut};
        island.openByHotkey();
        *flags[surface] = true;
        QCOMPARE(island.at(100, 900), QStringList{});
        // Entering while the surface shows does not count as the pointer's first visit.
        QCOMPARE(island.at(960, 100), QStringList{});
        QVERIFY(island.tracker.openedByHotkey());
        *flags[surface] = false;
        QCOMPARE(island.at(960, 100), QStringList{});
        QVERIFY(!island.tracker.openedByHotkey());
        *flags[surface] = true;
        QCOMPARE(island.at(100, 900), QStringList{});
        *flags[surface] = false;
        QCOMPARE(island.at(100, 900), QStringList{"collapse"});
    }

    void hotkeyOpeningWaitsForFirstVisit() {
        Island island;
        island.openByHotkey();
        for (int i = 0; i < 5; ++i)
            QCOMPARE(island.at(100, 900), QStringList{});
        QVERIFY(island.tracker.openedByHotkey());
        QCOMPARE(island.at(960, 200), QStringList{});
        QVERIFY(!island.tracker.openedByHotkey());
        QCOMPARE(island.at(960, 200), QStringList{});
        QCOMPARE(island.at(100, 900), QStringList{"collapse"});
        // Closed now: the next far tick writes nothing, the collapse already let clicks through.
        QCOMPARE(island.at(100, 900), QStringList{});
    }

    void forceExpandedValue_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("forced");
        QTest::newRow("1") << QByteArray("1") << true;
        QTest::newRow("unset") << QByteArray() << false;
        QTest::newRow("empty") << QByteArray("") << false;
        QTest::newRow("true") << QByteArray("true") << false;
        QTest::newRow("yes") << QByteArray("yes") << false;
        QTest::newRow("0") << QByteArray("0") << false;
        QTest::newRow("padded") << QByteArray(" 1") << false;
        QTest::newRow("11") << QByteArray("11") << false;
    }
    void forceExpandedValue() {
        QFETCH(QByteArray, value);
        QFETCH(bool, forced);
        QCOMPARE(PointerTracker::forceExpandedRequested(value), forced);
    }

    void forceExpandedMakesNoCalls() {
        Island island;
        island.tracker.setForceExpanded(true);
        island.setExpanded(true);
        for (const QPointF p : {QPointF(100, 900), QPointF(960, 5), QPointF(-5000, -5000)}) {
            QCOMPARE(island.at(p, true), QStringList{});
        }
        QCOMPARE(island.pointer.reads, 0);
        island.context.expanded = false;
        QCOMPARE(island.at(960, 5), QStringList{});
        QCOMPARE(island.pointer.reads, 0);
    }

    void clickThroughWrittenOnlyOnChange() {
        Island island;
        island.context.mediaPresent = true;
        int writes = 0;
        for (int i = 0; i < 100; ++i)
            writes += int(island.at(300 + (i % 7), 600).size());
        QCOMPARE(writes, 1);
        // Into an ear and out again: one write each way, none while resting.
        QCOMPARE(island.at(800, 10), QStringList{"accept"});
        QCOMPARE(island.at(801, 11), QStringList{});
        QCOMPARE(island.at(300, 600), QStringList{"ignore"});
        // From an ear straight into the notch: opening alone sets the click-through.
        QCOMPARE(island.at(800, 10), QStringList{"accept"});
        QCOMPARE(island.at(960, 10), QStringList{"expand"});
        QCOMPARE(island.at(100, 900), QStringList{"collapse"});
        for (int i = 0; i < 100; ++i)
            QCOMPARE(island.at(100, 900), QStringList{});
        // A hot key that closes an island opened over an ear leaves nothing stale either.
        QCOMPARE(island.at(800, 10), QStringList{"accept"});
        island.setExpanded(true);
        island.setExpanded(false);
        island.calls.clear();
        QCOMPARE(island.at(300, 600), QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestPointerTracker)
#include "tst_PointerTracker.moc"
