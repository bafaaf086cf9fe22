// The animation spring: it arrives, overshoots only when underdamped, and moves the same at any
// frame rate.
#include "views/Spring.h"

#include <QTest>

#include <cmath>
#include <limits>

class TestSpring : public QObject {
    Q_OBJECT

private slots:
    void init() { Spring::setAnimationsEnabled(true); }
    void cleanupTestCase() { Spring::setAnimationsEnabled(true); }

    void arrives_data() {
        QTest::addColumn<qreal>("response");
        QTest::addColumn<qreal>("damping");
        QTest::addColumn<bool>("overshoots");
        QTest::newRow("expanding") << 0.32 << 0.65 << true;
        QTest::newRow("collapsing") << 0.24 << 0.95 << true;
        QTest::newRow("wing") << 0.3 << 0.8 << true;
        QTest::newRow("critical") << 0.3 << 1.0 << false;
        QTest::newRow("overdamped") << 0.3 << 1.6 << false;
    }
    void arrives() {
        QFETCH(qreal, response);
        QFETCH(qreal, damping);
        QFETCH(bool, overshoots);
        Spring s(response, damping, 196);
        s.setTarget(640);
        qreal highest = 196;
        int frames = 0;
        while (s.step(1.0 / 60) && frames < 60 * 5) {
            highest = qMax(highest, s.value());
            ++frames;
        }
        QVERIFY2(frames < 60 * 5, "never settled");
        QCOMPARE(s.value(), 640.0);
        QVERIFY(s.isSettled());
        QCOMPARE(highest > 640 + 0.01, overshoots);
    }

    void sameMotionAtAnyFrameRate() {
        Spring slow(0.32, 0.65, 0), fast(0.32, 0.65, 0), once(0.32, 0.65, 0);
        for (Spring* s : {&slow, &fast, &once})
            s->setTarget(100);
        for (int i = 0; i < 6; ++i)
            slow.step(1.0 / 30);
        for (int i = 0; i < 48; ++i)
            fast.step(1.0 / 240);
        once.step(0.2); // one long, stuttering frame
        QVERIFY(std::abs(slow.value() - fast.value()) < 1e-9);
        QVERIFY(std::abs(once.value() - fast.value()) < 1e-9);
        QVERIFY(std::abs(slow.velocity() - fast.velocity()) < 1e-7);
    }

    void retargetKeepsMotion() {
        // Collapsing half-way through an expansion starts from where the island is, not over.
        Spring s(0.32, 0.65, 0);
        s.setTarget(100);
        for (int i = 0; i < 4; ++i)
            s.step(1.0 / 60);
        const qreal value = s.value(), velocity = s.velocity();
        QVERIFY(velocity > 0);
        s.setParameters(0.24, 0.95);
        s.setTarget(0);
        QCOMPARE(s.value(), value);
        QCOMPARE(s.velocity(), velocity);
        s.step(1.0 / 60);
        QVERIFY(s.value() > value); // still carried on for a moment
    }

    void disabledJumps() {
        Spring::setAnimationsEnabled(false);
        Spring s(0.32, 0.65, 10);
        s.setTarget(20);
        QCOMPARE(s.value(), 20.0);
        QVERIFY(!s.step(1.0 / 60));
    }

    void badInput() {
        const qreal nan = std::numeric_limits<qreal>::quiet_NaN();
        Spring s(0.32, 0.65, 10);
        s.setTarget(nan);
        QCOMPARE(s.target(), 10.0);
        s.setTarget(20);
        QVERIFY(s.step(nan));
        QVERIFY(s.step(-1));
        QCOMPARE(s.value(), 10.0);
        Spring instant(0, 0.8, 5); // no response: nothing to animate
        instant.setTarget(7);
        QCOMPARE(instant.value(), 7.0);
    }
};

QTEST_GUILESS_MAIN(TestSpring)
#include "tst_Spring.moc"
