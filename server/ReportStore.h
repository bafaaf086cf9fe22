// The usage reports the web service accepted, in SQLite (WAL). One connection, shared by the request
// threads under a mutex; a report counts as accepted only once its insert has committed.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

struct sqlite3;

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
    ~ReportStore();
    ReportStore(const ReportStore&) = delete;
    ReportStore& operator=(const ReportStore&) = delete;

    bool ok() const { return m_db != nullptr; }
    const std::string& error() const { return m_error; }
    // Stores one report with the receipt time (whole seconds); false when it was not committed.
    bool add(const Report& report, int64_t receivedAt);
    int64_t count();

private:
    std::mutex m_mutex;
    sqlite3* m_db = nullptr;
    std::string m_error;
};
