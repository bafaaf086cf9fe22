// quillbay-web --listen ADDR:PORT --cert FILE --key FILE --root DIR --db FILE
// Stops on SIGTERM or SIGINT after finishing the requests under way.
#include "WebService.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <thread>

int main(int argc, char** argv) {
    WebService::Options options;
    std::string listen;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--listen")
            listen = value;
        else if (name == "--cert")
            options.certFile = value;
        else if (name == "--key")
            options.keyFile = value;
        else if (name == "--root")
            options.root = value;
        else if (name == "--db")
            options.db = value;
        else {
            std::fprintf(stderr, "quillbay-web: unknown option %s\n", name.c_str());
            return 2;
        }
    }
    const auto colon = listen.rfind(':');
    if (argc % 2 == 0 || colon == std::string::npos || options.certFile.empty() || options.keyFile.empty() ||
        options.root.empty() || options.db.empty()) {
        std::fprintf(stderr,
                     "usage: quillbay-web --listen ADDR:PORT --cert FILE --key FILE --root DIR --db FILE\n");
        return 2;
    }
    // The signals are taken by one waiting thread; every other thread (the request pool) inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    // Every connection takes a descriptor, and the usual soft limit (1024) is smaller than a burst.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }

    WebService service(options);
    if (const std::string why = service.error(); !why.empty()) {
        std::fprintf(stderr, "quillbay-web: %s\n", why.c_str());
        return 1;
    }
    std::string host = listen.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const int port = service.bind(host, std::atoi(listen.c_str() + colon + 1));
    if (port < 0) {
        std::fprintf(stderr, "quillbay-web: cannot listen on %s\n", listen.c_str());
        return 1;
    }
    std::printf("listening on %s:%d\n", host.c_str(), port);
    std::fflush(stdout);
    std::thread waiter([&] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        service.stop();
    });
    service.run();
    // run() also returns when listening fails; wake the waiter so it can be joined.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    std::printf("stopped\n");
    return 0;
}
