// The maker's web service: usage reports a second and the latency spread on loopback HTTPS, with
// several client threads keeping connections alive; how long an ordinary request takes while 40
// slow clients trickle their request heads in; reports stored a second and a probe's latency while 2000
// reports arrive at once from 125 addresses; the server's peak memory under four endless chunked
// uploads; and, with the server as its own process, 100 downloads of a 20 MiB release at once, 100
// readers that take a download slowly, and a flood of TLS handshakes: peak memory, the first byte of a
// download and how long a manifest request takes meanwhile. QUILLBAY_BENCH_WEB names another build of
// quillbay-web to measure (an earlier one, to compare).
#include "WebService.h"
#include "fakes/RawTlsClient.h"
#include "fakes/ReportBurst.h"
#include "fakes/SlowHttpsClient.h"
#include "fakes/ThrowawayCA.h"

#ifndef Q_MOC_RUN
#include <httplib.h>
#endif

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <poll.h>

namespace {

ThrowawayCA* g_ca = nullptr;

// A service over `dir`, with the throwaway CA's certificate and no request log.
WebService::Options optionsIn(const QTemporaryDir& dir) {
    WebService::Options o;
    o.certFile = g_ca->certFile().toStdString();
    o.keyFile = g_ca->keyFile().toStdString();
    o.root = dir.path().toStdString();
    o.db = dir.filePath("reports.db").toStdString();
    o.log = [](const std::string&) {};
    return o;
}

// A running service over `dir`, which holds a manifest; null (and the benchmark skipped) when it cannot
// listen.
std::unique_ptr<WebService> runningService(benchmark::State& state, const QTemporaryDir& dir, int* port) {
    QFile v(dir.filePath("version.json"));
    if (v.open(QIODevice::WriteOnly))
        v.write("{\"version\":\"1.3.0\"}");
    v.close();
    auto service = std::make_unique<WebService>(optionsIn(dir));
    *port = service->bind("127.0.0.1", 0);
    if (*port < 0) {
        state.SkipWithError("cannot listen");
        return nullptr;
    }
    service->start();
    return service;
}

void reports(benchmark::State& state) {
    const int clients = int(state.range(0));
    QTemporaryDir dir;
    int port = -1;
    const std::unique_ptr<WebService> running = runningService(state, dir, &port);
    if (!running)
        return;
    WebService& service = *running;
    const std::string body =
        "{\"anon\":\"0123456789abcdef\",\"version\":\"1.2.0\",\"macos\":\"12\",\"notch\":false,"
        "\"minutes\":3,\"opens\":2,\"tabs\":{\"kit\":1,\"news\":4}}";
    const int perClient = 400;
    std::vector<double> latencies;
    std::mutex mutex;
    std::atomic<int> failures{0};
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c)
            threads.emplace_back([&] {
                httplib::SSLClient client("127.0.0.1", port);
                client.set_ca_cert_path(g_ca->caFile().toStdString().c_str());
                client.set_keep_alive(true);
                client.set_tcp_nodelay(true); // as interactive HTTP clients commonly do
                std::vector<double> mine;
                for (int i = 0; i < perClient; ++i) {
                    const auto t0 = std::chrono::steady_clock::now();
                    auto res = client.Post("/api/telemetry", body, "application/json");
                    mine.push_back(
                        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                            .count());
                    if (!res || res->status != 200)
                        ++failures;
                }
                std::lock_guard lock(mutex);
                latencies.insert(latencies.end(), mine.begin(), mine.end());
            });
        for (auto& t : threads)
            t.join();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        seconds += s;
        state.SetIterationTime(s);
    }
    service.stop();
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) {
        return latencies.empty() ? 0.0 : latencies[size_t(q * double(latencies.size() - 1))];
    };
    state.counters["reports_per_s"] = double(latencies.size()) / seconds;
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["failures"] = failures.load();
    state.counters["stored"] = double(service.reportCount());
}
BENCHMARK(reports)->Arg(1)->Arg(4)->Arg(8)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// Arg: 1 = the slow clients share one address, 0 = each has its own.
void probeUnderSlowClients(benchmark::State& state) {
    const bool oneAddress = state.range(0) != 0;
    QTemporaryDir dir;
    int port = -1;
    const std::unique_ptr<WebService> running = runningService(state, dir, &port);
    if (!running)
        return;
    WebService& service = *running;
    std::vector<std::unique_ptr<SlowHttpsClient>> slow;
    for (int i = 0; i < 40; ++i) {
        slow.push_back(std::make_unique<SlowHttpsClient>(
            oneAddress ? QByteArray("127.0.0.2") : "127.0.1." + QByteArray::number(i + 2), port));
        slow.back()->start();
    }
    std::this_thread::sleep_for(std::chrono::seconds(2)); // let them take their connections
    std::vector<double> latencies;
    int failures = 0;
    httplib::SSLClient probe("127.0.0.1", port);
    probe.set_ca_cert_path(g_ca->caFile().toStdString().c_str());
    probe.set_keep_alive(false);
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        auto res = probe.Get("/version.json");
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        latencies.push_back(s * 1000.0);
        if (!res || res->status != 200)
            ++failures;
        state.SetIterationTime(s);
    }
    for (auto& c : slow)
        c->stop();
    service.stop();
    std::sort(latencies.begin(), latencies.end());
    state.counters["p50_ms"] = latencies.empty() ? 0.0 : latencies[latencies.size() / 2];
    state.counters["max_ms"] = latencies.empty() ? 0.0 : latencies.back();
    state.counters["failures"] = failures;
}
BENCHMARK(probeUnderSlowClients)
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(50);

// 2000 reports at once, one connection each, from 125 addresses (16 each, the most one address may
// hold); meanwhile probes from another address ask for the manifest one after another.
void burstWithProbe(benchmark::State& state) {
    QTemporaryDir dir;
    int port = -1;
    const std::unique_ptr<WebService> running = runningService(state, dir, &port);
    if (!running)
        return;
    WebService& service = *running;
    std::vector<double> probes;
    int stored = 0, failures = 0;
    double seconds = 0;
    for (auto _ : state) {
        const int64_t before = service.reportCount();
        ReportBurst burst;
        std::atomic<bool> done{false};
        std::thread prober([&] {
            while (!done) {
                const auto t0 = std::chrono::steady_clock::now();
                RawTlsClient probe("127.0.0.250", port, 60000);
                probe.send("GET /version.json HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
                probe.answer(60000);
                probes.push_back(
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
                if (probe.status() != 200)
                    ++failures;
            }
        });
        const auto start = std::chrono::steady_clock::now();
        burst.run(port);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        done = true;
        prober.join();
        seconds += s;
        stored += int(service.reportCount() - before);
        failures += burst.failed;
        state.SetIterationTime(s);
    }
    service.stop();
    std::sort(probes.begin(), probes.end());
    state.counters["stored_per_s"] = double(stored) / seconds;
    state.counters["stored"] = stored;
    state.counters["probes"] = double(probes.size());
    state.counters["probe_p50_ms"] = probes.empty() ? 0.0 : probes[probes.size() / 2];
    state.counters["probe_max_ms"] = probes.empty() ? 0.0 : probes.back();
    state.counters["failures"] = failures;
}
BENCHMARK(burstWithProbe)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

long statusKiB(qint64 pid, const char* field) {
    QFile f(QString("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const auto m =
        QRegularExpression(QString("%1:\\s+(\\d+) kB").arg(field)).match(QString::fromLatin1(f.readAll()));
    return m.hasMatch() ? m.captured(1).toLong() : -1;
}

// quillbay-web as its own process over `dir`, so its memory is its own; the port, or 0 (and the
// benchmark skipped) when it did not start.
int startServerProcess(benchmark::State& state, const QTemporaryDir& dir, QProcess& server) {
    // Its log goes to a file: a pipe nobody reads while the clients run would soon hold the server up.
    server.setStandardOutputFile(dir.filePath("log"));
    const QByteArray other = qgetenv("QUILLBAY_BENCH_WEB");
    server.start(other.isEmpty() ? QString(QUILLBAY_WEB) : QString::fromLocal8Bit(other),
                 {"--listen", "127.0.0.1:0", "--cert", g_ca->certFile(), "--key", g_ca->keyFile(), "--root",
                  dir.path(), "--db", dir.filePath("reports.db")});
    QByteArray out;
    for (int i = 0; i < 200 && !out.contains('\n'); ++i) {
        server.waitForFinished(50); // a bounded pause while it starts, ending early if it fails
        QFile log(dir.filePath("log"));
        if (log.open(QIODevice::ReadOnly))
            out = log.readAll();
    }
    const auto m = QRegularExpression("listening on 127.0.0.1:(\\d+)").match(QString::fromUtf8(out));
    if (!m.hasMatch()) {
        state.SkipWithError("quillbay-web did not start");
        return 0;
    }
    return m.captured(1).toInt();
}

// Four clients stream chunked report uploads that never end, connecting again each time they are cut,
// for the time given (ms).
void chunkedUploadsMemory(benchmark::State& state) {
    QTemporaryDir dir;
    QProcess server;
    const int port = startServerProcess(state, dir, server);
    if (port == 0)
        return;
    const qint64 pid = server.processId();
    const long startKiB = statusKiB(pid, "VmRSS");
    const QByteArray head =
        "POST /api/telemetry HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
        "Transfer-Encoding: chunked\r\n\r\n";
    const QByteArray chunk = "4000\r\n" + QByteArray(0x4000, ' ') + "\r\n";
    QByteArray stream;
    for (int i = 0; i < 64; ++i) // 1 MiB a connection, far past the cap
        stream += chunk;
    std::atomic<qint64> sentBytes{0};
    std::atomic<int> cut{0};
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        std::vector<std::thread> uploads;
        for (int u = 0; u < 4; ++u)
            uploads.emplace_back([&, u] {
                while (!stop) {
                    RawTlsClient c("127.0.0." + QByteArray::number(20 + u), port, 20000);
                    if (!c.ok())
                        continue;
                    sentBytes += c.send(head + stream, 16384, 20000);
                    if (c.answer(20000).startsWith("HTTP/1.1 413"))
                        ++cut;
                }
            });
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(state.range(0))); // the span measured
        stop = true;
        for (std::thread& t : uploads)
            t.join();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    state.counters["start_rss_kib"] = double(startKiB);
    state.counters["peak_rss_kib"] = double(statusKiB(pid, "VmHWM"));
    state.counters["uploads_cut_413"] = cut.load();
    state.counters["client_sent_mib"] = double(sentBytes.load()) / (1024.0 * 1024.0);
    server.terminate();
    server.waitForFinished(20000);
}
BENCHMARK(chunkedUploadsMemory)->Arg(20000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// One download on a raw TLS connection that keeps nothing of the body: it takes at most `perRead`
// bytes every `pauseMs` (0: as fast as it can) until the body ends, the server ends the connection or
// `ms` pass.
struct Download {
    bool complete = false;
    bool cut = false; // the server ended it before the body did
    int status = 0;
    double firstByteMs = -1;
    double totalMs = 0;
    qint64 body = 0;
};
Download download(const QByteArray& source, int port, const QByteArray& target, int perRead, int pauseMs,
                  int ms) {
    Download d;
    const auto t0 = std::chrono::steady_clock::now();
    const auto since = [&] {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    };
    RawTlsClient c(source, port, ms);
    if (!c.ok())
        return d;
    c.send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    SSL* ssl = c.handle();
    const int sock = SSL_get_fd(ssl);
    QByteArray head;
    qint64 length = -1;
    std::vector<char> buf(std::max(perRead, 16384));
    QByteArray early = c.received(); // what came while the request was sent
    while (since() < ms) {
        const int want = perRead > 0 ? perRead : int(buf.size());
        const int n = early.isEmpty() ? SSL_read(ssl, buf.data(), want) : int(early.size());
        const char* data = early.isEmpty() ? buf.data() : early.constData();
        if (n > 0) {
            if (d.firstByteMs < 0)
                d.firstByteMs = since();
            if (length < 0) {
                head.append(data, n);
                const int end = head.indexOf("\r\n\r\n");
                if (end >= 0) {
                    d.status = head.mid(9, 3).toInt();
                    const QByteArray h = head.left(end).toLower();
                    const int at = h.indexOf("content-length: ");
                    length = at < 0 ? 0 : h.mid(at + 16, h.indexOf('\r', at) - at - 16).toLongLong();
                    d.body = head.size() - end - 4;
                }
            } else {
                d.body += n;
            }
            early.clear();
            if (length >= 0 && d.body >= length) {
                d.complete = true;
                break;
            }
            if (pauseMs > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs)); // the reader's slowness
            continue;
        }
        const int e = SSL_get_error(ssl, n);
        if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) {
            d.cut = true;
            break;
        }
        pollfd p{sock, short(e == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
        ::poll(&p, 1, 100);
    }
    d.totalMs = since();
    return d;
}

// How many sockets process `pid` holds open.
int socketsOf(qint64 pid) {
    int n = 0;
    const QDir fds(QString("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot))
        n += fd.symLinkTarget().contains("socket:");
    return n;
}

double percentile(std::vector<double> v, double q) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[size_t(q * double(v.size() - 1))];
}

// Asks for the manifest on a new connection every 100 ms from its own address while `running`; each
// latency in ms, a failure as its time to give up.
struct Prober {
    explicit Prober(int port) {
        thread = std::thread([this, port] {
            while (!stop) {
                const auto t0 = std::chrono::steady_clock::now();
                RawTlsClient probe("127.0.0.250", port, 20000);
                probe.send("GET /version.json HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
                probe.answer(20000);
                const double took =
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
                {
                    std::lock_guard lock(mutex);
                    latencies.push_back(took);
                }
                if (probe.status() != 200)
                    ++failures;
                std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the probes' pace
            }
        });
    }
    void finish(benchmark::State& state) {
        stop = true;
        thread.join();
        state.counters["probes"] = double(latencies.size());
        state.counters["probe_p50_ms"] = percentile(latencies, 0.5);
        state.counters["probe_max_ms"] = percentile(latencies, 1.0);
        state.counters["probe_failures"] = failures.load();
    }
    std::thread thread;
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};
    std::mutex mutex;
    std::vector<double> latencies;
};

// A sparse release of `size` bytes in the downloads of `dir`, served by a server process: its port, or 0
// with the benchmark skipped.
int serveRelease(benchmark::State& state, const QTemporaryDir& dir, qint64 size, QProcess& server) {
    QDir().mkpath(dir.filePath("downloads"));
    QFile f(dir.filePath("downloads/release.tar.xz"));
    if (!f.open(QIODevice::WriteOnly) || !f.resize(size)) {
        state.SkipWithError("cannot write the release");
        return 0;
    }
    f.close();
    return startServerProcess(state, dir, server);
}

// 100 clients download a 20 MiB release at once (Arg 0) or read it slowly, 16 KiB every 3 s (Arg 1),
// or slower than the floor, 1 KiB every 3 s (Arg 2), for 40 s; a probe asks for the manifest meanwhile.
void downloads(benchmark::State& state) {
    const int mode = int(state.range(0));
    QTemporaryDir dir;
    QFile v(dir.filePath("version.json"));
    if (v.open(QIODevice::WriteOnly))
        v.write("{\"version\":\"1.3.0\"}");
    v.close();
    const qint64 fileSize = 20 * 1024 * 1024;
    QProcess server;
    const int port = serveRelease(state, dir, fileSize, server);
    if (port == 0)
        return;
    const qint64 pid = server.processId();
    const long startKiB = statusKiB(pid, "VmRSS");
    std::vector<Download> results(100);
    const int socketsBefore = socketsOf(pid);
    int socketsHeld = 0;
    for (auto _ : state) {
        Prober prober(port);
        const auto t0 = std::chrono::steady_clock::now();
        std::vector<std::thread> clients;
        for (int i = 0; i < 100; ++i)
            clients.emplace_back([&, i] {
                // 100 addresses, as 100 users would come from.
                const QByteArray source = "127.0.3." + QByteArray::number(i + 1);
                results[size_t(i)] = mode == 0
                                         ? download(source, port, "/downloads/release.tar.xz", 0, 0, 120000)
                                         : download(source, port, "/downloads/release.tar.xz",
                                                    mode == 1 ? 16384 : 1024, 3000, 40000);
            });
        // Slow readers cannot tell when they were cut (they still read what the system buffered for
        // them): the server's own sockets say, shortly before the readers stop.
        if (mode != 0) {
            std::this_thread::sleep_for(std::chrono::seconds(38)); // the span measured
            socketsHeld = socketsOf(pid) - socketsBefore;
        }
        for (std::thread& t : clients)
            t.join();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        prober.finish(state);
    }
    std::vector<double> first, total;
    int complete = 0, cut = 0, other = 0;
    for (const Download& d : results) {
        other += d.status != 200;
        if (d.firstByteMs >= 0)
            first.push_back(d.firstByteMs);
        total.push_back(d.totalMs);
        complete += d.complete;
        cut += d.cut;
    }
    state.counters["start_rss_kib"] = double(startKiB);
    state.counters["peak_rss_kib"] = double(statusKiB(pid, "VmHWM"));
    state.counters["first_byte_p50_ms"] = percentile(first, 0.5);
    state.counters["first_byte_max_ms"] = percentile(first, 1.0);
    state.counters["download_p50_ms"] = percentile(total, 0.5);
    state.counters["complete"] = complete;
    state.counters["cut"] = cut;
    state.counters["not_200"] = other;
    if (mode != 0)
        state.counters["held_at_38s"] = socketsHeld;
    server.terminate();
    server.waitForFinished(20000);
}
BENCHMARK(downloads)->Arg(0)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// One request for a 20 MiB release asking for 200 ranges of all of it: the server's peak memory and
// what it answered.
void manyRanges(benchmark::State& state) {
    QTemporaryDir dir;
    QProcess server;
    const int port = serveRelease(state, dir, 20 * 1024 * 1024, server);
    if (port == 0)
        return;
    const qint64 pid = server.processId();
    QByteArray ranges = "bytes=0-";
    for (int i = 1; i < state.range(0); ++i)
        ranges += ",0-";
    int status = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        RawTlsClient c("127.0.0.30", port, 60000);
        c.send("GET /downloads/release.tar.xz HTTP/1.1\r\nHost: 127.0.0.1\r\nRange: " + ranges +
               "\r\nConnection: close\r\n\r\n");
        c.closedByServer(120000);
        status = c.status();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    state.counters["status"] = status;
    state.counters["peak_rss_kib"] = double(statusKiB(pid, "VmHWM"));
    state.counters["server_alive"] = server.state() == QProcess::Running;
    server.terminate();
    server.waitForFinished(20000);
}
BENCHMARK(manyRanges)->Arg(40)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// Eight threads open TLS connections and close them again as fast as they can, each from its own
// address, for 10 s; a probe asks for the manifest meanwhile.
void handshakeFlood(benchmark::State& state) {
    QTemporaryDir dir;
    QFile v(dir.filePath("version.json"));
    if (v.open(QIODevice::WriteOnly))
        v.write("{\"version\":\"1.3.0\"}");
    v.close();
    QProcess server;
    const int port = startServerProcess(state, dir, server);
    if (port == 0)
        return;
    std::atomic<int> handshakes{0};
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        std::vector<std::thread> flood;
        for (int i = 0; i < 8; ++i)
            flood.emplace_back([&, i] {
                while (!stop) {
                    RawTlsClient c("127.0.4." + QByteArray::number(i + 1), port, 5000);
                    handshakes += c.ok();
                }
            });
        Prober prober(port);
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(10)); // the span measured
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        prober.finish(state);
        stop = true;
        for (std::thread& t : flood)
            t.join();
        state.SetIterationTime(s);
        state.counters["handshakes_per_s"] = double(handshakes.load()) / s;
    }
    server.terminate();
    server.waitForFinished(20000);
}
BENCHMARK(handshakeFlood)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::signal(SIGPIPE, SIG_IGN); // the slow clients write to connections the server has cut
    ThrowawayCA ca;
    if (!ca.make())
        return 1;
    g_ca = &ca;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
