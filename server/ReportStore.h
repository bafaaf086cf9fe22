// The usage reports the web service accepted, in SQLite (WAL). Reports are written by one thread in
// batches: each batch is one transaction, synced to disk before anyone hears that a report of it is kept,
// so a burst costs one sync per batch instead of one per report.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

struct sqlite3;
struct sqlite3_stmt;

struct Report {
    std::string anon;
    std::string version;
    std::string os;
    bool notch = false;
    int64_t minutes = 0;
    int64_t opens = 0;
    std::string tabsJson;
};

class ReportStore {
public:
    explicit ReportStore(const std::string& path);
    // Writes what is queued before it returns.
    ~ReportStore();
    ReportStore(const ReportStore&) = delete;
    ReportStore& operator=(const ReportStore&) = delete;

    bool ok() const { return m_db != nullptr; }
    const std::string& error() const { return m_error; }
    // Queues one report with its receipt time (whole seconds). `done` runs once, on the writer's thread,
    // after the batch holding the report was committed (true) or rolled back (false, nothing of it kept).
    void submit(Report report, int64_t receivedAt, std::function<void(bool stored)> done);
    // submit() and wait for the outcome.
    bool add(const Report& report, int64_t receivedAt);
    int64_t count();
    // How many transactions have stored reports so far.
    int64_t batches() const;

private:
    struct Pending {
        Report report;
        int64_t receivedAt = 0;
        std::function<void(bool)> done;
    };
    void writer();
    bool commit(const std::deque<Pending>& batch);

    std::mutex m_dbMutex;
    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    std::string m_error;

    mutable std::mutex m_queueMutex;
    std::condition_variable m_wake;
    std::deque<Pending> m_queue;
    bool m_closing = false;
    int64_t m_batches = 0;
    std::thread m_writer;
};
