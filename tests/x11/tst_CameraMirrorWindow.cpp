// The camera mirror's window on a real X server without a window manager or compositor: asked onto
// every desktop, cut to its shape by the server, and moved by hand when no window manager can move it.
#include "app/CameraMirrorController.h"
#include "fakes/FakeCameraSource.h"
#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11DesktopWindows.h"
#include "services/CameraService.h"
#include "services/Defaults.h"

#include <QTemporaryDir>
#include <QtTest>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <memory>
#include <optional>

namespace {

std::optional<quint32> desktopOf(WId window) {
    xcb_connection_t* c = X11Desktop::connection();
    const QByteArray name("_NET_WM_DESKTOP");
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, quint16(name.size()), name.constData()), nullptr);
    if (!atom)
        return std::nullopt;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, xcb_window_t(window), atom->atom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    free(atom);
    std::optional<quint32> value;
    if (reply && xcb_get_property_value_length(reply) == 4)
        value = *static_cast<quint32*>(xcb_get_property_value(reply));
    free(reply);
    return value;
}

// How many rectangles make up the window's bounding shape (1 for an uncut window).
int boundingRectangles(WId window) {
    xcb_connection_t* c = X11Desktop::connection();
    xcb_shape_get_rectangles_reply_t* reply = xcb_shape_get_rectangles_reply(
        c, xcb_shape_get_rectangles(c, xcb_window_t(window), XCB_SHAPE_SK_BOUNDING), nullptr);
    const int n = reply ? reply->rectangles_len : 0;
    free(reply);
    return n;
}

} // namespace

class tst_CameraMirrorWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void windowOnTheServer();
    void middleDragMovesWithoutWindowManager();

private:
    std::unique_ptr<CameraMirrorController> makeController();

    QTemporaryDir m_dir;
    std::unique_ptr<Defaults> m_defaults;
    std::unique_ptr<FakeCameraSource> m_camera;
    std::unique_ptr<CameraService> m_service;
};

void tst_CameraMirrorWindow::init() {
    QVERIFY(X11Desktop::connection());
    QFile::remove(m_dir.filePath("defaults.json"));
    m_defaults = std::make_unique<Defaults>(m_dir.filePath("defaults.json"));
    m_camera = std::make_unique<FakeCameraSource>();
    m_service = std::make_unique<CameraService>(*m_camera, *m_defaults);
}

void tst_CameraMirrorWindow::cleanup() {
    m_service.reset();
    m_camera.reset();
    m_defaults.reset();
}

std::unique_ptr<CameraMirrorController> tst_CameraMirrorWindow::makeController() {
    return std::make_unique<CameraMirrorController>(
        *m_service, [] { return std::optional<ScreenMetrics>(); },
        [] { return X11DesktopWindows().compositorRunning(); },
        [](QWidget& w) { X11Desktop::showOnAllDesktops(w.winId()); });
}

void tst_CameraMirrorWindow::windowOnTheServer() {
    m_service->setShape(CameraShape::circle);
    auto controller = makeController();
    m_service->start();
    CameraContainerView* window = controller->window();
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY(!window->composited());
    QCOMPARE(desktopOf(window->winId()), std::optional<quint32>(0xFFFFFFFF));
    QCOMPARE(window->geometry(), QRect(790, 44, 340, 340));
    QVERIFY(boundingRectangles(window->winId()) > 10); // a circle, row by row
    m_camera->pushFrame();
    m_service->stop();
    QVERIFY(!controller->window());
}

void tst_CameraMirrorWindow::middleDragMovesWithoutWindowManager() {
    auto controller = makeController();
    m_service->start();
    CameraContainerView* window = controller->window();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QPoint start = window->geometry().topLeft();
    QTest::mousePress(window, Qt::LeftButton, {}, QPoint(170, 95));
    QTest::mouseMove(window, QPoint(200, 135));
    QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(200, 135));
    QTRY_COMPARE_WITH_TIMEOUT(window->geometry().topLeft(), start + QPoint(30, 40), 10000);
    QCOMPARE(window->frame().topLeft(), QPointF(start + QPoint(30, 40)));
}

QTEST_MAIN(tst_CameraMirrorWindow)
#include "tst_CameraMirrorWindow.moc"
