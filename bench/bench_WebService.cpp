// The maker's web service: usage reports a second and the latency spread on loopback HTTPS, with
// several client threads keeping connections alive; how long an ordinary request takes while 40
// slow clients trickle their request heads in; reports stored a second and a probe's latency while 2000
// reports arrive at once from 125 addresses; and the server's peak memory under four endless chunked
// uploads.
#include "WebService.h"
#include "fakes/RawTlsClient.h"
#include "fakes/ReportBurst.h"
#include "fakes/SlowHttpsClient.h"
#include "fakes/ThrowawayCA.h"

#ifndef Q_MOC_RUN
#include <httplib.h>
#endif

#include <QCoreApplication>
#include <QFile>
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

// The server as its own process, so its memory is its own: four clients stream chunked report uploads
// that never end, connecting again each time they are cut, for the time given (ms).
void chunkedUploadsMemory(benchmark::State& state) {
    QTemporaryDir dir;
    QProcess server;
    // Its log goes to a file: a pipe nobody reads while the uploads run would soon hold the server up.
    server.setStandardOutputFile(dir.filePath("log"));
    server.start(QUILLBAY_WEB, {"--listen", "127.0.0.1:0", "--cert", g_ca->certFile(), "--key",
                                g_ca->keyFile(), "--root", dir.path(), "--db", dir.filePath("reports.db")});
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
        return;
    }
    const int port = m.captured(1).toInt();
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
