// Small repaints put straight onto a window, on a private X server: what the server shows afterwards is,
// pixel for pixel, what the usual repaint draws there; the window's own copy catches up when the window
// is exposed; a faded or hidden widget, or no pixels seam, takes the usual path; and the collapsed
// island's pulse frame and new second reach the screen without a repaint of the island.
#include "platform/x11/X11WindowPixels.h"
#include "views/DirectRepaint.h"
#include "views/IslandIndicatorsView.h"
#include "views/NotchView.h"
#include "views/PulsingDot.h"
#include "views/Spring.h"

#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <QtTest>

#include <xcb/xcb.h>

namespace {

// A flat swatch with a round spot in it: a frame shows unmistakably, and an edge drawn one pixel off
// shows in the comparison.
class Swatch : public QWidget {
public:
    explicit Swatch(QWidget* parent)
        : QWidget(parent) {
        setFixedSize(14, 10);
    }
    QColor color = Qt::red;
    DirectRepaint repaint{this};

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect().adjusted(2, 2, -2, -2), color.darker());
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(QRectF(rect()).adjusted(3.5, 1.5, -3.5, -1.5));
    }
};

// A window drawn as the island's is: black under everything, or a black shape on a clear window.
class Window : public QWidget {
public:
    explicit Window(bool translucent) {
        setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        if (translucent)
            setAttribute(Qt::WA_TranslucentBackground);
        m_translucent = translucent;
        setFixedSize(120, 40);
        row = new QWidget(this);
        row->setGeometry(20, 10, 60, 20);
        swatch = new Swatch(row);
        swatch->move(10, 5);
    }
    QWidget* row;
    Swatch* swatch;
    QColor ground = Qt::black;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        if (!m_translucent)
            p.fillRect(rect(), ground);
        else
            p.fillPath(
                [this] {
                    QPainterPath path;
                    path.addRoundedRect(QRectF(rect()).adjusted(4, 0, -4, -4), 9, 9);
                    return path;
                }(),
                Qt::black);
    }

private:
    bool m_translucent = false;
};

// A half-clear veil that lies over part of the swatch, as a sibling drawn after it.
class Veil : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(255, 255, 255, 110)); }
};

// What the X server shows in `rect` (global coordinates).
QImage onScreen(const QRect& rect) {
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// The widget's rectangle on screen with a margin, so that pixels put one off show too.
QRect around(QWidget* w, int margin = 3) {
    return QRect(w->mapToGlobal(QPoint()), w->size()).adjusted(-margin, -margin, margin, margin);
}

// Shows what the usual repaint of the whole window draws in `rect`, once it is on screen.
QImage afterUsualRepaint(QWidget* window, const QRect& rect) {
    window->repaint();
    QImage last, now = onScreen(rect);
    // The server has the pixels once two reads agree after the flush.
    for (int i = 0; i < 50 && now != last; ++i) {
        QTest::qWait(20); // a poll, not a wait for time: ends once two reads agree
        last = now;
        now = onScreen(rect);
    }
    return now;
}

bool showAndWait(QWidget* w) {
    w->move(200, 200);
    w->show();
    return QTest::qWaitForWindowExposed(w);
}

xcb_connection_t* connection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// Asks the server to expose the whole window again, as uncovering it does.
void expose(QWidget* w) {
    xcb_clear_area(connection(), 1, xcb_window_t(w->winId()), 0, 0, 0, 0);
    xcb_flush(connection());
}

} // namespace

class tst_DirectRepaint : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY2(connection(), "needs the xcb platform");
        Animations::setEnabled(false);
    }

    void putPixelsMatchTheUsualRepaint_data();
    void putPixelsMatchTheUsualRepaint();
    void whatLiesBeneathChanges_data();
    void whatLiesBeneathChanges();
    void exposureCatchesUp_data();
    void exposureCatchesUp();
    void fallsBackToTheUsualRepaint_data();
    void fallsBackToTheUsualRepaint();
    void refusesWhatItCannotPut_data();
    void refusesWhatItCannotPut();
    void islandShowsTheNewSecondAndThePulse();
};

void tst_DirectRepaint::putPixelsMatchTheUsualRepaint_data() {
    QTest::addColumn<bool>("translucent");
    QTest::addColumn<QPoint>("at"); // where the swatch sits in its row
    QTest::addColumn<bool>("veiled");
    QTest::newRow("opaque window") << false << QPoint(10, 5) << false;
    QTest::newRow("translucent window") << true << QPoint(10, 5) << false;
    // Half outside its row: only the part the row shows may reach the screen.
    QTest::newRow("clipped by its parent") << false << QPoint(53, -4) << false;
    QTest::newRow("clipped, translucent") << true << QPoint(-6, 14) << false;
    // A sibling drawn over part of it must stay over it.
    QTest::newRow("a sibling over it") << false << QPoint(10, 5) << true;
    QTest::newRow("a sibling over it, translucent") << true << QPoint(10, 5) << true;
}

void tst_DirectRepaint::putPixelsMatchTheUsualRepaint() {
    QFETCH(bool, translucent);
    QFETCH(QPoint, at);
    QFETCH(bool, veiled);
    X11WindowPixels pixels;
    Window window(translucent);
    window.swatch->move(at);
    if (veiled)
        (new Veil(window.row))->setGeometry(at.x() + 5, at.y() - 2, 20, 8);
    window.swatch->repaint.setPixels(&pixels);
    QVERIFY(showAndWait(&window));
    const QRect area = around(window.swatch);
    const QImage red = afterUsualRepaint(&window, area);

    window.swatch->color = QColor(40, 200, 90);
    QVERIFY(window.swatch->repaint.repaint());
    QVERIFY(window.swatch->repaint.behind());
    QImage put;
    QTRY_VERIFY((put = onScreen(area)) != red);
    const QImage expected = afterUsualRepaint(&window, area);
    QCOMPARE(put, expected);
    QVERIFY(!window.swatch->repaint.behind());

    // Frames after the first draw the swatch over what was beneath it the first time.
    for (const QColor& c : {QColor(Qt::blue), QColor(250, 120, 0)}) {
        window.swatch->color = c;
        QVERIFY(window.swatch->repaint.repaint());
        QTRY_VERIFY((put = onScreen(area)) != expected);
        QCOMPARE(put, afterUsualRepaint(&window, area));
    }
}

void tst_DirectRepaint::whatLiesBeneathChanges_data() {
    QTest::addColumn<bool>("translucent");
    QTest::addColumn<int>("look");
    QTest::newRow("opaque window") << false << -1;
    QTest::newRow("translucent window") << true << -1;
    QTest::newRow("a named look") << false << 7;
    QTest::newRow("a named look, translucent") << true << 7;
}

void tst_DirectRepaint::whatLiesBeneathChanges() {
    QFETCH(bool, translucent);
    X11WindowPixels pixels;
    Window window(translucent);
    window.swatch->repaint.setPixels(&pixels);
    QVERIFY(showAndWait(&window));
    const QRect area = around(window.swatch);
    afterUsualRepaint(&window, area);
    QFETCH(int, look);
    window.swatch->color = Qt::green;
    QVERIFY(window.swatch->repaint.repaint(look)); // beneath it: black

    // The window's ground turns grey through a usual repaint; the next frame must keep the grey, and a
    // look drawn over black must not come back.
    window.ground = QColor(90, 90, 90);
    window.swatch->color = Qt::magenta;
    const QImage grey = afterUsualRepaint(&window, area);
    window.swatch->color = Qt::green;
    QVERIFY(window.swatch->repaint.repaint(look));
    QImage put;
    QTRY_VERIFY((put = onScreen(area)) != grey);
    QCOMPARE(put, afterUsualRepaint(&window, area));
}

void tst_DirectRepaint::exposureCatchesUp_data() {
    QTest::addColumn<bool>("translucent");
    QTest::newRow("opaque window") << false;
    QTest::newRow("translucent window") << true;
}

void tst_DirectRepaint::exposureCatchesUp() {
    QFETCH(bool, translucent);
    X11WindowPixels pixels;
    Window window(translucent);
    window.swatch->repaint.setPixels(&pixels);
    QVERIFY(showAndWait(&window));
    const QRect area = around(window.swatch);
    afterUsualRepaint(&window, area);
    window.swatch->color = Qt::yellow;
    const QImage yellow = afterUsualRepaint(&window, area);
    window.swatch->color = Qt::red;
    const QImage red = afterUsualRepaint(&window, area);

    // Put straight: the window's own copy still holds the red frame.
    window.swatch->color = Qt::yellow;
    QVERIFY(window.swatch->repaint.repaint());
    QTRY_COMPARE(onScreen(area), yellow);
    // An exposure shows the window's copy again; it must not leave the red frame on screen.
    expose(&window);
    QTRY_VERIFY(!window.swatch->repaint.behind());
    QTRY_COMPARE(onScreen(area), yellow);
    QVERIFY(yellow != red);
}

void tst_DirectRepaint::fallsBackToTheUsualRepaint_data() {
    QTest::addColumn<QString>("why");
    QTest::newRow("no pixels seam") << "none";
    QTest::newRow("a fade on its parent") << "effect";
    QTest::newRow("hidden") << "hidden";
}

void tst_DirectRepaint::fallsBackToTheUsualRepaint() {
    QFETCH(QString, why);
    X11WindowPixels pixels;
    Window window(false);
    if (why != "none")
        window.swatch->repaint.setPixels(&pixels);
    QVERIFY(showAndWait(&window));
    const QRect area = around(window.swatch);
    const QImage red = afterUsualRepaint(&window, area);
    if (why == "effect") {
        auto* fade = new QGraphicsOpacityEffect(window.row);
        fade->setOpacity(0.5);
        window.row->setGraphicsEffect(fade);
    } else if (why == "hidden") {
        window.swatch->hide();
    }
    const QImage before = afterUsualRepaint(&window, area);

    window.swatch->color = Qt::cyan;
    QVERIFY(!window.swatch->repaint.repaint());
    QVERIFY(!window.swatch->repaint.behind());
    if (why == "hidden") {
        // Nothing of it may reach the screen.
        QCOMPARE(afterUsualRepaint(&window, area), before);
        return;
    }
    // The usual repaint shows the new colour (faded where the fade is).
    QTRY_VERIFY(onScreen(area) != before);
    QCOMPARE(onScreen(area), afterUsualRepaint(&window, area));
    QVERIFY(before == red || why == "effect");
}

void tst_DirectRepaint::refusesWhatItCannotPut_data() {
    QTest::addColumn<QString>("what");
    QTest::newRow("larger than one small request") << "large";
    QTest::newRow("not premultiplied ARGB32") << "format";
    QTest::newRow("an empty image") << "empty";
    QTest::newRow("a window never shown") << "unshown";
    QTest::newRow("no window") << "nowindow";
}

void tst_DirectRepaint::refusesWhatItCannotPut() {
    QFETCH(QString, what);
    X11WindowPixels pixels;
    Window window(false);
    if (what != "unshown")
        QVERIFY(showAndWait(&window));
    else
        window.winId(); // the window exists on the server, unmapped
    QImage image(8, 8, QImage::Format_ARGB32_Premultiplied);
    if (what == "large")
        image = QImage(80, 80, QImage::Format_ARGB32_Premultiplied); // 25 600 bytes
    else if (what == "format")
        image = QImage(8, 8, QImage::Format_RGB888);
    else if (what == "empty")
        image = QImage();
    image.fill(Qt::white);
    QVERIFY(image.isNull() || image.sizeInBytes() > X11WindowPixels::kMaxBytes ||
            image.format() != QImage::Format_ARGB32_Premultiplied || what == "unshown" || what == "nowindow");
    QWindow* target = what == "nowindow" ? nullptr : window.windowHandle();
    QVERIFY(!pixels.put(target, QPoint(0, 0), image));
    // The same window takes a small image once it is shown.
    if (what != "unshown" && what != "nowindow") {
        QImage small(8, 8, QImage::Format_ARGB32_Premultiplied);
        small.fill(Qt::white);
        QVERIFY(pixels.put(window.windowHandle(), QPoint(0, 0), small));
        QTRY_COMPARE(onScreen(QRect(window.mapToGlobal(QPoint()), QSize(8, 8))).pixel(4, 4),
                     qRgb(255, 255, 255));
    }
}

void tst_DirectRepaint::islandShowsTheNewSecondAndThePulse() {
    X11WindowPixels pixels;
    NotchView island;
    island.setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    island.resize(688, 344);
    island.setWindowPixels(&pixels);
    IslandInputs in;
    in.simulateNotch = true;
    in.indicatorsActive = true;
    MediaTrack track;
    track.app = "Spotify";
    track.title = "Song";
    track.artist = "Artist";
    track.isPlaying = true;
    in.track = track;
    in.elapsedSeconds = 61;
    in.anyWaiting = true;
    island.setInputs(in);
    island.move(0, 0);
    island.show();
    QVERIFY(QTest::qWaitForWindowExposed(&island));
    auto* indicators = island.findChild<IslandIndicatorsView*>();
    QVERIFY(indicators);
    QWidget* elapsed = indicators->findChild<QWidget*>("elapsed");
    auto* dot = indicators->findChild<PulsingDot*>("waitingDot");
    QVERIFY(elapsed && dot);
    const QRect secondArea = around(elapsed, 2);
    const QImage before = afterUsualRepaint(&island, secondArea);

    // The next second: on screen at once, as a repaint of the whole island draws it.
    in.elapsedSeconds = 62;
    const QSize width = elapsed->size();
    island.setInputs(in);
    auto* secondRepaint = elapsed->findChild<DirectRepaint*>();
    QVERIFY(secondRepaint);
    if (elapsed->size() == width)
        QVERIFY(secondRepaint->behind()); // it went straight
    QImage shown;
    QTRY_VERIFY((shown = onScreen(secondArea)) != before);
    QCOMPARE(shown, afterUsualRepaint(&island, secondArea));

    // A pulse frame goes straight too, and shows what the dot paints.
    QVERIFY(dot->frames().repaint());
    const QRect dotArea = around(dot, 2);
    const QImage frame = onScreen(dotArea);
    QCOMPARE(frame, afterUsualRepaint(&island, dotArea));
}

QTEST_MAIN(tst_DirectRepaint)
#include "tst_DirectRepaint.moc"
