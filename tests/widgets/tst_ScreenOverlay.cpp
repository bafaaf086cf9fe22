// The frozen-screen overlay on a picture the test paints: a drag gives the area in device pixels (also at
// a scale of two), Escape, a right click, a click without a drag and the time limit cancel; the colour
// mode gives the pixel under a click.
#include "platform/qt/ScreenOverlay.h"

#include <QPointer>
#include <QtTest>

namespace {

// Each pixel encodes its own place: red = x, green = y.
QImage coded(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x % 256, y % 256, 77));
    return img;
}

struct Outcome {
    bool called = false;
    int calls = 0;
    std::optional<QImage> image;
    std::optional<QColor> color;
};

ScreenOverlay* areaOverlay(Outcome& out, QImage shot, QSize logical, int timeoutMs = 120000) {
    auto* o = new ScreenOverlay(ScreenOverlay::Mode::area, std::move(shot), QRect(QPoint(0, 0), logical),
                                timeoutMs);
    o->areaDone = [&out](std::optional<QImage> image) {
        out.called = true;
        ++out.calls;
        out.image = std::move(image);
    };
    o->open();
    return o;
}

} // namespace

class tst_ScreenOverlay : public QObject {
    Q_OBJECT
private slots:
    void dragGivesDevicePixels_data();
    void dragGivesDevicePixels();
    void cancels_data();
    void cancels();
    void timeLimitCancels();
    void closedFromOutside();
    void colorUnderClick();
    void colorCancelled();
};

void tst_ScreenOverlay::dragGivesDevicePixels_data() {
    QTest::addColumn<int>("scale");
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<QPoint>("to");
    QTest::addColumn<QRect>("device");
    QTest::newRow("1×, down-right") << 1 << QPoint(10, 20) << QPoint(50, 40) << QRect(10, 20, 40, 20);
    QTest::newRow("1×, dragged up-left") << 1 << QPoint(50, 40) << QPoint(10, 20) << QRect(10, 20, 40, 20);
    QTest::newRow("2×") << 2 << QPoint(10, 20) << QPoint(50, 40) << QRect(20, 40, 80, 40);
    QTest::newRow("past the edge is clipped")
        << 1 << QPoint(150, 80) << QPoint(400, 300) << QRect(150, 80, 50, 20);
}

void tst_ScreenOverlay::dragGivesDevicePixels() {
    QFETCH(int, scale);
    QFETCH(QPoint, from);
    QFETCH(QPoint, to);
    QFETCH(QRect, device);
    Outcome out;
    QPointer<ScreenOverlay> o = areaOverlay(out, coded(200 * scale, 100 * scale), QSize(200, 100));
    QTest::mousePress(o.data(), Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(o.data(), (from + to) / 2);
    QTest::mouseRelease(o.data(), Qt::LeftButton, Qt::NoModifier, to);
    QVERIFY(out.called);
    QVERIFY(out.image);
    QCOMPARE(out.image->size(), device.size());
    QCOMPARE(qRed(out.image->pixel(0, 0)), device.x() % 256);
    QCOMPARE(qGreen(out.image->pixel(0, 0)), device.y() % 256);
    QTRY_VERIFY(!o); // gone once it has answered
}

void tst_ScreenOverlay::cancels_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Escape") << "escape";
    QTest::newRow("right click") << "right";
    QTest::newRow("click without a drag") << "click";
    QTest::newRow("Escape during a drag") << "drag-escape";
}

void tst_ScreenOverlay::cancels() {
    QFETCH(QString, how);
    Outcome out;
    QPointer<ScreenOverlay> o = areaOverlay(out, coded(200, 100), QSize(200, 100));
    if (how == "escape") {
        QTest::keyClick(o.data(), Qt::Key_Escape);
    } else if (how == "right") {
        QTest::mouseClick(o.data(), Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    } else if (how == "click") {
        QTest::mouseClick(o.data(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    } else {
        QTest::mousePress(o.data(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QTest::mouseMove(o.data(), QPoint(60, 60));
        QTest::keyClick(o.data(), Qt::Key_Escape);
        if (o)
            QTest::mouseRelease(o.data(), Qt::LeftButton, Qt::NoModifier, QPoint(60, 60));
    }
    QVERIFY(out.called);
    QCOMPARE(out.calls, 1);
    QVERIFY(!out.image);
    QTRY_VERIFY(!o);
}

void tst_ScreenOverlay::timeLimitCancels() {
    Outcome out;
    QPointer<ScreenOverlay> o = areaOverlay(out, coded(200, 100), QSize(200, 100), 50);
    QTRY_VERIFY_WITH_TIMEOUT(out.called, 10000);
    QVERIFY(!out.image);
    QTRY_VERIFY(!o);
}

void tst_ScreenOverlay::closedFromOutside() {
    Outcome out;
    ScreenOverlay* o = areaOverlay(out, coded(20, 10), QSize(20, 10));
    delete o;
    QVERIFY(out.called);
    QVERIFY(!out.image);
}

void tst_ScreenOverlay::colorUnderClick() {
    std::optional<QColor> picked;
    int calls = 0;
    auto* o = new ScreenOverlay(ScreenOverlay::Mode::color, coded(400, 200), QRect(0, 0, 200, 100));
    o->colorDone = [&](std::optional<QColor> c) {
        ++calls;
        picked = c;
    };
    o->open();
    QPointer<ScreenOverlay> guard(o);
    QTest::mouseMove(o, QPoint(30, 40)); // draws the loupe
    QTest::mouseClick(o, Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
    QCOMPARE(calls, 1);
    QCOMPARE(picked, std::optional<QColor>(QColor(60, 80, 77)));
    QTRY_VERIFY(!guard);
}

void tst_ScreenOverlay::colorCancelled() {
    std::optional<QColor> picked = QColor(Qt::red);
    int calls = 0;
    auto* o = new ScreenOverlay(ScreenOverlay::Mode::color, coded(40, 20), QRect(0, 0, 40, 20));
    o->colorDone = [&](std::optional<QColor> c) {
        ++calls;
        picked = c;
    };
    o->open();
    QTest::keyClick(o, Qt::Key_Escape);
    QCOMPARE(calls, 1);
    QVERIFY(!picked);
}

QTEST_MAIN(tst_ScreenOverlay)
#include "tst_ScreenOverlay.moc"
