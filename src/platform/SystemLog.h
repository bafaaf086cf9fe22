// Where log lines go: syslog (ident "Quillbay") and standard error. Header-only and free of Qt, so that
// the swap helper writes its lines the way the program does.
#pragma once

#include <cstdio>

#include <syslog.h>

namespace SystemLog {

// `priority` is syslog's (LOG_DEBUG for debug lines); standard error gets every line alike.
inline void write(const char* line, int priority = LOG_NOTICE) {
    static const bool opened = [] {
        openlog("Quillbay", LOG_PID, LOG_USER);
        return true;
    }();
    (void)opened;
    syslog(priority, "%s", line);
    std::fprintf(stderr, "%s\n", line);
    std::fflush(stderr);
}

} // namespace SystemLog
