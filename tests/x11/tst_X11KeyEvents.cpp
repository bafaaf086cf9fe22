// The paste keys typed through XTEST as a window of the X server receives them: each combination
// arrives as that key with exactly its modifiers, and nothing stays held afterwards.
#include "platform/x11/X11Desktop.h"
#include "platform/x11/X11KeyEvents.h"

#include <QKeyEvent>
#include <QTest>
#include <QWidget>

Q_DECLARE_METATYPE(PasteKeys)

namespace {

// Records every key pressed in it.
class KeyLog : public QWidget {
public:
    QList<QPair<int, Qt::KeyboardModifiers>> presses;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() != Qt::Key_Shift && e->key() != Qt::Key_Control)
            presses.append({e->key(), e->modifiers()});
    }
};

} // namespace

class tst_X11KeyEvents : public QObject {
    Q_OBJECT
private slots:
    void pasteKeysArriveAsTyped_data() {
        QTest::addColumn<PasteKeys>("keys");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Control+V") << PasteKeys::controlV << int(Qt::Key_V) << int(Qt::ControlModifier);
        QTest::newRow("Control+Shift+V")
            << PasteKeys::controlShiftV << int(Qt::Key_V) << int(Qt::ControlModifier | Qt::ShiftModifier);
        QTest::newRow("Shift+Insert")
            << PasteKeys::shiftInsert << int(Qt::Key_Insert) << int(Qt::ShiftModifier);
    }
    void pasteKeysArriveAsTyped() {
        QFETCH(PasteKeys, keys);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        auto events = X11KeyEvents::create();
        QVERIFY2(events, "no X11 connection");
        KeyLog log;
        log.setFocusPolicy(Qt::StrongFocus);
        log.resize(200, 100);
        log.show();
        QVERIFY(QTest::qWaitForWindowExposed(&log));
        X11Desktop::setInputFocus(quint32(log.winId()));
        log.activateWindow();
        log.setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(log.hasFocus() && log.isActiveWindow(), 10000);

        QVERIFY(events->postPaste(keys));
        QTRY_COMPARE_WITH_TIMEOUT(log.presses.size(), 1, 10000);
        QCOMPARE(log.presses.first().first, key);
        QCOMPARE(int(log.presses.first().second), modifiers);
        QTRY_VERIFY_WITH_TIMEOUT(!events->modifiersHeld(), 10000);
    }
};

QTEST_MAIN(tst_X11KeyEvents)
#include "tst_X11KeyEvents.moc"
