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
    const char* setup = "PRAGMA journal_mode=WAL;"
                        "PRAGMA synchronous=NORMAL;"
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
    if (sqlite3_exec(m_db, setup, nullptr, nullptr, &message) != SQLITE_OK) {
        m_error = message ? message : "cannot prepare the database";
        sqlite3_free(message);
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

ReportStore::~ReportStore() {
    if (m_db)
        sqlite3_close(m_db);
}

bool ReportStore::add(const Report& r, int64_t receivedAt) {
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return false;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db,
                           "INSERT INTO reports(received, anon, version, os, notch, minutes, opens, tabs)"
                           " VALUES(?,?,?,?,?,?,?,?)",
                           -1, &st, nullptr) != SQLITE_OK)
        return false;
    sqlite3_bind_int64(st, 1, receivedAt);
    sqlite3_bind_text(st, 2, r.anon.c_str(), int(r.anon.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, r.version.c_str(), int(r.version.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 4, r.os.c_str(), int(r.os.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(st, 5, r.notch ? 1 : 0);
    sqlite3_bind_int64(st, 6, r.minutes);
    sqlite3_bind_int64(st, 7, r.opens);
    sqlite3_bind_text(st, 8, r.tabsJson.c_str(), int(r.tabsJson.size()), SQLITE_TRANSIENT);
    const bool done = sqlite3_step(st) == SQLITE_DONE;
    sqlite3_finalize(st);
    return done;
}

int64_t ReportStore::count() {
    std::lock_guard lock(m_mutex);
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
