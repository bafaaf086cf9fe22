// A service's pool: spreading a batch of jobs over the caller and a few workers.
#include "services/WorkPool.h"

#include <QTest>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <vector>

class tst_WorkPool : public QObject {
    Q_OBJECT

private slots:
    // Every job runs once, whatever the count and however many helpers are asked for.
    void runAllRunsEachJobOnce_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("helpers");
        QTest::newRow("none") << 0 << 3;
        QTest::newRow("one") << 1 << 3;
        QTest::newRow("two") << 2 << 3;
        QTest::newRow("no helpers") << 500 << 0;
        QTest::newRow("three helpers") << 5000 << 3;
        QTest::newRow("more helpers than threads") << 5000 << 50;
    }
    void runAllRunsEachJobOnce() {
        QFETCH(int, count);
        QFETCH(int, helpers);
        WorkPool pool(4);
        std::vector<std::atomic_int> runs(size_t(std::max(count, 1)));
        pool.runAll(count, helpers, [&](int i) { ++runs[size_t(i)]; });
        for (int i = 0; i < count; ++i)
            QCOMPARE(runs[size_t(i)].load(), 1);
        // Nothing runs after it returned.
        QVERIFY(pool.waitForDone());
        for (int i = 0; i < count; ++i)
            QCOMPARE(runs[size_t(i)].load(), 1);
    }

    // Jobs do run side by side when a worker is free: two jobs that each wait for the other both end.
    void helpersTakeJobs() {
        WorkPool pool(4);
        std::mutex mutex;
        std::condition_variable arrived;
        int waiting = 0;
        std::atomic_int met{0};
        pool.runAll(2, 1, [&](int) {
            std::unique_lock lock(mutex);
            ++waiting;
            arrived.notify_all();
            // Bounded only so that a fault fails the test instead of hanging it.
            if (arrived.wait_for(lock, std::chrono::seconds(60), [&] { return waiting == 2; }))
                ++met;
        });
        QCOMPARE(met.load(), 2);
    }

    // Called from the pool's only thread, or once the pool is cancelled, the caller runs every job itself
    // rather than wait for a worker that never comes.
    void callerRunsWhatNoWorkerTakes_data() {
        QTest::addColumn<bool>("fromOwnTask");
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("from the pool's only thread") << true << false;
        QTest::newRow("cancelled") << false << true;
    }
    void callerRunsWhatNoWorkerTakes() {
        QFETCH(bool, fromOwnTask);
        QFETCH(bool, cancelled);
        WorkPool pool(1);
        if (cancelled)
            pool.cancel();
        std::set<QThread*> threads;
        std::atomic<QThread*> caller{nullptr};
        std::atomic_int jobs{0};
        auto batch = [&] {
            caller = QThread::currentThread();
            pool.runAll(100, 3, [&](int) {
                ++jobs;
                threads.insert(QThread::currentThread()); // only the caller's thread runs here
            });
        };
        if (fromOwnTask) {
            pool.start(batch);
            QVERIFY(pool.waitForDone());
        } else {
            batch();
        }
        QCOMPARE(jobs.load(), 100);
        QCOMPARE(threads, std::set<QThread*>{caller.load()});
    }
};

QTEST_GUILESS_MAIN(tst_WorkPool)
#include "tst_WorkPool.moc"
