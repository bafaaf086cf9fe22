// quillbay-web: the maker's web service. Serves the version manifest, the release downloads and the
// privacy page from a folder, and stores usage reports. HTTPS only.
#pragma once

#include "ReportStore.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

class GuardedServer;

class WebService {
public:
    struct Options {
        std::string certFile;
        std::string keyFile;
        std::string root; // holds version.json, downloads/ and optionally privacy.html
        std::string db;
        // One line per request, called from any of the service's threads; standard output when empty.
        std::function<void(const std::string&)> log;
        // How long a request may take to arrive, and how many connections one address may hold.
        std::chrono::milliseconds requestDeadline{10000};
        size_t connectionsPerAddress = 16;
        // How long a client may take nothing of a short answer, and the slowest it may take a download
        // (bytes a second, measured over the window).
        std::chrono::milliseconds writeTimeout{5000};
        size_t minReadRate = 1024;
        std::chrono::milliseconds rateWindow{30000};
    };

    static constexpr size_t kMaxReportBytes = 64 * 1024;

    explicit WebService(Options options);
    ~WebService();
    WebService(const WebService&) = delete;
    WebService& operator=(const WebService&) = delete;

    // Why the service cannot run (certificate, key or database), or empty.
    std::string error() const;
    // Listens on `host`:`port` (0 picks a free port); returns the port, or -1.
    int bind(const std::string& host, int port);
    // Serves until stop(); requests under way are finished before it returns.
    void run();
    // run() on a thread of its own.
    void start();
    void stop();
    int64_t reportCount() { return m_reports.count(); }

    // Why a report body is refused, or nothing when it is a valid report (filled into `out`).
    static std::optional<std::string> validate(const std::string& body, Report* out);
    // `text` for one line of the request log: control characters, backslashes and bytes outside ASCII
    // are written as \xNN, so a request can neither break a line nor forge one.
    static std::string logSafe(const std::string& text);

private:
    void routes();
    void log(const std::string& line);

    Options m_options;
    ReportStore m_reports;
    std::unique_ptr<GuardedServer> m_server;
    std::thread m_thread;
};
