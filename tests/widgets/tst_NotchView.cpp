// The island view: wing widths per activity, indicator order, the painted shape and its springs.
#include "app/NotchPanel.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeDesktopWindows.h"
#include "fakes/FakeTrustProbe.h"
#include "fakes/TestSupport.h"
#include "platform/Platform.h"
#include "platform/TrustProbe.h"
#include "platform/posix/PosixServiceLauncher.h"
#include "platform/procfs/LinuxProcessTable.h"
#include "platform/qt/QtTickerFactory.h"
#include "services/AIUsageService.h"
#include "services/DashboardModel.h"
#include "services/Defaults.h"
#include "services/HUDService.h"
#include "services/MediaService.h"
#include "services/PomodoroService.h"
#include "services/SettingsService.h"
#include "views/IslandIndicatorsView.h"
#include "views/NotchView.h"
#include "views/PulsingDot.h"
#include "views/Spring.h"

#include <QBackingStore>
#include <QDeadlineTimer>
#include <QLabel>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

Q_DECLARE_METATYPE(IslandInputs)

namespace {

IslandInputs idle() {
    IslandInputs in;
    in.simulateNotch = true;
    return in;
}

MediaTrack track(const QString& artist = "Artist", bool playing = true) {
    MediaTrack t;
    t.app = "Spotify";
    t.title = "Song";
    t.artist = artist;
    t.isPlaying = playing;
    return t;
}

// Length of the run of opaque black pixels on one row, and where it starts.
std::pair<int, int> blackRun(const QImage& img, int y) {
    int start = -1, length = 0;
    for (int x = 0; x < img.width(); ++x) {
        const QRgb px = img.pixel(x, y);
        const bool black = qAlpha(px) == 255 && qRed(px) == 0 && qGreen(px) == 0 && qBlue(px) == 0;
        if (black) {
            if (start < 0)
                start = x;
            ++length;
        }
    }
    return {start, length};
}

int maxAlpha(const QImage& img) {
    int m = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            m = std::max(m, qAlpha(img.pixel(x, y)));
    return m;
}

// Every region a widget was asked to paint, in order.
class PaintLog : public QObject {
public:
    explicit PaintLog(QWidget* watched) { watched->installEventFilter(this); }
    QList<QRegion> regions;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            regions.append(static_cast<QPaintEvent*>(event)->region());
        return false;
    }
};

QWidget* itemNamed(const NotchView& view, const QString& name) {
    for (QWidget* w : view.indicators()->itemWidgets())
        if (w->objectName() == name)
            return w;
    return nullptr;
}

// The colours the wing items are drawn in, told apart on the island's black by their hue.
enum class Ink { red, orange, purple, green };

bool isInk(QRgb px, Ink ink) {
    const int r = qRed(px), g = qGreen(px), b = qBlue(px);
    if (qAlpha(px) < 255 || std::max({r, g, b}) < 50)
        return false;
    switch (ink) {
    case Ink::red:
        return r > 2 * g && r > 2 * b;
    case Ink::orange:
        return g > r * 2 / 5 && g < r * 4 / 5 && b < r / 4;
    case Ink::purple:
        return b > g * 3 / 2 && r > g * 3 / 2;
    case Ink::green:
        return g > 2 * r && g > b * 3 / 2;
    }
    return false;
}

// How many pixels of the island show `ink`, and the box they fill.
std::pair<int, QRect> inkOf(const QImage& img, Ink ink) {
    int count = 0;
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (isInk(img.pixel(x, y), ink)) {
                ++count;
                box |= QRect(x, y, 1, 1);
            }
    return {count, box};
}

// The collapsed island drawn for `inputs`, at rest.
QImage collapsedIsland(const IslandInputs& inputs, QRectF* islandRect = nullptr) {
    NotchView view;
    view.resize(688, 344);
    view.show();
    view.setInputs(inputs);
    if (islandRect)
        *islandRect = view.islandRect();
    const QImage img = view.grab().toImage();
    // For a look by eye: QUILLBAY_SHOTS=<folder> keeps each picture.
    const QString shots = qEnvironmentVariable("QUILLBAY_SHOTS");
    if (!shots.isEmpty() && QTest::currentDataTag())
        img.copy(0, 0, 688, 40)
            .save(shots + "/island-" + QString::fromUtf8(QTest::currentDataTag()) + ".png");
    return img;
}

IslandInputs active() {
    IslandInputs in = idle();
    in.indicatorsActive = true;
    return in;
}

QStringList order(const QList<QWidget*>& widgets) {
    QStringList names;
    for (QWidget* w : widgets)
        names << w->objectName();
    return names;
}

} // namespace

class tst_NotchView : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Animations::setEnabled(false); }

    void collapsedWidth_data();
    void collapsedWidth();
    void translucentClearPagesGoBackUnchanged();
    void indicatorOrder_data();
    void indicatorOrder();
    void itemsSitInTheirWingsInOrder();
    void shapePixels();
    void wingItemsKeepTheirInk_data();
    void wingItemsKeepTheirInk();
    void wingInkStaysInsideTheShape_data();
    void wingInkStaysInsideTheShape();
    void aiSymbolIsLargeEnoughToRead();
    void idleIslandWithoutNotchIsInvisible();
    void expandedShapeAndContent();
    void theShadowIsBlurredBlack_data();
    void theShadowIsBlurredBlack();
    void wingButtonsReportClicks();
    void elapsedText_data();
    void elapsedText();
    void springOvershootAndSettling_data();
    void springOvershootAndSettling();
    void springRetargetKeepsContinuity();
    void pulsingDotStaysWithinItsRange();
    void pulseFramesComeOnlyWhenTheStepChanges();
    void followsTheModel();
    void dashboardTransitionShowsNoBackdrop();
    void announcesWhenItStartsAndStopsMoving();
    void announcesOnlyRealInputChanges();
    void theFirstFrameMovesAtOnce();
    void aChangedWingItemRepaintsOnlyItsOwnRect_data();
    void aChangedWingItemRepaintsOnlyItsOwnRect();
    void thePulseRepaintsOnlyTheDot();
    void aStalledFrameSlowsTheOpeningInsteadOfSkippingIt_data();
    void aStalledFrameSlowsTheOpeningInsteadOfSkippingIt();
};

void tst_NotchView::collapsedWidth_data() {
    QTest::addColumn<IslandInputs>("inputs");
    QTest::addColumn<int>("width");
    IslandInputs dots = idle();
    dots.indicatorsActive = true;
    dots.runningCount = 2;
    IslandInputs pomodoro = dots;
    pomodoro.pomodoroRunning = true;
    pomodoro.pomodoroTime = "24:59";
    IslandInputs hud = pomodoro;
    hud.hud = HUDService::Level{HUDService::Kind::volume, 0.5};
    IslandInputs media = hud;
    media.track = track();
    QTest::newRow("nothing") << idle() << 196;
    QTest::newRow("dots") << dots << 256;
    QTest::newRow("pomodoro") << pomodoro << 324;
    QTest::newRow("hud over pomodoro") << hud << 344;
    QTest::newRow("media over all") << media << 412;
}

void tst_NotchView::collapsedWidth() {
    QFETCH(IslandInputs, inputs);
    QFETCH(int, width);
    auto* view = new NotchView;
    FakeDesktopWindows desktop; // offscreen: nothing to ask, as on a desktop without X
    NotchPanel panel(desktop, view);
    view->setInputs(inputs);
    QCOMPARE(view->collapsedWidth(), double(width));
    const QImage img = panel.grab().toImage();
    QCOMPARE(img.size(), QSize(688, 344));
    // The top rows are straight: the whole width is black, centred in the panel.
    const auto [start, length] = blackRun(img, 1);
    QCOMPARE(length, width);
    QCOMPARE(start, (688 - width) / 2);
}

void tst_NotchView::translucentClearPagesGoBackUnchanged() {
    // With a compositor the clear pixel is transparent: pages of it go back anywhere in the window's
    // copy, and every pixel of the copy reads as it did.
    auto* view = new NotchView;
    FakeDesktopWindows desktop;
    desktop.present = true;
    desktop.compositor = true;
    NotchPanel panel(desktop, view);
    IslandInputs media = idle();
    media.indicatorsActive = true;
    media.track = track();
    view->setInputs(media);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QVERIFY(panel.composited());
    panel.repaint();
    auto copyOfPixels = [&] {
        auto* device = panel.backingStore()->paintDevice();
        return device->devType() == QInternal::Image ? static_cast<QImage*>(device)->copy() : QImage();
    };
    const QImage before = copyOfPixels();
    QVERIFY(!before.isNull());
    const std::size_t released = panel.releaseBlankPixels();
    // The island and its shadow keep their rows; the clear rows beneath them go.
    QVERIFY2(released > std::size_t(before.sizeInBytes()) / 2, qPrintable(QString::number(released)));
    QVERIFY(released < std::size_t(before.sizeInBytes()));
    QCOMPARE(copyOfPixels(), before);
    const auto [start, length] = blackRun(panel.grab().toImage(), 1);
    QCOMPARE(length, 412);
    QCOMPARE(start, (688 - 412) / 2);
}

void tst_NotchView::indicatorOrder_data() {
    QTest::addColumn<IslandInputs>("inputs");
    QTest::addColumn<QList<IslandItem>>("left");
    QTest::addColumn<QList<IslandItem>>("right");
    using I = IslandItem;

    IslandInputs mediaAndPomodoro = idle();
    mediaAndPomodoro.indicatorsActive = true;
    mediaAndPomodoro.track = track();
    mediaAndPomodoro.pomodoroRunning = true;
    QTest::newRow("media and pomodoro")
        << mediaAndPomodoro << QList<I>{I::pomodoro, I::playPause, I::elapsed} << QList<I>{I::mediaSource};

    IslandInputs volume = mediaAndPomodoro;
    volume.hud = HUDService::Level{HUDService::Kind::volume, 0.3};
    QTest::newRow("volume replaces pomodoro")
        << volume << QList<I>{I::hudLevel, I::playPause, I::elapsed} << QList<I>{I::mediaSource};

    IslandInputs four = idle();
    four.indicatorsActive = true;
    four.runningCount = 4;
    QTest::newRow("four running") << four << QList<I>{}
                                  << QList<I>{I::runningDot, I::runningDot, I::runningDot};

    IslandInputs crashWait = idle();
    crashWait.indicatorsActive = true;
    crashWait.anyCrashed = true;
    crashWait.anyWaiting = true;
    crashWait.aiHot = true;
    crashWait.runningCount = 1;
    QTest::newRow("crash, waiting, hot")
        << crashWait << QList<I>{I::aiHot, I::waitingDot} << QList<I>{I::crashedDot, I::runningDot};

    IslandInputs negative = idle();
    negative.runningCount = -2;
    QTest::newRow("negative count") << negative << QList<I>{} << QList<I>{};
}

void tst_NotchView::indicatorOrder() {
    QFETCH(IslandInputs, inputs);
    QFETCH(QList<IslandItem>, left);
    QFETCH(QList<IslandItem>, right);
    const IslandLayout layout = IslandLayout::compute(inputs);
    QCOMPARE(layout.left, left);
    QCOMPARE(layout.right, right);
}

void tst_NotchView::itemsSitInTheirWingsInOrder() {
    NotchView view;
    view.resize(688, 344);
    view.show();
    IslandInputs in = idle();
    in.indicatorsActive = true;
    in.track = track("YouTube");
    in.elapsedSeconds = 75;
    in.pomodoroRunning = true;
    in.pomodoroTime = "12:00";
    in.anyWaiting = true;
    in.anyCrashed = true;
    in.runningCount = 2;
    view.setInputs(in);
    IslandIndicatorsView* row = view.indicators();
    QVERIFY(row->isVisible());
    QCOMPARE(row->width(), 412);
    const QList<QWidget*> items = row->itemWidgets();
    QCOMPARE(order(items), QStringList({"pomodoro", "playPause", "elapsed", "waitingDot", "mediaSource",
                                        "crashedDot", "runningDot", "runningDot"}));
    // Left items lie left of the notch, right items right of it, each wing in reading order.
    const int notchLeft = 108, notchRight = 412 - 108;
    for (int i = 0; i < items.size(); ++i) {
        const QRect g = items[i]->geometry();
        if (i < 4)
            QVERIFY2(g.right() < notchLeft, qPrintable(items[i]->objectName()));
        else
            QVERIFY2(g.left() >= notchRight, qPrintable(items[i]->objectName()));
        if (i != 0 && i != 4)
            QVERIFY(g.left() > items[i - 1]->geometry().right());
        QVERIFY(g.top() >= 0 && g.bottom() < 32);
    }
    QCOMPARE(items[0]->toolTip(), QString("Pausar Pomodoro"));
    QCOMPARE(items[1]->toolTip(), QString("Pause"));
    QCOMPARE(items[4]->toolTip(), QString("Abrir no Spotify"));

    // A paused track offers to resume; the items are updated, not recreated.
    QPointer<QWidget> playPause = items[1];
    in.track->isPlaying = false;
    in.elapsedSeconds = 76;
    view.setInputs(in);
    QVERIFY(playPause);
    QCOMPARE(playPause->toolTip(), QString("Resume"));

    // Nothing active: the wings go away with the indicators.
    view.setInputs(idle());
    QVERIFY(!row->isVisible());
}

void tst_NotchView::shapePixels() {
    NotchView view;
    view.resize(688, 344);
    IslandInputs in = idle();
    in.indicatorsActive = true;
    in.runningCount = 1;
    view.setInputs(in); // 256 × 32
    const QImage img = view.grab().toImage();
    const int left = (688 - 256) / 2, right = left + 255;
    // Inside the straight part: black; just outside and below: transparent.
    QCOMPARE(img.pixel(344, 16), qRgba(0, 0, 0, 255));
    QCOMPARE(qAlpha(img.pixel(left - 1, 5)), 0);
    QCOMPARE(qAlpha(img.pixel(right + 1, 5)), 0);
    QCOMPARE(qAlpha(img.pixel(344, 33)), 0);
    QCOMPARE(qAlpha(img.pixel(344, 200)), 0);
    // The top corners are square, the bottom ones rounded.
    QCOMPARE(img.pixel(left, 0), qRgba(0, 0, 0, 255));
    QCOMPARE(img.pixel(right, 0), qRgba(0, 0, 0, 255));
    QVERIFY(qAlpha(img.pixel(left, 31)) < 128);
    QVERIFY(qAlpha(img.pixel(right, 31)) < 128);
    QCOMPARE(qAlpha(img.pixel(left + 20, 30)), 255);
}

// Crowded wings: each item shows as much of its colour as it does alone, so none is cut at the
// island's edge (the red timer symbol once lost its left half).
void tst_NotchView::wingItemsKeepTheirInk_data() {
    QTest::addColumn<IslandInputs>("inputs");
    QTest::addColumn<int>("ink");
    QTest::addColumn<IslandInputs>("alone");

    IslandInputs timer = active();
    timer.pomodoroRunning = true;
    timer.pomodoroTime = "24:59";
    IslandInputs ai = active();
    ai.aiHot = true;
    IslandInputs waiting = active();
    waiting.anyWaiting = true;
    IslandInputs crashed = active();
    crashed.anyCrashed = true;

    IslandInputs everything = timer; // media, the timer, the AI symbol and a waiting agent
    everything.track = track();
    everything.elapsedSeconds = 3599;
    everything.aiHot = true;
    everything.anyWaiting = true;
    IslandInputs level = everything; // the level HUD in place of the timer: the widest left wing
    level.hud = HUDLevel{HUDKind::volume, 0.7};
    IslandInputs rest = everything;
    rest.pomodoroPhase = PomodoroPhase::rest;
    IslandInputs right = active(); // the right wing full: crash and three running beside the media
    right.track = track();
    right.anyCrashed = true;
    right.runningCount = 5;
    IslandInputs narrow = active(); // no media or timer: the 30-point wing
    narrow.aiHot = true;
    narrow.anyWaiting = true;
    narrow.anyCrashed = true;
    narrow.runningCount = 3;

    const int red = int(Ink::red), orange = int(Ink::orange), purple = int(Ink::purple);
    QTest::newRow("timer beside media, AI, agent") << everything << red << timer;
    QTest::newRow("AI beside media, timer, agent") << everything << orange << ai;
    QTest::newRow("agent beside media, timer, AI") << everything << purple << waiting;
    QTest::newRow("AI beside level, media, agent") << level << orange << ai;
    QTest::newRow("agent beside level, media, AI") << level << purple << waiting;
    QTest::newRow("AI beside the rest timer") << rest << orange << ai;
    QTest::newRow("crash beside media and running") << right << red << crashed;
    QTest::newRow("AI in the narrow wing") << narrow << orange << ai;
    QTest::newRow("agent in the narrow wing") << narrow << purple << waiting;
}

void tst_NotchView::wingItemsKeepTheirInk() {
    QFETCH(IslandInputs, inputs);
    QFETCH(int, ink);
    QFETCH(IslandInputs, alone);
    const int expected = inkOf(collapsedIsland(alone), Ink(ink)).first;
    QVERIFY(expected > 10);
    const int shown = inkOf(collapsedIsland(inputs), Ink(ink)).first;
    QVERIFY2(shown >= expected * 9 / 10, qPrintable(QString("%1 of %2 pixels").arg(shown).arg(expected)));
}

// Whatever the combination, every coloured pixel lies inside the island's outline, clear of its rounded
// corners: the wings never spill over the shape.
void tst_NotchView::wingInkStaysInsideTheShape_data() {
    wingItemsKeepTheirInk_data();
}

void tst_NotchView::wingInkStaysInsideTheShape() {
    QFETCH(IslandInputs, inputs);
    QRectF rect;
    const QImage img = collapsedIsland(inputs, &rect);
    const QPainterPath shape = NotchView::islandPath(rect, 10);
    int coloured = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb px = img.pixel(x, y);
            if (qAlpha(px) == 0 || std::max({qRed(px), qGreen(px), qBlue(px)}) < 50)
                continue;
            ++coloured;
            // The pixel's whole square, not just its centre.
            for (const QPointF corner :
                 {QPointF(x, y), QPointF(x + 1, y), QPointF(x, y + 1), QPointF(x + 1, y + 1)})
                QVERIFY2(shape.contains(corner), qPrintable(QString("ink at %1,%2").arg(x).arg(y)));
        }
    QVERIFY(coloured > 0);
}

// At 1× the AI symbol is a shape the eye reads, not a speck: at least 9 pixels each way.
void tst_NotchView::aiSymbolIsLargeEnoughToRead() {
    IslandInputs ai = active();
    ai.aiHot = true;
    const auto [count, box] = inkOf(collapsedIsland(ai), Ink::orange);
    QVERIFY2(box.width() >= 9 && box.height() >= 9,
             qPrintable(QString("%1 × %2, %3 pixels").arg(box.width()).arg(box.height()).arg(count)));
    QVERIFY(box.height() <= 16); // and still a small symbol in a 32-pixel island
}

void tst_NotchView::idleIslandWithoutNotchIsInvisible() {
    NotchView view;
    view.resize(688, 344);
    IslandInputs in = idle();
    in.simulateNotch = false;
    view.setInputs(in);
    QVERIFY(maxAlpha(view.grab().toImage()) <= 1);
    QVERIFY(!view.indicators()->isVisible());

    // A physical notch makes it solid again, as does any activity.
    IslandMetrics notched;
    notched.hasPhysicalNotch = true;
    view.setMetrics(notched);
    QCOMPARE(blackRun(view.grab().toImage(), 1).second, 196);
    view.setMetrics(IslandMetrics());
    in.indicatorsActive = true;
    view.setInputs(in);
    QCOMPARE(blackRun(view.grab().toImage(), 1).second, 256);
}

void tst_NotchView::expandedShapeAndContent() {
    NotchView view;
    view.resize(688, 344);
    view.show();
    IslandInputs in = idle();
    in.simulateNotch = false;
    in.indicatorsActive = true;
    in.runningCount = 3;
    view.setInputs(in);
    auto* content = new QWidget;
    view.setContent(content);
    QVERIFY(!content->isVisible());

    IslandMetrics open;
    open.isExpanded = true;
    view.setMetrics(open);
    const QImage img = view.grab().toImage();
    QCOMPARE(blackRun(img, 1).second, 640);
    int rows = 0;
    for (int y = 0; y < img.height(); ++y)
        rows += img.pixel(344, y) == qRgba(0, 0, 0, 255) ? 1 : 0;
    QCOMPARE(rows, 320);
    // The shadow falls below the shape, not beside its top.
    QVERIFY(qAlpha(img.pixel(344, 322)) > 0);
    QCOMPARE(qAlpha(img.pixel(2, 2)), 0);
    // The dashboard starts below the notch; the wings are gone.
    QVERIFY(content->isVisible());
    QCOMPARE(content->geometry(), QRect(24, 32, 640, 288));
    QVERIFY(!view.indicators()->isVisible());

    view.setMetrics(IslandMetrics());
    QVERIFY(!content->isVisible());
    QVERIFY(view.indicators()->isVisible());
    QCOMPARE(blackRun(view.grab().toImage(), 1).second, 256);
}

// The expanded island's shadow: black, fading with distance from the shape, the same pixels whatever the
// shadow is kept in. Sampled below the middle of the shape, below its rounded corner and beside it.
void tst_NotchView::theShadowIsBlurredBlack_data() {
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<int>("alpha");
    QTest::newRow("just below the middle") << QPoint(344, 320) << 110;
    QTest::newRow("4 px below") << QPoint(344, 324) << 76;
    QTest::newRow("10 px below") << QPoint(344, 330) << 25;
    QTest::newRow("below the corner") << QPoint(30, 326) << 8;
    QTest::newRow("beside the bottom") << QPoint(20, 300) << 30;
    QTest::newRow("beside, past its reach") << QPoint(10, 300) << 0;
    QTest::newRow("below, past its reach") << QPoint(344, 342) << 0;
}

void tst_NotchView::theShadowIsBlurredBlack() {
    QFETCH(QPoint, at);
    QFETCH(int, alpha);
    NotchView view;
    view.resize(688, 344);
    view.show();
    IslandInputs in = idle();
    in.simulateNotch = false;
    view.setInputs(in);
    IslandMetrics open;
    open.isExpanded = true;
    view.setMetrics(open);
    const QImage img = view.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb px = img.pixel(at);
    QCOMPARE(qRed(px) | qGreen(px) | qBlue(px), 0);
    QCOMPARE(qAlpha(px), alpha);
}

void tst_NotchView::wingButtonsReportClicks() {
    NotchView view;
    view.resize(688, 344);
    view.show();
    IslandInputs in = idle();
    in.indicatorsActive = true;
    in.track = track();
    in.pomodoroRunning = true;
    in.pomodoroTime = "01:00";
    view.setInputs(in);
    QSignalSpy toggle(&view, &NotchView::pomodoroToggleRequested);
    QSignalSpy playPause(&view, &NotchView::playPauseRequested);
    QSignalSpy open(&view, &NotchView::openSourceRequested);
    const QList<QWidget*> items = view.indicators()->itemWidgets();
    QCOMPARE(order(items), QStringList({"pomodoro", "playPause", "elapsed", "mediaSource"}));
    QTest::mouseClick(items[0], Qt::LeftButton, {}, items[0]->rect().center());
    QTest::mouseClick(items[1], Qt::LeftButton, {}, QPoint(1, 1));
    QTest::mouseClick(items[3], Qt::LeftButton, {}, QPoint(22, 18));
    QTest::mouseClick(items[2], Qt::LeftButton); // the elapsed time is not a button
    QCOMPARE(toggle.count(), 1);
    QCOMPARE(playPause.count(), 1);
    QCOMPARE(open.count(), 1);
}

void tst_NotchView::elapsedText_data() {
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0 << "0:00";
    QTest::newRow("seven") << 7 << "0:07";
    QTest::newRow("minute") << 60 << "1:00";
    QTest::newRow("long") << 4500 << "75:00";
    QTest::newRow("negative") << -5 << "0:00";
}

void tst_NotchView::elapsedText() {
    QFETCH(int, seconds);
    QFETCH(QString, text);
    QCOMPARE(IslandLayout::elapsedText(seconds), text);
}

void tst_NotchView::springOvershootAndSettling_data() {
    QTest::addColumn<double>("response");
    QTest::addColumn<double>("damping");
    QTest::addColumn<double>("overshoot"); // fraction of the distance
    QTest::newRow("expand") << 0.32 << 0.65 << 0.068;
    QTest::newRow("collapse") << 0.24 << 0.95 << 0.0;
    QTest::newRow("wing") << 0.3 << 0.8 << 0.015;
    QTest::newRow("critical") << 0.3 << 1.0 << 0.0;
    QTest::newRow("overdamped") << 0.3 << 1.5 << 0.0;
}

void tst_NotchView::springOvershootAndSettling() {
    QFETCH(double, response);
    QFETCH(double, damping);
    QFETCH(double, overshoot);
    Animations::setEnabled(true);
    Spring s(0.0, 0.001);
    s.retarget(1.0, response, damping, 10.0);
    QCOMPARE(s.value(10.0), 0.0);
    double peak = 0.0;
    for (double t = 10.0; t < 12.0; t += 0.001)
        peak = std::max(peak, s.value(t));
    Animations::setEnabled(false);
    QVERIFY2(std::abs((peak - 1.0) - overshoot) < 0.004, qPrintable(QString::number(peak)));
    QVERIFY(s.settled(11.5));
    QVERIFY(!s.settled(10.05));
    QVERIFY(std::abs(s.value(11.5) - 1.0) < 0.001);
}

void tst_NotchView::springRetargetKeepsContinuity() {
    Animations::setEnabled(true);
    Spring s(196.0);
    s.retarget(412.0, 0.3, 0.8, 0.0);
    const double mid = s.value(0.1), v = s.velocity(0.1);
    QVERIFY(mid > 196.0 && mid < 412.0);
    QVERIFY(v > 0.0);
    // Turning back mid-flight starts from where it was, with the speed it had.
    s.retarget(196.0, 0.3, 0.8, 0.1);
    QCOMPARE(s.value(0.1), mid);
    QVERIFY(std::abs(s.velocity(0.1) - v) < 1e-6);
    QVERIFY(s.value(0.11) > mid); // still moving outwards for a moment
    QVERIFY(std::abs(s.value(3.0) - 196.0) < 0.5);
    Animations::setEnabled(false);
    s.retarget(300.0, 0.3, 0.8, 3.0);
    QCOMPARE(s.value(3.0), 300.0);
    QVERIFY(s.settled(3.0));
}

void tst_NotchView::pulsingDotStaysWithinItsRange() {
    Animations::setEnabled(true);
    PulsingDot dot(Qt::red);
    QCOMPARE(dot.currentOpacity(), 1.0);
    dot.show();
    QVERIFY(dot.pulsing());
    // Sampled until both ends of the pulse have been seen, however slowly a loaded machine runs it.
    double lo = 1.0, hi = 0.0;
    const bool bothEnds = QTest::qWaitFor(
        [&] {
            const double o = dot.currentOpacity();
            lo = std::min(lo, o);
            hi = std::max(hi, o);
            return lo < 0.3 && hi > 0.9;
        },
        20000);
    Animations::setEnabled(false);
    QVERIFY(bothEnds);
    QVERIFY(lo >= 0.25 - 1e-9 && lo < 0.3);
    QVERIFY(hi <= 1.0 && hi > 0.9);
}

void tst_NotchView::pulseFramesComeOnlyWhenTheStepChanges() {
    // Walked over two periods: between one frame and the next the step holds, at the next it moves by
    // one, and a period has exactly one frame per step each way.
    int frames = 0;
    double t = 0.0;
    for (double next = PulsingDot::nextChangeAfter(t); next < 2.0 * PulsingDot::kPeriodMs;
         next = PulsingDot::nextChangeAfter(t)) {
        QVERIFY2(next > t, qPrintable(QString::number(t)));
        const int shown = PulsingDot::lookAt(t + 1e-6);
        for (double s = t + 0.25; s < next - 0.01; s += 0.25)
            QVERIFY2(PulsingDot::lookAt(s) == shown, qPrintable(QStringLiteral("%1 in %2").arg(s).arg(t)));
        const int after = PulsingDot::lookAt(next + 0.01);
        QVERIFY2(std::abs(after - shown) == 1,
                 qPrintable(QStringLiteral("%1 → %2 at %3").arg(shown).arg(after).arg(next)));
        t = next + 0.01;
        ++frames;
    }
    QCOMPARE(frames, 4 * PulsingDot::kSteps);
    // From any moment, including the last of a period, the next change is less than a period away.
    for (double at :
         {0.0, PulsingDot::kPeriodMs - 0.001, PulsingDot::kPeriodMs, 10.0 * PulsingDot::kPeriodMs + 700.0})
        QVERIFY(PulsingDot::nextChangeAfter(at) - at < PulsingDot::kPeriodMs);
    QCOMPARE(PulsingDot::opacityOf(0), 1.0);
    QCOMPARE(PulsingDot::opacityOf(PulsingDot::kSteps), 0.25);
}

void tst_NotchView::followsTheModel() {
    auto home = TestSupport::isolateHome();
    Defaults defaults(home->filePath("defaults.json"));
    FakeClock clock;
    PosixServiceLauncher launcher;
    LinuxProcessTable processes;
    QtTickerFactory tickers;
    FakeTrustProbe trust;
    Platform platform{.clock = &clock,
                      .launcher = &launcher,
                      .processTable = &processes,
                      .trustProbe = &trust,
                      .tickers = &tickers};
    DashboardModel model(platform, defaults, TestSupport::folders());

    NotchView view;
    view.resize(688, 344);
    view.show();
    view.observe(model);
    QCOMPARE(view.collapsedWidth(), 196.0);
    QVERIFY(view.inputs().simulateNotch);

    model.ai().setProviders({AIProviderUsage{"Codex", "", {AIUsageMetric{"Semana", 0.9, ""}}, std::nullopt}});
    QCOMPARE(view.collapsedWidth(), 256.0);
    QCOMPARE(order(view.indicators()->itemWidgets()), QStringList({"aiHot"}));

    // The timer button drives the model's timer, and its time follows the service.
    model.pomodoro().toggle();
    QCOMPARE(view.collapsedWidth(), 324.0);
    clock.advanceSeconds(61);
    model.pomodoro().toggle(); // paused: the wing goes back to the plain activity width
    QCOMPARE(view.collapsedWidth(), 256.0);
    model.pomodoro().toggle();
    QCOMPARE(view.inputs().pomodoroTime, QString("23:59"));
    QWidget* button = view.indicators()->itemWidgets().constFirst();
    QCOMPARE(button->objectName(), QString("pomodoro"));
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    QVERIFY(!model.pomodoro().isRunning());

    model.settings().setSimulateNotch(false);
    QVERIFY(!view.inputs().simulateNotch);
}

void tst_NotchView::dashboardTransitionShowsNoBackdrop() {
    // While the dashboard scales in and out, only its own drawing may show over the black shape.
    Animations::setEnabled(true);
    NotchView view;
    view.resize(688, 344);
    view.show();
    view.setContent(new QLabel);
    IslandMetrics open;
    open.isExpanded = true;
    for (bool expanded : {true, false}) {
        view.setMetrics(expanded ? open : IslandMetrics());
        // Every frame looked at, until the springs and the transition have come to rest.
        int litRow = -1;
        const bool rested = QTest::qWaitFor(
            [&] {
                const QImage img = view.grab().toImage();
                for (int y = 40; y < 300 && litRow < 0; y += 20) {
                    const QRgb px = img.pixel(344, y);
                    if (qAlpha(px) == 255 && !(qRed(px) < 16 && qGreen(px) < 16 && qBlue(px) < 16))
                        litRow = y;
                }
                return litRow >= 0 || !view.isAnimating();
            },
            20000);
        QVERIFY2(litRow < 0, qPrintable(QString::number(litRow)));
        QVERIFY(rested);
    }
    Animations::setEnabled(false);
}

void tst_NotchView::aStalledFrameSlowsTheOpeningInsteadOfSkippingIt_data() {
    QTest::addColumn<int>("stallMs");
    QTest::newRow("no stall") << 0;
    QTest::newRow("a first layout's worth") << 120;
    QTest::newRow("longer than the whole motion") << 600;
}

void tst_NotchView::aStalledFrameSlowsTheOpeningInsteadOfSkippingIt() {
    QFETCH(int, stallMs);
    Animations::setEnabled(true);
    auto restore = qScopeGuard([] { Animations::setEnabled(false); });
    NotchView view;
    view.resize(688, 344);
    QList<double> widths;
    IslandMetrics open;
    open.isExpanded = true;
    view.setMetrics(open);
    QThread::msleep(stallMs); // the main thread is busy before the opening's first frame
    // Every frame repaints the shape: sample it at each one until the shape is full.
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && (widths.isEmpty() || widths.last() < open.expandedSize.width() - 1)) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        const double w = view.islandRect().width();
        if (widths.isEmpty() || w != widths.last())
            widths.append(w);
    }
    QVERIFY(!widths.isEmpty() && widths.last() >= open.expandedSize.width() - 1);
    const auto between = std::count_if(widths.begin(), widths.end(), [&](double w) {
        return w > view.collapsedWidth() + 1 && w < open.expandedSize.width() - 1;
    });
    QVERIFY2(between >= 3, qPrintable(QString::number(between)));
}

void tst_NotchView::announcesWhenItStartsAndStopsMoving() {
    // Whoever rests while the island is still must hear of every start, and of the final stop.
    Animations::setEnabled(true);
    NotchView view;
    view.resize(688, 344);
    QSignalSpy animating(&view, &NotchView::animatingChanged);
    IslandMetrics open;
    open.isExpanded = true;
    for (const IslandMetrics& m : {open, IslandMetrics()}) {
        animating.clear();
        view.setMetrics(m);
        QCOMPARE(animating.count(), 1);
        QCOMPARE(animating.at(0).at(0).toBool(), true);
        QVERIFY(view.isAnimating());
        QTRY_COMPARE_WITH_TIMEOUT(animating.count(), 2, 5000);
        QCOMPARE(animating.at(1).at(0).toBool(), false);
        QVERIFY(!view.isAnimating());
    }
    // A retarget while moving is no new start.
    animating.clear();
    const double startHeight = view.islandRect().height();
    view.setMetrics(open);
    // Let the shape leave its starting point first: sent back before it has moved at all, it is
    // already where it must go, and stopping at once is right.
    QTRY_VERIFY_WITH_TIMEOUT(view.islandRect().height() > startHeight + 8, 10000);
    view.setMetrics(IslandMetrics());
    QCOMPARE(animating.count(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(animating.count(), 2, 5000);
    Animations::setEnabled(false);
}

void tst_NotchView::announcesOnlyRealInputChanges() {
    NotchView view;
    QSignalSpy changed(&view, &NotchView::inputsChanged);
    IslandInputs in = view.inputs();
    view.setInputs(in);
    QCOMPARE(changed.count(), 0);
    in.indicatorsActive = !in.indicatorsActive;
    in.runningCount = 2;
    view.setInputs(in);
    QCOMPARE(changed.count(), 1);
    view.setInputs(in);
    QCOMPARE(changed.count(), 1);
}

void tst_NotchView::theFirstFrameMovesAtOnce() {
    // The frame that starts a motion is drawn from the change itself, not a frame's time later.
    Animations::setEnabled(true);
    auto restore = qScopeGuard([] { Animations::setEnabled(false); });
    NotchView view;
    view.resize(688, 344);
    IslandMetrics open;
    open.isExpanded = true;
    const QRectF before = view.islandRect();
    view.setMetrics(open); // no event is processed before the look below
    const QRectF after = view.islandRect();
    QVERIFY2(after.height() > before.height() + 1, qPrintable(QString::number(after.height())));
    QVERIFY(after.width() > before.width() + 1);
    QVERIFY(after.height() < open.expandedSize.height()); // a first step, not a jump to the end
    QVERIFY(view.isAnimating());
}

void tst_NotchView::aChangedWingItemRepaintsOnlyItsOwnRect_data() {
    QTest::addColumn<IslandInputs>("before");
    QTest::addColumn<IslandInputs>("after");
    QTest::addColumn<QString>("item");
    IslandInputs playing = idle();
    playing.indicatorsActive = true;
    playing.track = track();
    playing.elapsedSeconds = 7;
    IslandInputs nextSecond = playing;
    nextSecond.elapsedSeconds = 8;
    QTest::newRow("the elapsed second") << playing << nextSecond << "elapsed";
    IslandInputs timer = idle();
    timer.indicatorsActive = true;
    timer.pomodoroRunning = true;
    timer.pomodoroTime = "24:59";
    IslandInputs timerNext = timer;
    timerNext.pomodoroTime = "24:58";
    QTest::newRow("the focus timer's second") << timer << timerNext << "pomodoro";
    IslandInputs level = idle();
    level.indicatorsActive = true;
    level.hud = HUDLevel{HUDKind::volume, 0.4};
    IslandInputs levelNext = level;
    levelNext.hud = HUDLevel{HUDKind::volume, 0.5};
    QTest::newRow("a new level") << level << levelNext << "hudLevel";
}

void tst_NotchView::aChangedWingItemRepaintsOnlyItsOwnRect() {
    QFETCH(IslandInputs, before);
    QFETCH(IslandInputs, after);
    QFETCH(QString, item);
    NotchView view;
    view.resize(688, 344);
    view.setInputs(before);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QWidget* widget = itemNamed(view, item);
    QVERIFY(widget);
    PaintLog island(&view), itemPaints(widget);
    QCoreApplication::processEvents();
    island.regions.clear();
    itemPaints.regions.clear();

    view.setInputs(after);
    QTRY_VERIFY(!itemPaints.regions.isEmpty());
    QCoreApplication::processEvents();
    const QRect itemRect(widget->mapTo(&view, QPoint(0, 0)), widget->size());
    QVERIFY(!island.regions.isEmpty()); // the black beneath the item is drawn again, but only there
    for (const QRegion& r : std::as_const(island.regions))
        QVERIFY2(itemRect.contains(r.boundingRect()),
                 qPrintable(
                     QStringLiteral("%1 painted beyond %2")
                         .arg(QString::number(r.boundingRect().width()), QString::number(itemRect.width()))));
}

void tst_NotchView::thePulseRepaintsOnlyTheDot() {
    Animations::setEnabled(true);
    auto restore = qScopeGuard([] { Animations::setEnabled(false); });
    NotchView view;
    view.resize(688, 344);
    IslandInputs waiting = idle();
    waiting.indicatorsActive = true;
    waiting.anyWaiting = true;
    view.setInputs(waiting);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTRY_VERIFY_WITH_TIMEOUT(!view.isAnimating(), 10000); // the wing has opened
    // Faded in completely: no effect is left on the wing, which would redraw all of it for any item.
    QVERIFY(!view.indicators()->graphicsEffect());
    auto* dot = qobject_cast<PulsingDot*>(itemNamed(view, "waitingDot"));
    QVERIFY(dot && dot->pulsing());
    PaintLog island(&view), dotPaints(dot);
    QCoreApplication::processEvents();
    island.regions.clear();
    dotPaints.regions.clear();
    // A few frames of the pulse.
    QTRY_VERIFY_WITH_TIMEOUT(dotPaints.regions.size() >= 3, 10000);
    const QRect dotRect(dot->mapTo(&view, QPoint(0, 0)), dot->size());
    for (const QRegion& r : std::as_const(island.regions))
        QVERIFY2(dotRect.contains(r.boundingRect()), "the pulse repainted more than its dot");
}

QTEST_MAIN(tst_NotchView)
#include "tst_NotchView.moc"
