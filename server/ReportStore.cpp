#include "ReportStore.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Reports are the service's private data: the database is made owner-only before SQLite opens it, and its
// journal files take the database's mode. Files left by an earlier run with wider modes are narrowed.
void lockDown(const std::string& path) {
    if (path.empty() || path == ":memory:")
        return;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) {
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
            ::fchmod(fd, 0600);
        ::close(fd);
    }
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        const std::string side = path + suffix;
        struct stat st;
        if (::lstat(side.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::chmod(side.c_str(), 0600);
    }
}

} // namespace

namespace {

// A batch is one transaction; bounded so that its reports hear back soon even in a flood.
constexpr size_t kMaxBatch = 1000;

} // namespace

ReportStore::ReportStore(const std::string& path) {
    lockDown(path);
    if (sqlite3_open_v2(path.c_str(), &m_db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        m_error = m_db ? sqlite3_errmsg(m_db) : "cannot open the database";
        sqlite3_close(m_db);
        m_db = nullptr;
        return;
    }
    sqlite3_busy_timeout(m_db, 5000);
    // FULL: a committed batch survives a power cut too, since its senders were told it is kept.
    const char* setup = "PRAGMA journal_mode=WAL;"
                        "PRAGMA synchronous=FULL;"
                        "CREATE TABLE IF NOT EXISTS reports("
                        " id INTEGER PRIMARY KEY,"
                        " received INTEGER NOT NULL,"
                        " anon TEXT NOT NULL,"
                        " version TEXT NOT NULL,"
                        " os TEXT NOT NULL,"
                        " notch INTEGER NOT NULL,"
                        " minutes INTEGER NOT NULL,"
                        " opens INTEGER NOT NULL,"
                        " tabs TEXT NOT NULL);";
    char* message = nullptr;
    if (sqlite3_exec(m_db, setup, nullptr, nullptr, &message) != SQLITE_OK ||
        sqlite3_prepare_v2(m_db,
                           "INSERT INTO reports(received, anon, version, os, notch, minutes, opens, tabs)"
                           " VALUES(?,?,?,?,?,?,?,?)",
                           -1, &m_insert, nullptr) != SQLITE_OK) {
        m_error = message ? message : sqlite3_errmsg(m_db);
        sqlite3_free(message);
        sqlite3_close(m_db);
        m_db = nullptr;
        return;
    }
    m_writer = std::thread([this] { writer(); });
}

ReportStore::~ReportStore() {
    {
        std::lock_guard lock(m_queueMutex);
        m_closing = true;
    }
    m_wake.notify_all();
    if (m_writer.joinable())
        m_writer.join();
    sqlite3_finalize(m_insert);
    if (m_db)
        sqlite3_close(m_db);
}

void ReportStore::submit(Report report, int64_t receivedAt, std::function<void(bool)> done) {
    if (!m_db) {
        if (done)
            done(false);
        return;
    }
    {
        std::lock_guard lock(m_queueMutex);
        m_queue.push_back(Pending{std::move(report), receivedAt, std::move(done)});
    }
    m_wake.notify_one();
}

bool ReportStore::add(const Report& report, int64_t receivedAt) {
    std::mutex mutex;
    std::condition_variable settled;
    int outcome = -1;
    submit(report, receivedAt, [&](bool stored) {
        std::lock_guard lock(mutex);
        outcome = stored ? 1 : 0;
        settled.notify_all();
    });
    std::unique_lock lock(mutex);
    settled.wait(lock, [&] { return outcome >= 0; });
    return outcome == 1;
}

int64_t ReportStore::batches() const {
    std::lock_guard lock(m_queueMutex);
    return m_batches;
}

void ReportStore::writer() {
    std::unique_lock lock(m_queueMutex);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_queue.empty() || m_closing; });
        if (m_queue.empty())
            return;
        // Whatever queued while the last batch was syncing goes into this one.
        std::deque<Pending> batch;
        while (!m_queue.empty() && batch.size() < kMaxBatch) {
            batch.push_back(std::move(m_queue.front()));
            m_queue.pop_front();
        }
        lock.unlock();
        const bool stored = commit(batch);
        for (Pending& p : batch)
            if (p.done)
                p.done(stored);
        lock.lock();
        if (stored)
            ++m_batches;
    }
}

bool ReportStore::commit(const std::deque<Pending>& batch) {
    std::lock_guard lock(m_dbMutex);
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    bool stored = true;
    for (const Pending& p : batch) {
        const Report& r = p.report;
        sqlite3_reset(m_insert);
        sqlite3_clear_bindings(m_insert);
        sqlite3_bind_int64(m_insert, 1, p.receivedAt);
        sqlite3_bind_text(m_insert, 2, r.anon.c_str(), int(r.anon.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(m_insert, 3, r.version.c_str(), int(r.version.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(m_insert, 4, r.os.c_str(), int(r.os.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(m_insert, 5, r.notch ? 1 : 0);
        sqlite3_bind_int64(m_insert, 6, r.minutes);
        sqlite3_bind_int64(m_insert, 7, r.opens);
        sqlite3_bind_text(m_insert, 8, r.tabsJson.c_str(), int(r.tabsJson.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(m_insert) != SQLITE_DONE) {
            stored = false;
            break;
        }
    }
    sqlite3_reset(m_insert);
    if (stored && sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    // All or nothing: a sender told "not kept" may send again without being counted twice.
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
}

int64_t ReportStore::count() {
    std::lock_guard lock(m_dbMutex);
    if (!m_db)
        return -1;
    sqlite3_stmt* st = nullptr;
    int64_t n = -1;
    if (sqlite3_prepare_v2(m_db, "SELECT COUNT(*) FROM reports", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return n;
}
