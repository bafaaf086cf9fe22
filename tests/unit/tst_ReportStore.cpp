// The report store's batched writer: reports submitted from many threads at once are each stored once
// and each told so; what is queued when the store closes is still written; a write that fails is told
// as failed and keeps nothing.
#include "ReportStore.h"

#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

Report report(int n) {
    Report r;
    r.anon = QByteArray::number(n, 16).rightJustified(16, '0').toStdString();
    r.version = "1";
    r.os = "12";
    r.opens = n;
    r.tabsJson = "{}";
    return r;
}

bool exec(const QString& db, const char* sql) {
    sqlite3* h = nullptr;
    const bool ok = sqlite3_open(db.toUtf8().constData(), &h) == SQLITE_OK &&
                    sqlite3_exec(h, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(h);
    return ok;
}

qint64 distinctOpens(const QString& db) {
    sqlite3* h = nullptr;
    sqlite3_stmt* st = nullptr;
    qint64 n = -1;
    if (sqlite3_open(db.toUtf8().constData(), &h) == SQLITE_OK &&
        sqlite3_prepare_v2(h, "SELECT COUNT(DISTINCT opens) FROM reports", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(h);
    return n;
}

} // namespace

class tst_ReportStore : public QObject {
    Q_OBJECT

private slots:
    void concurrentReportsStoredOnce() {
        QTemporaryDir dir;
        const QString db = dir.filePath("r.db");
        const int threads = 8, each = 250;
        std::atomic<int> stored{0}, refused{0}, told{0};
        {
            ReportStore store(db.toStdString());
            QVERIFY(store.ok());
            std::vector<std::thread> senders;
            for (int t = 0; t < threads; ++t)
                senders.emplace_back([&, t] {
                    for (int i = 0; i < each; ++i)
                        store.submit(report(t * each + i), 1, [&](bool ok) {
                            (ok ? stored : refused) += 1;
                            ++told;
                        });
                });
            for (std::thread& s : senders)
                s.join();
            QTRY_COMPARE_WITH_TIMEOUT(told.load(), threads * each, 60000);
            QCOMPARE(store.count(), qint64(threads * each));
            qInfo("%d reports in %lld transactions", threads * each, qlonglong(store.batches()));
            QVERIFY(store.batches() >= 1 && store.batches() <= threads * each);
        }
        QCOMPARE(stored.load(), threads * each);
        QCOMPARE(refused.load(), 0);
        QCOMPARE(distinctOpens(db), qint64(threads * each));
    }

    // Closing the store writes what was queued before; nobody is left without an answer.
    void closingWritesWhatIsQueued() {
        QTemporaryDir dir;
        const QString db = dir.filePath("r.db");
        std::atomic<int> stored{0};
        {
            ReportStore store(db.toStdString());
            for (int i = 0; i < 500; ++i)
                store.submit(report(i), 1, [&](bool ok) { stored += ok ? 1 : 0; });
        }
        QCOMPARE(stored.load(), 500);
        QCOMPARE(ReportStore(db.toStdString()).count(), qint64(500));
    }

    // A batch that cannot be written is reported as not kept, for every report in it.
    void failedWriteIsToldAndKeepsNothing() {
        QTemporaryDir dir;
        const QString db = dir.filePath("r.db");
        ReportStore store(db.toStdString());
        QVERIFY(store.add(report(1), 1));
        // The table vanishing under the store (another tool, a bad migration) fails the insert.
        QVERIFY(exec(db, "DROP TABLE reports"));
        QVERIFY(!store.add(report(2), 1));
        QVERIFY(exec(db, "CREATE TABLE reports(id INTEGER PRIMARY KEY, received INTEGER NOT NULL, anon TEXT "
                         "NOT NULL, version TEXT NOT NULL, os TEXT NOT NULL, notch INTEGER NOT NULL, minutes "
                         "INTEGER NOT NULL, opens INTEGER NOT NULL, tabs TEXT NOT NULL)"));
        QCOMPARE(store.count(), qint64(0));
        QVERIFY(store.add(report(3), 1));
        QCOMPARE(store.count(), qint64(1));
    }

    void unopenableStoreRefusesAtOnce() {
        ReportStore store("/nonexistent-folder/r.db");
        QVERIFY(!store.ok());
        QVERIFY(!store.error().empty());
        bool told = false, kept = true;
        store.submit(report(1), 1, [&](bool ok) {
            told = true;
            kept = ok;
        });
        QVERIFY(told);
        QVERIFY(!kept);
        QVERIFY(!store.add(report(2), 1));
    }
};

QTEST_GUILESS_MAIN(tst_ReportStore)
#include "tst_ReportStore.moc"
