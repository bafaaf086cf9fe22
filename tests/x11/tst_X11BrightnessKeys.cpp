// The brightness keys heard on a real X server: a press is heard only while listening, other keys
// never are, and nothing is taken from the desktop (another client still gets the key).
#include "platform/x11/X11BrightnessKeys.h"

#include <QProcess>
#include <QTest>
#include <QWidget>

namespace {

bool xdotool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A window of another program that has the keyboard, to show that the key still reaches it.
class Focused : public QWidget {
public:
    int brightnessKeys = 0;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_MonBrightnessUp || e->key() == Qt::Key_MonBrightnessDown)
            ++brightnessKeys;
    }
};

} // namespace

class tst_X11BrightnessKeys : public QObject {
    Q_OBJECT

private slots:
    void heardOnlyWhileListeningAndNeverTaken() {
        auto keys = X11BrightnessKeys::create();
        QVERIFY2(keys, "no XInput 2, or no brightness key in the keyboard map");
        int heard = 0;
        keys->setPressedHandler([&] { ++heard; });

        Focused other;
        other.setGeometry(100, 100, 300, 200);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        other.activateWindow();
        QVERIFY(xdotool({"windowfocus", "--sync", QString::number(other.winId())}));

        // Not listening: nothing asked for, nothing heard.
        QVERIFY(xdotool({"key", "XF86MonBrightnessUp"}));
        QTRY_COMPARE(other.brightnessKeys, 1);
        QTest::qWait(200); // proves that no notice follows
        QCOMPARE(heard, 0);

        keys->setListening(true);
        QVERIFY(xdotool({"key", "XF86MonBrightnessUp"}));
        QTRY_COMPARE(heard, 1);
        QVERIFY(xdotool({"key", "XF86MonBrightnessDown"}));
        QTRY_COMPARE(heard, 2);
        QTRY_COMPARE(other.brightnessKeys, 3); // the program with the keyboard got each one too

        // Typing is no brightness key.
        QVERIFY(xdotool({"type", "--delay", "5", "abc"}));
        QVERIFY(xdotool({"key", "XF86MonBrightnessUp"})); // a marker after the letters
        QTRY_COMPARE(heard, 3);

        keys->setListening(false);
        QVERIFY(xdotool({"key", "XF86MonBrightnessDown"}));
        QTRY_COMPARE(other.brightnessKeys, 5);
        QTest::qWait(200); // proves that no notice follows
        QCOMPARE(heard, 3);
    }
};

QTEST_MAIN(tst_X11BrightnessKeys)
#include "tst_X11BrightnessKeys.moc"
