// The global pointer read from the X server, including a button held over another window.
#include "platform/x11/X11PointerSource.h"

#include "platform/x11/X11Desktop.h"

#include <QCursor>
#include <QProcess>
#include <QTest>
#include <QWidget>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace {

// Moves the pointer as a mouse does, through the input devices (XTest): listeners of raw motion hear
// it. `xdotool mousemove` warps instead, as any program can, which sends no raw event.
void moveLikeAMouse(int x, int y) {
    xcb_connection_t* c = X11Desktop::connection();
    const xcb_window_t root = xcb_window_t(X11Desktop::rootWindow());
    xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, int16_t(x), int16_t(y), 0);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); // the server has it
}

} // namespace

class TestX11PointerSource : public QObject {
    Q_OBJECT

private slots:
    void positionAndButton() {
        QWidget other; // some window the button goes down on, as in a drag from a file manager
        other.setGeometry(0, 0, 400, 400);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));

        X11PointerSource source;
        QCOMPARE(QProcess::execute("xdotool", {"mousemove", "--sync", "123", "45"}), 0);
        PointerSample s = source.sample();
        QCOMPARE(s.position, QPointF(123, 45));
        QVERIFY(!s.primaryButtonDown);

        QCOMPARE(QProcess::execute("xdotool", {"mousedown", "1"}), 0);
        QCOMPARE(QProcess::execute("xdotool", {"mousemove", "--sync", "960", "5"}), 0);
        s = source.sample();
        QCOMPARE(QProcess::execute("xdotool", {"mouseup", "1"}), 0);
        QCOMPARE(s.position, QPointF(960, 5));
        QVERIFY(s.primaryButtonDown);
        // The release reaches the source as an event; a later sample sees it.
        QTRY_VERIFY(!source.sample().primaryButtonDown);
    }

    void warpedPointerIsSeenWithoutAnyEvent() {
        X11PointerSource source;
        QCOMPARE(QProcess::execute("xdotool", {"mousemove", "--sync", "10", "10"}), 0);
        QCOMPARE(source.sample().position, QPointF(10, 10));
        // A program moving the pointer itself sends no input event; the server is asked all the same.
        QCursor::setPos(700, 300);
        QTRY_COMPARE(QCursor::pos(), QPoint(700, 300));
        int samples = 1;
        while (source.sample().position != QPointF(700, 300) && samples < 100)
            ++samples;
        QVERIFY2(samples <= X11PointerSource::kQuietSamples, qPrintable(QString::number(samples)));
    }

    void motionIsAnnouncedAndAWarpIsNot() {
        X11PointerSource source;
        QVERIFY(source.reportsMotion());
        int announced = 0;
        source.setMovedHandler([&] { ++announced; });
        moveLikeAMouse(50, 60);
        QTRY_VERIFY(announced > 0);
        QCOMPARE(source.sample().position, QPointF(50, 60));

        // A still pointer: nothing more arrives.
        QTest::qWait(300); // lets the move's own announcements drain before counting afresh
        announced = 0;
        QTest::qWait(300); // proves nothing more arrives
        QCOMPARE(announced, 0);

        // A warp is never announced; a sample after forgetCached() sees it at once.
        QCOMPARE(QProcess::execute("xdotool", {"mousemove", "--sync", "800", "20"}), 0);
        QTest::qWait(100); // proves the warp is not announced
        QCOMPARE(announced, 0);
        source.forgetCached();
        QCOMPARE(source.sample().position, QPointF(800, 20));

        // A button pressed and released over another program's window is announced too.
        QCOMPARE(QProcess::execute("xdotool", {"mousedown", "1"}), 0);
        QTRY_VERIFY(announced > 0);
        QVERIFY(source.sample().primaryButtonDown);
        announced = 0;
        QCOMPARE(QProcess::execute("xdotool", {"mouseup", "1"}), 0);
        QTRY_VERIFY(announced > 0);
        QVERIFY(!source.sample().primaryButtonDown);
    }

    void handlerIsNeverCalledFromInsideSample() {
        X11PointerSource source;
        QVERIFY(source.reportsMotion());
        bool sampling = false;
        int calledWhileSampling = 0, called = 0;
        source.setMovedHandler([&] {
            ++called;
            calledWhileSampling += sampling;
        });
        // Motion that arrives just before a sample is read by the sample itself, not the notifier.
        for (int i = 0; i < 20; ++i) {
            moveLikeAMouse(100 + i, 300);
            sampling = true;
            source.forgetCached();
            const PointerSample s = source.sample();
            sampling = false;
            QCOMPARE(s.position, QPointF(100 + i, 300));
        }
        QTRY_VERIFY(called > 0); // announced later, from the event loop
        QCOMPARE(calledWhileSampling, 0);
    }

    void anEmptyHandlerStopsTheCalls() {
        X11PointerSource source;
        QVERIFY(source.reportsMotion());
        int announced = 0;
        source.setMovedHandler([&] { ++announced; });
        source.sample();
        source.setMovedHandler({});
        moveLikeAMouse(400, 400);
        QTest::qWait(200); // proves nothing is announced without a handler
        QCOMPARE(announced, 0);
        QCOMPARE(source.sample().position, QPointF(400, 400)); // still read, only not announced
    }
};

QTEST_MAIN(TestX11PointerSource)
#include "tst_X11PointerSource.moc"
