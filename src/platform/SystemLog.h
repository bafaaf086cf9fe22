// Where log lines go: syslog (ident "Quillbay") and standard error. Header-only and free of Qt, so that
// the swap helper writes its lines the way the program does.
#pragma once

#include <cstdio>

#include <syslog.h>

namespace SystemLog {

inline void write(const char* line) {
    static const bool opened = [] {
        openlog("Quillbay", LOG_PID, LOG_USER);
        return true;
    }();
    (void)opened;
    syslog(LOG_NOTICE, "%s", line);
    std::fprintf(stderr, "%s\n", line);
    std::fflush(stderr);
}

} // namespace SystemLog
