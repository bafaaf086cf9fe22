// When the island's pointer tick runs at its full rate and when it rests: every condition that can
// change the next tick's answer keeps it running, a wake-up while it rests asks for a tick at once,
// and only a tick that saw nothing new lets it rest.
#include "app/TickGate.h"

#include <QTest>

Q_DECLARE_METATYPE(TickGate::Pace)

namespace {

TickGate::Conditions conditions(bool tracking, bool motionReported, bool expanded, bool animating) {
    TickGate::Conditions c;
    c.tracking = tracking;
    c.motionReported = motionReported;
    c.expanded = expanded;
    c.animating = animating;
    return c;
}

const TickGate::Conditions kStill = conditions(true, true, false, false);

// A gate brought to rest by one quiet tick.
TickGate resting() {
    TickGate gate;
    gate.ticked(kStill);
    return gate;
}

} // namespace

class tst_TickGate : public QObject {
    Q_OBJECT

private slots:
    void paceAfterATick_data() {
        QTest::addColumn<bool>("tracking");
        QTest::addColumn<bool>("motionReported");
        QTest::addColumn<bool>("expanded");
        QTest::addColumn<bool>("animating");
        QTest::addColumn<bool>("woken");
        QTest::addColumn<TickGate::Pace>("pace");
        using P = TickGate::Pace;
        QTest::newRow("still, collapsed, quiet") << true << true << false << false << false << P::Resting;
        QTest::newRow("motion since the last tick") << true << true << false << false << true << P::Running;
        QTest::newRow("expanded") << true << true << true << false << false << P::Running;
        QTest::newRow("animating") << true << true << false << true << false << P::Running;
        QTest::newRow("expanded and animating") << true << true << true << true << false << P::Running;
        // Without motion reports nothing tells a still pointer from a moving one.
        QTest::newRow("motion not reported") << true << false << false << false << false << P::Running;
        QTest::newRow("tracking off") << false << true << false << false << false << P::Off;
        QTest::newRow("tracking off, woken") << false << true << false << false << true << P::Off;
        QTest::newRow("tracking off, expanded") << false << false << true << true << true << P::Off;
    }
    void paceAfterATick() {
        QFETCH(bool, tracking);
        QFETCH(bool, motionReported);
        QFETCH(bool, expanded);
        QFETCH(bool, animating);
        QFETCH(bool, woken);
        QFETCH(TickGate::Pace, pace);
        TickGate gate;
        if (woken)
            gate.wake();
        QCOMPARE(gate.ticked(conditions(tracking, motionReported, expanded, animating)), pace);
        QCOMPARE(gate.pace(), pace);
    }

    void startsRunning() {
        // Nothing is known before the first tick: it must come at the full rate.
        QCOMPARE(TickGate().pace(), TickGate::Pace::Running);
    }

    void wakeAsksForATickOnlyWhileResting() {
        TickGate running;
        QVERIFY(!running.wake()); // the next regular tick comes soon enough

        TickGate gate = resting();
        QCOMPARE(gate.pace(), TickGate::Pace::Resting);
        QVERIFY(gate.wake());
        // Until a tick has run the gate still rests, so a second wake-up asks again.
        QVERIFY(gate.wake());
        QCOMPARE(gate.ticked(kStill), TickGate::Pace::Running);
        QVERIFY(!gate.wake());

        TickGate off;
        off.ticked(conditions(false, true, false, false));
        QVERIFY(!off.wake());
    }

    void oneMotionKeepsOneMoreTickThenRests() {
        TickGate gate = resting();
        gate.wake();
        QCOMPARE(gate.ticked(kStill), TickGate::Pace::Running); // read the newest position
        QCOMPARE(gate.ticked(kStill), TickGate::Pace::Resting); // nothing since: rest
    }

    void wakeIsConsumedByOneTick() {
        TickGate gate;
        gate.wake();
        gate.wake();
        QCOMPARE(gate.ticked(kStill), TickGate::Pace::Running);
        QCOMPARE(gate.ticked(kStill), TickGate::Pace::Resting);
    }

    void continuousMotionNeverRests() {
        TickGate gate = resting();
        for (int i = 0; i < 100; ++i) {
            gate.wake();
            QCOMPARE(gate.ticked(kStill), TickGate::Pace::Running);
        }
    }

    void closingRestsOnlyAfterTheAnimation() {
        TickGate gate;
        QCOMPARE(gate.ticked(conditions(true, true, true, false)), TickGate::Pace::Running);
        gate.wake(); // the state changed to collapsed
        QCOMPARE(gate.ticked(conditions(true, true, false, true)), TickGate::Pace::Running);
        QCOMPARE(gate.ticked(conditions(true, true, false, true)), TickGate::Pace::Running);
        QCOMPARE(gate.ticked(kStill), TickGate::Pace::Resting);
    }

    void trackingBackOnRunsAgain() {
        TickGate gate;
        QCOMPARE(gate.ticked(conditions(false, true, false, false)), TickGate::Pace::Off);
        QCOMPARE(gate.ticked(conditions(true, true, true, false)), TickGate::Pace::Running);
    }

    void intervals_data() {
        QTest::addColumn<TickGate::Pace>("pace");
        QTest::addColumn<int>("ms");
        QTest::newRow("running") << TickGate::Pace::Running << 33;
        QTest::newRow("resting: no timer at all") << TickGate::Pace::Resting << 0;
        QTest::newRow("off") << TickGate::Pace::Off << 0;
    }
    void intervals() {
        QFETCH(TickGate::Pace, pace);
        QFETCH(int, ms);
        QCOMPARE(TickGate::intervalMs(pace), ms);
    }
};

QTEST_APPLESS_MAIN(tst_TickGate)
#include "tst_TickGate.moc"
