// The system clock: monotonic time never goes back, wall time is UTC.
#include "platform/posix/SystemClock.h"

#include <QtTest>

class tst_Clock : public QObject {
    Q_OBJECT
private slots:
    void monotonicNeverGoesBack() {
        SystemClock clock;
        qint64 last = clock.monotonicMs();
        for (int i = 0; i < 10000; ++i) {
            const qint64 now = clock.monotonicMs();
            QVERIFY(now >= last);
            last = now;
        }
    }
    void wallTimeIsUtcAndCurrent() {
        SystemClock clock;
        const QDateTime now = clock.now();
        QCOMPARE(now.timeSpec(), Qt::UTC);
        QVERIFY(qAbs(now.secsTo(QDateTime::currentDateTimeUtc())) <= 1);
    }
};

QTEST_GUILESS_MAIN(tst_Clock)
#include "tst_Clock.moc"
