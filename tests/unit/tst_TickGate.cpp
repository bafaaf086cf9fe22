// When the island's pointer tick runs at its full rate and when it rests: every condition that can
// change the next tick's answer keeps it running, a wake-up while it rests asks for a tick at once,
// motion while it runs is looked at within the motion gap, and only a tick that saw nothing new lets
// it rest, whether the island is open or not.
#include "app/TickGate.h"

#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(TickGate::Pace)
Q_DECLARE_METATYPE(std::optional<int>)

namespace {

TickGate::Conditions conditions(bool tracking, bool motionReported, bool animating) {
    TickGate::Conditions c;
    c.tracking = tracking;
    c.motionReported = motionReported;
    c.animating = animating;
    return c;
}

const TickGate::Conditions kStill = conditions(true, true, false);
constexpr qint64 kT0 = 100'000;

// A gate brought to rest by one quiet tick.
TickGate resting() {
    TickGate gate;
    gate.ticked(kStill, kT0);
    return gate;
}

} // namespace

class tst_TickGate : public QObject {
    Q_OBJECT

private slots:
    void paceAfterATick_data() {
        QTest::addColumn<bool>("tracking");
        QTest::addColumn<bool>("motionReported");
        QTest::addColumn<bool>("animating");
        QTest::addColumn<bool>("woken");
        QTest::addColumn<TickGate::Pace>("pace");
        using P = TickGate::Pace;
        QTest::newRow("still, quiet") << true << true << false << false << P::Resting;
        QTest::newRow("motion since the last tick") << true << true << false << true << P::Running;
        QTest::newRow("animating") << true << true << true << false << P::Running;
        QTest::newRow("animating and woken") << true << true << true << true << P::Running;
        // Without motion reports nothing tells a still pointer from a moving one.
        QTest::newRow("motion not reported") << true << false << false << false << P::Running;
        QTest::newRow("tracking off") << false << true << false << false << P::Off;
        QTest::newRow("tracking off, woken") << false << true << false << true << P::Off;
        QTest::newRow("tracking off, animating") << false << false << true << true << P::Off;
    }
    void paceAfterATick() {
        QFETCH(bool, tracking);
        QFETCH(bool, motionReported);
        QFETCH(bool, animating);
        QFETCH(bool, woken);
        QFETCH(TickGate::Pace, pace);
        TickGate gate;
        if (woken)
            gate.wake(kT0);
        QCOMPARE(gate.ticked(conditions(tracking, motionReported, animating), kT0), pace);
        QCOMPARE(gate.pace(), pace);
    }

    void startsRunning() {
        // Nothing is known before the first tick: it must come at the full rate.
        QCOMPARE(TickGate().pace(), TickGate::Pace::Running);
    }

    // How soon a wake-up wants its tick, by the pace and the time since the last tick.
    void wakeDelay_data() {
        QTest::addColumn<int>("state"); // 0 never ticked, 1 running, 2 resting, 3 off
        QTest::addColumn<qint64>("sinceMs");
        QTest::addColumn<std::optional<int>>("delay");
        const int gap = TickGate::kMotionGapMs;
        QTest::newRow("before any tick") << 0 << qint64(0) << std::optional<int>(0);
        QTest::newRow("running, the last tick long ago") << 1 << qint64(30) << std::optional<int>(0);
        QTest::newRow("running, exactly one gap on") << 1 << qint64(gap) << std::optional<int>(0);
        QTest::newRow("running, just after a tick") << 1 << qint64(0) << std::optional<int>(gap);
        QTest::newRow("running, within the gap") << 1 << qint64(3) << std::optional<int>(gap - 3);
        QTest::newRow("running, a clock that went back") << 1 << qint64(-50) << std::optional<int>(0);
        QTest::newRow("resting, just after a tick") << 2 << qint64(0) << std::optional<int>(0);
        QTest::newRow("resting, long after") << 2 << qint64(60'000) << std::optional<int>(0);
        QTest::newRow("off") << 3 << qint64(100) << std::optional<int>();
    }
    void wakeDelay() {
        QFETCH(int, state);
        QFETCH(qint64, sinceMs);
        QFETCH(std::optional<int>, delay);
        TickGate gate;
        if (state == 1) {
            gate.wake(kT0);
            QCOMPARE(gate.ticked(kStill, kT0), TickGate::Pace::Running);
        } else if (state == 2) {
            gate.ticked(kStill, kT0);
        } else if (state == 3) {
            gate.ticked(conditions(false, true, false), kT0);
        }
        QCOMPARE(gate.wake(kT0 + sinceMs), delay);
    }

    void wakeWhileRestingAsksForATickAtOnce() {
        TickGate gate = resting();
        QCOMPARE(gate.pace(), TickGate::Pace::Resting);
        QCOMPARE(gate.wake(kT0 + 1), std::optional<int>(0));
        // Until a tick has run the gate still rests, so a second wake-up asks again.
        QCOMPARE(gate.wake(kT0 + 2), std::optional<int>(0));
        QCOMPARE(gate.ticked(kStill, kT0 + 3), TickGate::Pace::Running);
        // Now it runs: motion right after that tick waits out the rest of the gap.
        QCOMPARE(gate.wake(kT0 + 4), std::optional<int>(TickGate::kMotionGapMs - 1));
    }

    void oneMotionKeepsOneMoreTickThenRests() {
        TickGate gate = resting();
        gate.wake(kT0 + 10);
        QCOMPARE(gate.ticked(kStill, kT0 + 10), TickGate::Pace::Running); // read the newest position
        QCOMPARE(gate.ticked(kStill, kT0 + 43), TickGate::Pace::Resting); // nothing since: rest
    }

    void wakeIsConsumedByOneTick() {
        TickGate gate;
        gate.wake(kT0);
        gate.wake(kT0);
        QCOMPARE(gate.ticked(kStill, kT0), TickGate::Pace::Running);
        QCOMPARE(gate.ticked(kStill, kT0 + 33), TickGate::Pace::Resting);
    }

    void continuousMotionNeverRests() {
        TickGate gate = resting();
        for (int i = 0; i < 100; ++i) {
            gate.wake(kT0 + 8 * i);
            QCOMPARE(gate.ticked(kStill, kT0 + 8 * i), TickGate::Pace::Running);
        }
    }

    void restsOnlyAfterTheAnimation() {
        TickGate gate;
        gate.wake(kT0); // the island's state changed
        QCOMPARE(gate.ticked(conditions(true, true, true), kT0), TickGate::Pace::Running);
        QCOMPARE(gate.ticked(conditions(true, true, true), kT0 + 33), TickGate::Pace::Running);
        QCOMPARE(gate.ticked(kStill, kT0 + 66), TickGate::Pace::Resting);
    }

    void trackingBackOnRunsAgain() {
        TickGate gate;
        QCOMPARE(gate.ticked(conditions(false, true, false), kT0), TickGate::Pace::Off);
        QCOMPARE(gate.ticked(conditions(true, true, true), kT0 + 33), TickGate::Pace::Running);
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
