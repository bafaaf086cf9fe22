// The global pointer read from the X server, including a button held over another window.
#include "platform/x11/X11PointerSource.h"

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
        QVERIFY(!source.sample().primaryButtonDown);
    }
};

QTEST_MAIN(TestX11PointerSource)
#include "tst_X11PointerSource.moc"
