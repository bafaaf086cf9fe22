// Where the camera mirror opens and how its edges resize it: each edge and corner, the limits in both
// directions, the kept aspect ratio, screens away from the origin, and the inclusive edge bounds.
#include "services/CameraGeometry.h"

#include <QtTest>

#include <limits>

using CameraGeometry::Edge;

Q_DECLARE_METATYPE(Edge)
Q_DECLARE_METATYPE(CameraShape)

namespace {

constexpr qreal kWide = 16.0 / 9.0;

bool near(const QRectF& a, const QRectF& b) {
    return qAbs(a.x() - b.x()) < 1e-6 && qAbs(a.y() - b.y()) < 1e-6 && qAbs(a.width() - b.width()) < 1e-6 &&
           qAbs(a.height() - b.height()) < 1e-6;
}

} // namespace

class tst_CameraGeometry : public QObject {
    Q_OBJECT
private slots:
    void initialFrame_data();
    void initialFrame();
    void fittedToAspectKeepsLeftWidthAndTop_data();
    void fittedToAspectKeepsLeftWidthAndTop();
    void edgeAt_data();
    void edgeAt();
    void cursorFor_data();
    void cursorFor();
    void resized_data();
    void resized();
    void cornersStayWithinLimitsAndKeepRatio_data();
    void cornersStayWithinLimitsAndKeepRatio();
    void guardedRatio_data();
    void guardedRatio();
    void cornerRadius();
    void clampedIndex_data();
    void clampedIndex();
};

void tst_CameraGeometry::initialFrame_data() {
    QTest::addColumn<QRectF>("screen");
    QTest::addColumn<qreal>("safeTop");
    QTest::addColumn<CameraShape>("shape");
    QTest::addColumn<QRectF>("frame");
    QTest::newRow("no notch: 44 below the top, centred")
        << QRectF(0, 0, 1920, 1080) << qreal(0) << CameraShape::widescreen << QRectF(790, 44, 340, 191.25);
    QTest::newRow("a notch of 38 on a screen to the right")
        << QRectF(1920, 0, 2560, 1440) << qreal(38) << CameraShape::square << QRectF(3030, 50, 340, 340);
    QTest::newRow("a screen above and left of the origin")
        << QRectF(-1280, -200, 1280, 1024) << qreal(0) << CameraShape::circle << QRectF(-810, -156, 340, 340);
    QTest::newRow("a negative inset counts as none")
        << QRectF(0, 0, 1000, 800) << qreal(-5) << CameraShape::widescreen << QRectF(330, 44, 340, 191.25);
    QTest::newRow("a screen narrower than the window still centres it")
        << QRectF(0, 0, 300, 200) << qreal(0) << CameraShape::square << QRectF(-20, 44, 340, 340);
}

void tst_CameraGeometry::initialFrame() {
    QFETCH(QRectF, screen);
    QFETCH(qreal, safeTop);
    QFETCH(CameraShape, shape);
    QFETCH(QRectF, frame);
    QCOMPARE(CameraGeometry::initialFrame(screen, safeTop, shape), frame);
}

void tst_CameraGeometry::fittedToAspectKeepsLeftWidthAndTop_data() {
    QTest::addColumn<QRectF>("frame");
    QTest::addColumn<CameraShape>("shape");
    QTest::addColumn<QRectF>("fitted");
    QTest::newRow("wide to square") << QRectF(100, 50, 400, 225) << CameraShape::square
                                    << QRectF(100, 50, 400, 400);
    QTest::newRow("square to wide") << QRectF(10, 20, 300, 300) << CameraShape::widescreen
                                    << QRectF(10, 20, 300, 168.75);
    QTest::newRow("circle keeps a square")
        << QRectF(-5, -5, 200, 112.5) << CameraShape::circle << QRectF(-5, -5, 200, 200);
}

void tst_CameraGeometry::fittedToAspectKeepsLeftWidthAndTop() {
    QFETCH(QRectF, frame);
    QFETCH(CameraShape, shape);
    QFETCH(QRectF, fitted);
    QCOMPARE(CameraGeometry::fittedToAspect(frame, shape), fitted);
}

void tst_CameraGeometry::edgeAt_data() {
    QTest::addColumn<QSizeF>("size");
    QTest::addColumn<QPointF>("pos");
    QTest::addColumn<Edge>("edge");
    const QSizeF s(340, 200);
    QTest::newRow("middle") << s << QPointF(170, 100) << Edge::none;
    QTest::newRow("left bound included") << s << QPointF(14, 100) << Edge::left;
    QTest::newRow("just inside the left bound") << s << QPointF(14.01, 100) << Edge::none;
    QTest::newRow("right bound included") << s << QPointF(326, 100) << Edge::right;
    QTest::newRow("just inside the right bound") << s << QPointF(325.99, 100) << Edge::none;
    QTest::newRow("top bound included") << s << QPointF(170, 14) << Edge::top;
    QTest::newRow("just below the top bound") << s << QPointF(170, 14.01) << Edge::none;
    QTest::newRow("bottom bound included") << s << QPointF(170, 186) << Edge::bottom;
    QTest::newRow("just above the bottom bound") << s << QPointF(170, 185.99) << Edge::none;
    QTest::newRow("top left") << s << QPointF(0, 0) << Edge::topLeft;
    QTest::newRow("top left at both bounds") << s << QPointF(14, 14) << Edge::topLeft;
    QTest::newRow("top right") << s << QPointF(340, 0) << Edge::topRight;
    QTest::newRow("bottom left") << s << QPointF(0, 200) << Edge::bottomLeft;
    QTest::newRow("bottom left at both bounds") << s << QPointF(14, 186) << Edge::bottomLeft;
    QTest::newRow("bottom right") << s << QPointF(340, 200) << Edge::bottomRight;
    QTest::newRow("outside to the left still the left") << s << QPointF(-3, 100) << Edge::left;
    // Windows smaller than two insets: the order of precedence decides.
    QTest::newRow("narrow: left wins over right") << QSizeF(20, 200) << QPointF(10, 100) << Edge::left;
    QTest::newRow("tiny: top left wins over all") << QSizeF(20, 20) << QPointF(10, 10) << Edge::topLeft;
    QTest::newRow("flat: bottom wins over top") << QSizeF(100, 20) << QPointF(50, 10) << Edge::bottom;
}

void tst_CameraGeometry::edgeAt() {
    QFETCH(QSizeF, size);
    QFETCH(QPointF, pos);
    QFETCH(Edge, edge);
    QCOMPARE(CameraGeometry::edgeAt(pos, size), edge);
}

void tst_CameraGeometry::cursorFor_data() {
    QTest::addColumn<Edge>("edge");
    QTest::addColumn<int>("cursor");
    QTest::newRow("left") << Edge::left << int(Qt::SizeHorCursor);
    QTest::newRow("right") << Edge::right << int(Qt::SizeHorCursor);
    QTest::newRow("top") << Edge::top << int(Qt::SizeVerCursor);
    QTest::newRow("bottom") << Edge::bottom << int(Qt::SizeVerCursor);
    QTest::newRow("top left") << Edge::topLeft << int(Qt::SizeFDiagCursor);
    QTest::newRow("bottom right") << Edge::bottomRight << int(Qt::SizeFDiagCursor);
    QTest::newRow("top right") << Edge::topRight << int(Qt::SizeBDiagCursor);
    QTest::newRow("bottom left") << Edge::bottomLeft << int(Qt::SizeBDiagCursor);
    QTest::newRow("middle") << Edge::none << int(Qt::ArrowCursor);
}

void tst_CameraGeometry::cursorFor() {
    QFETCH(Edge, edge);
    QFETCH(int, cursor);
    QCOMPARE(int(CameraGeometry::cursorFor(edge)), cursor);
}

void tst_CameraGeometry::resized_data() {
    QTest::addColumn<QRectF>("start");
    QTest::addColumn<Edge>("edge");
    QTest::addColumn<QPointF>("delta");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QRectF>("result");
    const QRectF f(100, 50, 320, 180);
    // Growing by 80 in width (45 in height); the fixed point differs per edge.
    QTest::newRow("right: bottom left stays")
        << f << Edge::right << QPointF(80, 0) << kWide << QRectF(100, 5, 400, 225);
    QTest::newRow("left: bottom right stays")
        << f << Edge::left << QPointF(-80, 0) << kWide << QRectF(20, 5, 400, 225);
    QTest::newRow("top: bottom left stays")
        << f << Edge::top << QPointF(0, -45) << kWide << QRectF(100, 5, 400, 225);
    QTest::newRow("bottom: top left stays")
        << f << Edge::bottom << QPointF(0, 45) << kWide << QRectF(100, 50, 400, 225);
    QTest::newRow("bottom right: top left stays")
        << f << Edge::bottomRight << QPointF(80, 999) << kWide << QRectF(100, 50, 400, 225);
    QTest::newRow("top left: bottom right stays")
        << f << Edge::topLeft << QPointF(-80, -999) << kWide << QRectF(20, 5, 400, 225);
    QTest::newRow("top right: bottom left stays")
        << f << Edge::topRight << QPointF(80, 0) << kWide << QRectF(100, 5, 400, 225);
    QTest::newRow("bottom left: top right stays")
        << f << Edge::bottomLeft << QPointF(-80, 0) << kWide << QRectF(20, 50, 400, 225);
    QTest::newRow("right, shrinking")
        << f << Edge::right << QPointF(-80, 0) << kWide << QRectF(100, 95, 240, 135);
    QTest::newRow("bottom, shrinking")
        << f << Edge::bottom << QPointF(0, -45) << kWide << QRectF(100, 50, 240, 135);
    QTest::newRow("middle does not resize") << f << Edge::none << QPointF(80, 80) << kWide << f;

    // Sides clamp only the dragged dimension; the other follows the ratio unclamped.
    QTest::newRow("right to 1400 at 1:1 gives 1400 × 1400")
        << QRectF(0, 0, 340, 340) << Edge::right << QPointF(1060, 0) << qreal(1)
        << QRectF(0, -1060, 1400, 1400);
    QTest::newRow("right beyond the maximum stops at 1400")
        << QRectF(0, 0, 340, 340) << Edge::right << QPointF(5000, 0) << qreal(1)
        << QRectF(0, -1060, 1400, 1400);
    QTest::newRow("top to the maximum height") << QRectF(0, 0, 320, 180) << Edge::top << QPointF(0, -2000)
                                               << kWide << QRectF(0, -820, 1000 * kWide, 1000);
    QTest::newRow("right below the minimum width, height under 90")
        << QRectF(0, 0, 320, 180) << Edge::right << QPointF(-300, 0) << kWide
        << QRectF(0, 101.25, 140, 78.75);
    // At the limit a left or bottom drag keeps moving the window with the pointer.
    QTest::newRow("left at the minimum moves with the pointer")
        << QRectF(100, 0, 320, 180) << Edge::left << QPointF(250, 0) << kWide
        << QRectF(350, 101.25, 140, 78.75);
    QTest::newRow("left dragged past the right edge")
        << QRectF(100, 0, 320, 180) << Edge::left << QPointF(400, 0) << kWide
        << QRectF(340, 101.25, 140, 78.75);
    QTest::newRow("bottom at the minimum moves with the pointer")
        << QRectF(0, 0, 320, 180) << Edge::bottom << QPointF(0, -150) << kWide << QRectF(0, -60, 160, 90);
}

void tst_CameraGeometry::resized() {
    QFETCH(QRectF, start);
    QFETCH(Edge, edge);
    QFETCH(QPointF, delta);
    QFETCH(qreal, ratio);
    QFETCH(QRectF, result);
    const QRectF got = CameraGeometry::resized(start, edge, delta, ratio);
    QVERIFY2(
        near(got, result),
        qPrintable(
            QStringLiteral("got %1,%2 %3×%4").arg(got.x()).arg(got.y()).arg(got.width()).arg(got.height())));
}

void tst_CameraGeometry::cornersStayWithinLimitsAndKeepRatio_data() {
    QTest::addColumn<Edge>("edge");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<qreal>("dx");
    QTest::addColumn<QSizeF>("size");
    const Edge corners[] = {Edge::topLeft, Edge::topRight, Edge::bottomLeft, Edge::bottomRight};
    const char* names[] = {"top left", "top right", "bottom left", "bottom right"};
    for (int i = 0; i < 4; ++i) {
        const qreal grow = i % 2 == 0 ? -1 : 1; // left corners grow leftward
        QTest::addRow("%s, 1:1, huge", names[i])
            << corners[i] << qreal(1) << grow * 5000 << QSizeF(1000, 1000);
        QTest::addRow("%s, 1:1, tiny", names[i])
            << corners[i] << qreal(1) << -grow * 5000 << QSizeF(140, 140);
        QTest::addRow("%s, 16:9, huge", names[i])
            << corners[i] << kWide << grow * 5000 << QSizeF(1400, 787.5);
        QTest::addRow("%s, 16:9, tiny", names[i]) << corners[i] << kWide << -grow * 5000 << QSizeF(160, 90);
    }
}

void tst_CameraGeometry::cornersStayWithinLimitsAndKeepRatio() {
    QFETCH(Edge, edge);
    QFETCH(qreal, ratio);
    QFETCH(qreal, dx);
    QFETCH(QSizeF, size);
    const QRectF start(500, 400, 340, 340 / ratio);
    const QRectF got = CameraGeometry::resized(start, edge, QPointF(dx, 77), ratio);
    QVERIFY(qAbs(got.width() - size.width()) < 1e-6);
    QVERIFY(qAbs(got.height() - size.height()) < 1e-6);
    QVERIFY(qAbs(got.width() / got.height() - ratio) < 1e-9);
    // The opposite corner is where it was.
    const bool left = edge == Edge::topLeft || edge == Edge::bottomLeft;
    const bool top = edge == Edge::topLeft || edge == Edge::topRight;
    QCOMPARE(left ? got.right() : got.left(), left ? start.right() : start.left());
    QVERIFY(qAbs((top ? got.bottom() : got.top()) - (top ? start.bottom() : start.top())) < 1e-9);
}

void tst_CameraGeometry::guardedRatio_data() {
    QTest::addColumn<QSizeF>("aspect");
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("16:9") << QSizeF(16, 9) << kWide;
    QTest::newRow("zero height counts as 0.001") << QSizeF(1, 0) << qreal(1000);
    QTest::newRow("zero width") << QSizeF(0, 1) << qreal(0.001);
    QTest::newRow("negative") << QSizeF(-4, 3) << qreal(0.001);
    QTest::newRow("cleared aspect 0 × 0") << QSizeF(0, 0) << qreal(0.001);
}

void tst_CameraGeometry::guardedRatio() {
    QFETCH(QSizeF, aspect);
    QFETCH(qreal, ratio);
    QVERIFY(qAbs(CameraGeometry::guardedRatio(aspect) - ratio) < 1e-9);
}

void tst_CameraGeometry::cornerRadius() {
    QCOMPARE(CameraGeometry::cornerRadius(CameraShape::circle, QSizeF(340, 191.25)), 95.625);
    QCOMPARE(CameraGeometry::cornerRadius(CameraShape::circle, QSizeF(200, 500)), 100.0);
    QCOMPARE(CameraGeometry::cornerRadius(CameraShape::square, QSizeF(340, 340)), 16.0);
    QCOMPARE(CameraGeometry::cornerRadius(CameraShape::widescreen, QSizeF(1400, 787.5)), 16.0);
    // A ratio the guard raised still gives a finite frame.
    const QRectF r = CameraGeometry::resized(QRectF(0, 0, 320, 180), Edge::right, QPointF(0, 0), 0);
    QVERIFY(qIsFinite(r.height()));
    QCOMPARE(r.width(), 320.0);
}

void tst_CameraGeometry::clampedIndex_data() {
    QTest::addColumn<qint64>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("clamped");
    QTest::newRow("first") << qint64(0) << 6 << 0;
    QTest::newRow("last") << qint64(5) << 6 << 5;
    QTest::newRow("negative gives the first") << qint64(-1) << 6 << 0;
    QTest::newRow("beyond gives the last") << qint64(99) << 6 << 5;
    QTest::newRow("far beyond int") << std::numeric_limits<qint64>::max() << 6 << 5;
    QTest::newRow("far below int") << std::numeric_limits<qint64>::min() << 6 << 0;
    QTest::newRow("empty list") << qint64(3) << 0 << 0;
}

void tst_CameraGeometry::clampedIndex() {
    QFETCH(qint64, index);
    QFETCH(int, count);
    QFETCH(int, clamped);
    QCOMPARE(CameraGeometry::clampedIndex(index, count), clamped);
}

QTEST_GUILESS_MAIN(tst_CameraGeometry)
#include "tst_CameraGeometry.moc"
