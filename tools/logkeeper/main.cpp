// quillbay-logkeeper LOG CAP_BYTES
// Copies standard input into LOG, keeping LOG under CAP_BYTES, until every writer of its input has gone.
// Forks once after opening LOG: the first process exits 0 at once (1 when LOG cannot be opened), so the
// program that started it learns the outcome without having to collect the long-lived copy later.
#include "platform/LogCap.h"

#include <cstdlib>
#include <string>

#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const std::string path = argv[1];
    char* end = nullptr;
    const long long cap = std::strtoll(argv[2], &end, 10);
    if (path.empty() || !end || *end != '\0' || cap <= 0)
        return 2;
    const int fd = LogCap::openLog(path);
    if (fd < 0)
        return 1;
    const pid_t child = ::fork();
    if (child < 0)
        return 1;
    if (child > 0)
        ::_exit(0);
    return LogCap::keep(STDIN_FILENO, fd, path, cap);
}
