// Detaches the way a classic daemon does before running `argv[1..]`: fork (the caller's process ends),
// a new session, a second fork (the session leader ends), every descriptor closed and the standard
// three on /dev/null, then exec. Each step leaves a process that exits at once behind it.
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: daemon_host program [args...]\n");
        return 2;
    }
    if (const pid_t first = ::fork(); first != 0)
        return first < 0 ? 1 : 0;
    if (::setsid() < 0)
        return 1;
    if (const pid_t second = ::fork(); second != 0)
        ::_exit(second < 0 ? 1 : 0);
    for (int fd = 0; fd < 1024; ++fd)
        ::close(fd);
    const int null = ::open("/dev/null", O_RDWR);
    if (null != 0)
        return 1;
    ::dup2(0, 1);
    ::dup2(0, 2);
    ::execvp(argv[1], argv + 1);
    ::_exit(127);
}
