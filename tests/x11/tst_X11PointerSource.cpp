// The global pointer read from the X server, including a button held over another window.
#include "platform/x11/X11PointerSource.h"

#include <QCursor>
#include <QProcess>
#include <QTest>
#include <QWidget>

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
};

QTEST_MAIN(TestX11PointerSource)
#include "tst_X11PointerSource.moc"
