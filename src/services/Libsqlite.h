// The SQLite functions the Antigravity reader calls, found in libsqlite3 opened when a state database is
// first read: a program whose user has no Antigravity does not map it.
#pragma once

#include <QString>

#include <sqlite3.h>

class Libsqlite {
public:
    // Opens libsqlite3 (`name`, major `version`; another name only in tests) and resolves every function
    // below; ok() is false, with the reason in error(), when either fails.
    explicit Libsqlite(const QString& name = QStringLiteral("sqlite3"), int version = 0);

    bool ok() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    decltype(&::sqlite3_open_v2) open_v2 = nullptr;
    decltype(&::sqlite3_close) close = nullptr;
    decltype(&::sqlite3_progress_handler) progress_handler = nullptr;
    decltype(&::sqlite3_limit) limit = nullptr;
    decltype(&::sqlite3_prepare_v2) prepare_v2 = nullptr;
    decltype(&::sqlite3_step) step = nullptr;
    decltype(&::sqlite3_column_blob) column_blob = nullptr;
    decltype(&::sqlite3_column_bytes) column_bytes = nullptr;
    decltype(&::sqlite3_finalize) finalize = nullptr;

private:
    QString m_error;
};
