// Preloaded by tests/loopback-only into every test and everything it starts. A name lookup of any host but
// this machine, and a connection or datagram to any address outside loopback, is refused as a network
// without a route would refuse it, and appended to $QUILLBAY_LOOPBACK_REPORT, which fails the test.
// Plain C calls only: it may run before the C++ runtime of the process is set up, and on any thread.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void report(const char* format, ...) {
    char line[512];
    char program[128] = "?";
    const int fd = ::open("/proc/self/comm", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        const ssize_t n = ::read(fd, program, sizeof program - 1);
        program[n > 0 ? n : 0] = '\0';
        if (char* end = std::strchr(program, '\n'))
            *end = '\0';
        ::close(fd);
    }
    int used = std::snprintf(line, sizeof line, "%s (pid %d): ", program, int(::getpid()));
    va_list args;
    va_start(args, format);
    used += std::vsnprintf(line + used, sizeof line - size_t(used) - 1, format, args);
    va_end(args);
    if (used > int(sizeof line) - 2)
        used = int(sizeof line) - 2;
    line[used++] = '\n';
    (void)!::write(STDERR_FILENO, "loopback-only: ", 15);
    (void)!::write(STDERR_FILENO, line, size_t(used));
    if (const char* path = std::getenv("QUILLBAY_LOOPBACK_REPORT")) {
        const int out = ::open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
        if (out >= 0) {
            (void)!::write(out, line, size_t(used));
            ::close(out);
        }
    }
}

bool loopbackV4(const in_addr& a) {
    const uint32_t host = ntohl(a.s_addr);
    return (host >> 24) == 127 || host == INADDR_ANY;
}

bool loopbackV6(const in6_addr& a) {
    if (IN6_IS_ADDR_LOOPBACK(&a) || IN6_IS_ADDR_UNSPECIFIED(&a))
        return true;
    if (IN6_IS_ADDR_V4MAPPED(&a)) {
        in_addr v4;
        std::memcpy(&v4, &a.s6_addr[12], 4);
        return loopbackV4(v4);
    }
    return false;
}

// Sockets of other families (local, netlink) never leave the machine.
bool allowed(const sockaddr* address, socklen_t length, const char* what) {
    if (!address || length < socklen_t(sizeof(sa_family_t)))
        return true;
    char text[INET6_ADDRSTRLEN] = "";
    if (address->sa_family == AF_INET && length >= socklen_t(sizeof(sockaddr_in))) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        if (loopbackV4(in->sin_addr))
            return true;
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        report("%s %s port %d", what, text, int(ntohs(in->sin_port)));
        return false;
    }
    if (address->sa_family == AF_INET6 && length >= socklen_t(sizeof(sockaddr_in6))) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
        if (loopbackV6(in6->sin6_addr))
            return true;
        inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        report("%s %s port %d", what, text, int(ntohs(in6->sin6_port)));
        return false;
    }
    return true;
}

bool endsWith(const char* text, const char* tail) {
    const size_t a = std::strlen(text), b = std::strlen(tail);
    return a >= b && strcasecmp(text + a - b, tail) == 0;
}

// A name that needs no lookup beyond this machine: an address written out (reaching it is checked when
// connecting), "localhost" and its kin, or the machine's own name.
bool localName(const char* node) {
    if (!node)
        return true; // an address to listen on
    in_addr v4;
    in6_addr v6;
    if (inet_pton(AF_INET, node, &v4) == 1 || inet_pton(AF_INET6, node, &v6) == 1)
        return true;
    if (strcasecmp(node, "localhost") == 0 || endsWith(node, ".localhost") ||
        strcasecmp(node, "localhost.localdomain") == 0 || strcasecmp(node, "ip6-localhost") == 0 ||
        strcasecmp(node, "ip6-loopback") == 0)
        return true;
    char own[256] = "";
    return ::gethostname(own, sizeof own - 1) == 0 && own[0] && strcasecmp(node, own) == 0;
}

template <typename F> F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int connect(int fd, const sockaddr* address, socklen_t length) {
    static const auto real = next<int (*)(int, const sockaddr*, socklen_t)>("connect");
    if (!allowed(address, length, "connected to")) {
        errno = ENETUNREACH;
        return -1;
    }
    return real(fd, address, length);
}

ssize_t sendto(int fd, const void* data, size_t size, int flags, const sockaddr* address, socklen_t length) {
    static const auto real =
        next<ssize_t (*)(int, const void*, size_t, int, const sockaddr*, socklen_t)>("sendto");
    if (!allowed(address, length, "sent to")) {
        errno = ENETUNREACH;
        return -1;
    }
    return real(fd, data, size, flags, address, length);
}

ssize_t sendmsg(int fd, const msghdr* message, int flags) {
    static const auto real = next<ssize_t (*)(int, const msghdr*, int)>("sendmsg");
    if (message &&
        !allowed(static_cast<const sockaddr*>(message->msg_name), message->msg_namelen, "sent to")) {
        errno = ENETUNREACH;
        return -1;
    }
    return real(fd, message, flags);
}

int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
    static const auto real =
        next<int (*)(const char*, const char*, const addrinfo*, addrinfo**)>("getaddrinfo");
    if (!localName(node)) {
        report("looked up %s", node);
        return EAI_NONAME;
    }
    return real(node, service, hints, result);
}

hostent* gethostbyname(const char* name) {
    static const auto real = next<hostent* (*)(const char*)>("gethostbyname");
    if (!localName(name)) {
        report("looked up %s", name);
        h_errno = HOST_NOT_FOUND;
        return nullptr;
    }
    return real(name);
}

hostent* gethostbyname2(const char* name, int family) {
    static const auto real = next<hostent* (*)(const char*, int)>("gethostbyname2");
    if (!localName(name)) {
        report("looked up %s", name);
        h_errno = HOST_NOT_FOUND;
        return nullptr;
    }
    return real(name, family);
}

int gethostbyname_r(const char* name, hostent* entry, char* buffer, size_t size, hostent** result,
                    int* error) {
    static const auto real =
        next<int (*)(const char*, hostent*, char*, size_t, hostent**, int*)>("gethostbyname_r");
    if (!localName(name)) {
        report("looked up %s", name);
        *result = nullptr;
        *error = HOST_NOT_FOUND;
        return ENOENT;
    }
    return real(name, entry, buffer, size, result, error);
}

int gethostbyname2_r(const char* name, int family, hostent* entry, char* buffer, size_t size,
                     hostent** result, int* error) {
    static const auto real =
        next<int (*)(const char*, int, hostent*, char*, size_t, hostent**, int*)>("gethostbyname2_r");
    if (!localName(name)) {
        report("looked up %s", name);
        *result = nullptr;
        *error = HOST_NOT_FOUND;
        return ENOENT;
    }
    return real(name, family, entry, buffer, size, result, error);
}

} // extern "C"
