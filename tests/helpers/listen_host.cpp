// Test helper: listens on two ephemeral TCP ports of 127.0.0.1, writes "<port> <port>\n" to the file
// named by its argument, then waits to be signalled.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

static int listenOnAnyPort(unsigned short* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        return -1;
    *port = ntohs(addr.sin_port);
    return fd;
}

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    unsigned short a = 0, b = 0;
    if (listenOnAnyPort(&a) < 0 || listenOnAnyPort(&b) < 0)
        return 1;
    const char* tmp = argv[1];
    char part[4096];
    std::snprintf(part, sizeof part, "%s.part", tmp);
    FILE* f = std::fopen(part, "w");
    if (!f)
        return 1;
    std::fprintf(f, "%u %u\n", a, b);
    std::fclose(f);
    std::rename(part, tmp);
    for (;;)
        ::pause();
}
