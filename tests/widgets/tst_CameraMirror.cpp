// The camera mirror's window fed by a fake camera: its shapes cut without a compositor, the mirrored
// picture read back from a grab, the border, the frame kept through shape changes and drags, and the
// window following the mirror on and off (a failure in mid-stream included).
#include "app/CameraMirrorController.h"
#include "fakes/FakeCameraSource.h"
#include "services/CameraService.h"
#include "services/Defaults.h"
#include "views/CameraContainerView.h"

#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(CameraShape)

namespace {

// Colours of a grab are compared loosely: smoothing blends a pixel or two at the pattern's seams.
bool looksLike(QColor got, QColor want) {
    return qAbs(got.red() - want.red()) < 40 && qAbs(got.green() - want.green()) < 40 &&
           qAbs(got.blue() - want.blue()) < 40;
}

void send(QWidget& w, QEvent::Type type, QPointF local, QPointF global, Qt::MouseButtons buttons) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, local, global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

} // namespace

class tst_CameraMirror : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void shapesAreCutWithoutCompositor_data();
    void shapesAreCutWithoutCompositor();
    void compositedWindowIsNotCut();
    void mirroringFlipsThePicture();
    void borderIsDrawnInside();
    void shapeChangeKeepsLeftWidthAndTop();
    void circleFollowsEveryResize();
    void dragAtAnEdgeResizesKeepingRatio_data();
    void dragAtAnEdgeResizesKeepingRatio();
    void dragInTheMiddleMoves();
    void cursorFollowsTheEdge();
    void windowFollowsTheMirror();
    void failureInMidStreamClosesWindow();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<FakeCameraSource> m_camera;
    std::unique_ptr<CameraService> m_service;
};

void tst_CameraMirror::init() {
    QFile::remove(m_dir.filePath("defaults.json"));
    m_defaults = std::make_unique<Defaults>(m_dir.filePath("defaults.json"));
    m_camera = std::make_unique<FakeCameraSource>();
    m_service = std::make_unique<CameraService>(*m_camera, *m_defaults);
}

void tst_CameraMirror::cleanup() {
    m_service.reset();
    m_camera.reset();
    m_defaults.reset();
}

void tst_CameraMirror::shapesAreCutWithoutCompositor_data() {
    QTest::addColumn<CameraShape>("shape");
    QTest::addColumn<QSize>("size");
    QTest::newRow("widescreen") << CameraShape::widescreen << QSize(340, 191);
    QTest::newRow("square") << CameraShape::square << QSize(340, 340);
    QTest::newRow("circle") << CameraShape::circle << QSize(340, 340);
}

void tst_CameraMirror::shapesAreCutWithoutCompositor() {
    QFETCH(CameraShape, shape);
    QFETCH(QSize, size);
    m_service->setShape(shape);
    CameraContainerView view(*m_service, false);
    view.setFrame(QRectF(QPointF(10, 10), QSizeF(size)));
    const QRegion mask = view.mask();
    QVERIFY(!mask.isEmpty());
    const int w = size.width(), h = size.height();
    QVERIFY(mask.contains(QPoint(w / 2, h / 2)));
    for (QPoint corner : {QPoint(1, 1), QPoint(w - 2, 1), QPoint(1, h - 2), QPoint(w - 2, h - 2)})
        QVERIFY2(!mask.contains(corner), qPrintable(QStringLiteral("%1,%2").arg(corner.x()).arg(corner.y())));
    // The rounded shapes keep their straight sides; the circle is round all along.
    const bool circle = shape == CameraShape::circle;
    QCOMPARE(mask.contains(QPoint(w / 2, 1)), true);
    QCOMPARE(mask.contains(QPoint(30, 3)), !circle);
    QCOMPARE(mask.boundingRect().size(), size);
}

void tst_CameraMirror::compositedWindowIsNotCut() {
    CameraContainerView view(*m_service, true);
    view.setFrame(QRectF(0, 0, 340, 191.25));
    QVERIFY(view.mask().isEmpty());
    QVERIFY(view.testAttribute(Qt::WA_TranslucentBackground));
}

void tst_CameraMirror::mirroringFlipsThePicture() {
    m_service->setShape(CameraShape::widescreen);
    m_service->start();
    CameraContainerView view(*m_service, false);
    view.setFrame(QRectF(0, 0, 320, 180));
    m_camera->pushFrame(QSize(1280, 720));

    m_service->setMirrored(false);
    QImage plain = view.grab().toImage();
    QVERIFY(looksLike(plain.pixelColor(80, 90), Qt::red));
    QVERIFY(looksLike(plain.pixelColor(240, 90), Qt::blue));
    QVERIFY(looksLike(plain.pixelColor(20, 20), Qt::green));

    m_service->setMirrored(true);
    QImage mirrored = view.grab().toImage();
    QVERIFY(looksLike(mirrored.pixelColor(80, 90), Qt::blue));
    QVERIFY(looksLike(mirrored.pixelColor(240, 90), Qt::red));
    QVERIFY(looksLike(mirrored.pixelColor(300, 20), Qt::green));
    QVERIFY(looksLike(mirrored.pixelColor(20, 20), Qt::blue));
}

void tst_CameraMirror::borderIsDrawnInside() {
    m_service->setMirrored(false);
    m_service->start();
    CameraContainerView view(*m_service, false);
    view.setFrame(QRectF(0, 0, 320, 180));
    m_camera->pushFrame(QSize(1280, 720));
    m_service->setBorderColorIndex(1);
    m_service->setBorderWidth(7);
    QVERIFY(looksLike(view.grab().toImage().pixelColor(100, 3), Qt::red)); // border off: the picture
    m_service->setBorderOn(true);
    const QImage bordered = view.grab().toImage();
    QVERIFY(looksLike(bordered.pixelColor(100, 3), QColor(48, 209, 88)));
    QVERIFY(looksLike(bordered.pixelColor(100, 12), Qt::red)); // inside the 7-point band
    // An index beyond the list draws the last colour.
    m_service->setBorderColorIndex(99);
    QVERIFY(looksLike(view.grab().toImage().pixelColor(100, 3), QColor(255, 69, 58)));
    // A width wider than the window fills it rather than spilling over.
    m_service->setBorderWidth(1e9);
    QVERIFY(looksLike(view.grab().toImage().pixelColor(160, 90), QColor(255, 69, 58)));
}

void tst_CameraMirror::shapeChangeKeepsLeftWidthAndTop() {
    CameraContainerView view(*m_service, false);
    view.setFrame(QRectF(100, 50, 340, 191.25));
    m_service->setShape(CameraShape::square);
    QCOMPARE(view.frame(), QRectF(100, 50, 340, 340));
    QCOMPARE(view.geometry(), QRect(100, 50, 340, 340));
    // A border change does not resize.
    m_service->setBorderOn(true);
    m_service->setBorderWidth(4);
    QCOMPARE(view.frame(), QRectF(100, 50, 340, 340));
    m_service->setShape(CameraShape::widescreen);
    QCOMPARE(view.frame(), QRectF(100, 50, 340, 191.25));
    QCOMPARE(view.geometry(), QRect(100, 50, 340, 191));
}

void tst_CameraMirror::circleFollowsEveryResize() {
    m_service->setShape(CameraShape::circle);
    CameraContainerView view(*m_service, false);
    for (int side : {340, 200, 900, 140}) {
        view.setFrame(QRectF(0, 0, side, side));
        const QRegion mask = view.mask();
        // Rasterising the circle may leave out one outermost row; never more, never outside.
        const QRect bounds = mask.boundingRect();
        QVERIFY(QRect(0, 0, side, side).contains(bounds));
        QVERIFY(bounds.width() >= side - 1 && bounds.height() >= side - 1);
        QVERIFY(!mask.contains(QPoint(side / 7, side / 7))); // outside the circle, inside the square
        QVERIFY(mask.contains(QPoint(side / 2, side / 2)));
    }
}

void tst_CameraMirror::dragAtAnEdgeResizesKeepingRatio_data() {
    QTest::addColumn<QPointF>("press");
    QTest::addColumn<QPointF>("move");
    QTest::addColumn<QRectF>("frame");
    // The window stands at (100, 100), 320 × 180.
    QTest::newRow("5 inside the right edge")
        << QPointF(315, 90) << QPointF(80, 0) << QRectF(100, 55, 400, 225);
    QTest::newRow("bottom edge") << QPointF(160, 178) << QPointF(0, 45) << QRectF(100, 100, 400, 225);
    QTest::newRow("bottom right corner")
        << QPointF(318, 178) << QPointF(80, 13) << QRectF(100, 100, 400, 225);
    QTest::newRow("top left corner, shrinking to the minimum")
        << QPointF(2, 2) << QPointF(300, 300) << QRectF(260, 190, 160, 90);
}

void tst_CameraMirror::dragAtAnEdgeResizesKeepingRatio() {
    QFETCH(QPointF, press);
    QFETCH(QPointF, move);
    QFETCH(QRectF, frame);
    CameraContainerView view(*m_service, false);
    view.setFrame(QRectF(100, 100, 320, 180));
    const QPointF global = press + QPointF(100, 100);
    send(view, QEvent::MouseButtonPress, press, global, Qt::LeftButton);
    send(view, QEvent::MouseMove, press + move / 2, global + move / 2, Qt::LeftButton);
    send(view, QEvent::MouseMove, press + move, global + move, Qt::LeftButton);
    send(view, QEvent::MouseButtonRelease, press + move, global + move, Qt::NoButton);
    QCOMPARE(view.frame(), frame);
    QVERIFY(qAbs(view.frame().width() / view.frame().height() - 16.0 / 9.0) < 1e-9);
}

void tst_CameraMirror::dragInTheMiddleMoves() {
    CameraContainerView view(*m_service, false);
    view.setFrame(QRectF(100, 100, 320, 180));
    const QPointF press(160, 90), global(260, 190);
    send(view, QEvent::MouseButtonPress, press, global, Qt::LeftButton);
    send(view, QEvent::MouseMove, press, global + QPointF(30, -40), Qt::LeftButton);
    send(view, QEvent::MouseButtonRelease, press, global + QPointF(30, -40), Qt::NoButton);
    QCOMPARE(view.frame(), QRectF(130, 60, 320, 180));
    // Once let go, moving the pointer moves nothing.
    send(view, QEvent::MouseMove, press, global + QPointF(300, 300), Qt::NoButton);
    QCOMPARE(view.frame(), QRectF(130, 60, 320, 180));
}

void tst_CameraMirror::cursorFollowsTheEdge() {
    CameraContainerView view(*m_service, false);
    view.setFrame(QRectF(0, 0, 320, 180));
    const std::pair<QPointF, Qt::CursorShape> cases[] = {
        {{160, 90}, Qt::ArrowCursor},  {{2, 90}, Qt::SizeHorCursor},      {{160, 2}, Qt::SizeVerCursor},
        {{2, 2}, Qt::SizeFDiagCursor}, {{318, 178}, Qt::SizeFDiagCursor}, {{318, 2}, Qt::SizeBDiagCursor},
    };
    for (const auto& [pos, shape] : cases) {
        send(view, QEvent::MouseMove, pos, pos, Qt::NoButton);
        QCOMPARE(view.cursor().shape(), shape);
    }
}

void tst_CameraMirror::windowFollowsTheMirror() {
    CameraMirrorController controller(
        *m_service,
        [] {
            return std::optional<ScreenMetrics>(
                ScreenMetrics{QRectF(0, 0, 1920, 1080), 0, std::nullopt, std::nullopt});
        },
        [] { return false; });
    QVERIFY(!controller.window());
    m_service->start();
    QVERIFY(controller.window());
    QVERIFY(controller.window()->isVisible());
    QCOMPARE(controller.window()->frame(), QRectF(790, 44, 340, 191.25));
    QVERIFY(controller.window()->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    QVERIFY(controller.window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(!controller.window()->mask().isEmpty());
    m_service->stop();
    QTRY_VERIFY(!controller.window());
    // The next start opens it again, with the shape chosen meanwhile.
    m_service->setShape(CameraShape::circle);
    m_service->start();
    QCOMPARE(controller.window()->frame(), QRectF(790, 44, 340, 340));
}

void tst_CameraMirror::failureInMidStreamClosesWindow() {
    CameraMirrorController controller(
        *m_service, [] { return std::nullopt; }, [] { return true; });
    m_service->start();
    QPointer<CameraContainerView> window = controller.window();
    QVERIFY(window);
    m_camera->pushFrame();
    m_camera->failNow(CameraSource::Failure::lost);
    QVERIFY(!window);
    QVERIFY(!m_service->isActive());
    QCOMPARE(m_service->status(), QString("The camera was disconnected"));
}

QTEST_MAIN(tst_CameraMirror)
#include "tst_CameraMirror.moc"
