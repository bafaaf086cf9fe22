// The focus timer against a clock the test moves: phase changes, counts, rounding, sleep and sound.
#include "fakes/FakeAlertSound.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeTicker.h"
#include "services/PomodoroService.h"

#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(PomodoroPhase)

class tst_PomodoroService : public QObject {
    Q_OBJECT
private slots:
    void launchState();
    void formattedTime_data();
    void formattedTime();
    void tickAfterDeadlineCompletesOnce_data();
    void tickAfterDeadlineCompletesOnce();
    void restIsNeverCounted();
    void skip_data();
    void skip();
    void selectAndResetStopAndRefill_data();
    void selectAndResetStopAndRefill();
    void progressBounds();
    void pauseInLastHalfSecondCompletes();
    void suspendAcrossDeadlineCompletesOnWake();
    void suspendWhilePausedChangesNothing();
    void lateTickShowsExactTime();
    void timerRunsOnlyWhileRunning();

private:
    FakeTickerFactory m_tickers;
};

void tst_PomodoroService::launchState() {
    FakeClock clock;
    PomodoroService p(clock, m_tickers);
    QCOMPARE(p.phase(), PomodoroPhase::focus);
    QCOMPARE(p.formattedTime(), QString("25:00"));
    QCOMPARE(p.completedFocusSessions(), qint64(0));
    QVERIFY(!p.isRunning());
    QCOMPARE(PomodoroService::rawValue(PomodoroPhase::focus), QString("Foco"));
    QCOMPARE(PomodoroService::rawValue(PomodoroPhase::rest), QString("Pausa"));
}

void tst_PomodoroService::formattedTime_data() {
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<PomodoroPhase>("phase");
    QTest::addColumn<QString>("shown");
    QTest::newRow("full focus") << qint64(0) << PomodoroPhase::focus << "25:00";
    QTest::newRow("59 s") << qint64(1441000) << PomodoroPhase::focus << "00:59";
    QTest::newRow("full rest") << qint64(0) << PomodoroPhase::rest << "05:00";
    QTest::newRow("rest, 1 ms in") << qint64(1) << PomodoroPhase::rest << "05:00";
    QTest::newRow("rest, 60 s in") << qint64(60000) << PomodoroPhase::rest << "04:00";
}

void tst_PomodoroService::formattedTime() {
    QFETCH(qint64, elapsedMs);
    QFETCH(PomodoroPhase, phase);
    QFETCH(QString, shown);
    FakeClock clock;
    PomodoroService p(clock, m_tickers);
    p.select(phase);
    p.toggle();
    clock.advanceMs(elapsedMs);
    p.tick();
    QCOMPARE(p.formattedTime(), shown);
}

void tst_PomodoroService::tickAfterDeadlineCompletesOnce_data() {
    QTest::addColumn<qint64>("overshootMs");
    QTest::newRow("exactly at") << qint64(0);
    QTest::newRow("half a second late") << qint64(500);
    QTest::newRow("an hour late") << qint64(3600000);
}

void tst_PomodoroService::tickAfterDeadlineCompletesOnce() {
    QFETCH(qint64, overshootMs);
    FakeClock clock;
    FakeAlertSound sound;
    PomodoroService p(clock, m_tickers, sound);
    p.toggle();
    clock.advanceMs(1499999);
    p.tick();
    QCOMPARE(p.remainingSeconds(), qint64(1));
    QCOMPARE(sound.plays, 0);
    clock.advanceMs(1 + overshootMs);
    p.tick();
    QCOMPARE(p.phase(), PomodoroPhase::rest);
    QCOMPARE(p.formattedTime(), QString("05:00"));
    QVERIFY(!p.isRunning());
    QCOMPARE(p.completedFocusSessions(), qint64(1));
    QCOMPARE(sound.plays, 1);
    // Further ticks of a stopped timer change nothing and ring no more.
    clock.advanceSeconds(400);
    p.tick();
    p.tick();
    QCOMPARE(p.remainingSeconds(), qint64(300));
    QCOMPARE(sound.plays, 1);
    QCOMPARE(p.completedFocusSessions(), qint64(1));
}

void tst_PomodoroService::restIsNeverCounted() {
    FakeClock clock;
    FakeAlertSound sound;
    PomodoroService p(clock, m_tickers, sound);
    for (int round = 1; round <= 3; ++round) {
        p.toggle();
        clock.advanceSeconds(1500);
        p.tick();
        QCOMPARE(p.completedFocusSessions(), qint64(round));
        p.toggle();
        clock.advanceSeconds(300);
        p.tick();
        QCOMPARE(p.phase(), PomodoroPhase::focus);
        QCOMPARE(p.completedFocusSessions(), qint64(round));
    }
    QCOMPARE(sound.plays, 6);
}

void tst_PomodoroService::skip_data() {
    QTest::addColumn<PomodoroPhase>("from");
    QTest::addColumn<bool>("running");
    QTest::addColumn<PomodoroPhase>("to");
    QTest::addColumn<QString>("shown");
    QTest::newRow("focus, stopped") << PomodoroPhase::focus << false << PomodoroPhase::rest << "05:00";
    QTest::newRow("focus, running") << PomodoroPhase::focus << true << PomodoroPhase::rest << "05:00";
    QTest::newRow("rest, stopped") << PomodoroPhase::rest << false << PomodoroPhase::focus << "25:00";
    QTest::newRow("rest, running") << PomodoroPhase::rest << true << PomodoroPhase::focus << "25:00";
}

void tst_PomodoroService::skip() {
    QFETCH(PomodoroPhase, from);
    QFETCH(bool, running);
    QFETCH(PomodoroPhase, to);
    QFETCH(QString, shown);
    FakeClock clock;
    FakeAlertSound sound;
    PomodoroService p(clock, m_tickers, sound);
    p.select(from);
    if (running) {
        p.toggle();
        clock.advanceSeconds(100);
    }
    p.skip();
    QCOMPARE(p.phase(), to);
    QCOMPARE(p.formattedTime(), shown);
    QVERIFY(!p.isRunning());
    QVERIFY(!p.ticking());
    QCOMPARE(p.completedFocusSessions(), qint64(0));
    QCOMPARE(sound.plays, 0);
}

void tst_PomodoroService::selectAndResetStopAndRefill_data() {
    QTest::addColumn<bool>("useReset");
    QTest::addColumn<PomodoroPhase>("target");
    QTest::newRow("select the current phase") << false << PomodoroPhase::focus;
    QTest::newRow("select the other phase") << false << PomodoroPhase::rest;
    QTest::newRow("reset") << true << PomodoroPhase::focus;
}

void tst_PomodoroService::selectAndResetStopAndRefill() {
    QFETCH(bool, useReset);
    QFETCH(PomodoroPhase, target);
    FakeClock clock;
    PomodoroService p(clock, m_tickers);
    // One finished focus first, so that the count is seen to survive.
    p.toggle();
    clock.advanceSeconds(1500);
    p.tick();
    p.select(PomodoroPhase::focus);
    p.toggle();
    clock.advanceSeconds(42);
    p.tick();
    QVERIFY(p.isRunning());
    if (useReset)
        p.reset();
    else
        p.select(target);
    QVERIFY(!p.isRunning());
    QVERIFY(!p.ticking());
    QCOMPARE(p.phase(), target);
    QCOMPARE(p.remainingSeconds(), PomodoroService::length(target));
    QCOMPARE(p.progress(), 0.0);
    QCOMPARE(p.completedFocusSessions(), qint64(1));
    // The stopped timer holds its time.
    clock.advanceSeconds(10);
    p.tick();
    QCOMPARE(p.remainingSeconds(), PomodoroService::length(target));
}

void tst_PomodoroService::progressBounds() {
    FakeClock clock;
    PomodoroService p(clock, m_tickers);
    QCOMPARE(p.progress(), 0.0);
    p.toggle();
    clock.advanceSeconds(750);
    p.tick();
    QCOMPARE(p.progress(), 0.5);
    clock.advanceMs(749999);
    p.tick();
    QCOMPARE(p.remainingSeconds(), qint64(1));
    QVERIFY(p.progress() < 1.0);
    // At 0 the phase is over; the rest phase starts empty.
    clock.advanceMs(1);
    p.tick();
    QCOMPARE(p.progress(), 0.0);
}

void tst_PomodoroService::pauseInLastHalfSecondCompletes() {
    FakeClock clock;
    FakeAlertSound sound;
    PomodoroService p(clock, m_tickers, sound);
    p.select(PomodoroPhase::rest);
    p.toggle();
    clock.advanceMs(299600);
    p.tick(); // the last tick before the deadline: 1 s still shown
    QCOMPARE(p.remainingSeconds(), qint64(1));
    clock.advanceMs(450); // past the deadline, before the next tick
    p.toggle();
    QCOMPARE(p.phase(), PomodoroPhase::focus);
    QCOMPARE(p.formattedTime(), QString("25:00"));
    QVERIFY(!p.isRunning());
    QCOMPARE(sound.plays, 1);
    // A pause just before the deadline is an ordinary pause.
    p.toggle();
    clock.advanceMs(1499950);
    p.toggle();
    QCOMPARE(p.phase(), PomodoroPhase::focus);
    QCOMPARE(p.remainingSeconds(), qint64(1));
    QCOMPARE(sound.plays, 1);
}

void tst_PomodoroService::suspendAcrossDeadlineCompletesOnWake() {
    FakeClock clock;
    FakeAlertSound sound;
    PomodoroService p(clock, m_tickers, sound);
    p.toggle();
    clock.advanceSeconds(100);
    p.tick();
    QCOMPARE(p.remainingSeconds(), qint64(1400));
    // The lid closes for an hour; only the boot clock sees it.
    clock.suspendMs(3600 * 1000);
    p.tick();
    QCOMPARE(p.phase(), PomodoroPhase::rest);
    QCOMPARE(p.completedFocusSessions(), qint64(1));
    QCOMPARE(sound.plays, 1);
}

void tst_PomodoroService::suspendWhilePausedChangesNothing() {
    FakeClock clock;
    PomodoroService p(clock, m_tickers);
    p.toggle();
    clock.advanceSeconds(100);
    p.toggle();
    clock.suspendMs(3600 * 1000);
    p.tick();
    QCOMPARE(p.remainingSeconds(), qint64(1400));
    p.toggle();
    clock.suspendMs(1000);
    p.tick();
    QCOMPARE(p.remainingSeconds(), qint64(1399));
}

void tst_PomodoroService::lateTickShowsExactTime() {
    FakeClock clock;
    PomodoroService p(clock, m_tickers);
    p.toggle();
    QSignalSpy remaining(&p, &PomodoroService::remainingSecondsChanged);
    clock.advanceMs(3000);
    p.tick();
    QCOMPARE(p.remainingSeconds(), qint64(1497));
    QCOMPARE(remaining.count(), 1);
    // A tick with nothing new to show publishes nothing.
    clock.advanceMs(200);
    p.tick();
    QCOMPARE(remaining.count(), 1);
}

void tst_PomodoroService::timerRunsOnlyWhileRunning() {
    FakeClock clock;
    PomodoroService p(clock, m_tickers);
    QVERIFY(!p.ticking());
    QVERIFY(!m_tickers.isRunning(PomodoroService::kTickMs));
    p.toggle();
    QVERIFY(p.ticking());
    p.toggle();
    QVERIFY(!p.ticking());
    QVERIFY(!m_tickers.isRunning(PomodoroService::kTickMs));
    // The half-second tick by itself notices the deadline and stops.
    p.toggle();
    clock.advanceSeconds(1500);
    QCOMPARE(m_tickers.fire(PomodoroService::kTickMs), 1);
    QCOMPARE(p.phase(), PomodoroPhase::rest);
    QVERIFY(!p.ticking());
    QCOMPARE(m_tickers.fire(PomodoroService::kTickMs), 0);
}

QTEST_GUILESS_MAIN(tst_PomodoroService)
#include "tst_PomodoroService.moc"
