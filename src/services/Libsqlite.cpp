#include "services/Libsqlite.h"

#include "services/OnDemandLibrary.h"

Libsqlite::Libsqlite(const QString& name, int version) {
    OnDemandLibrary library(name, version);
    library.find("sqlite3_open_v2", open_v2);
    library.find("sqlite3_close", close);
    library.find("sqlite3_progress_handler", progress_handler);
    library.find("sqlite3_limit", limit);
    library.find("sqlite3_prepare_v2", prepare_v2);
    library.find("sqlite3_step", step);
    library.find("sqlite3_column_blob", column_blob);
    library.find("sqlite3_column_bytes", column_bytes);
    library.find("sqlite3_finalize", finalize);
    m_error = library.finish("libsqlite3");
}
