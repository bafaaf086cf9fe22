// The maker's web service: usage reports a second and the latency spread on loopback HTTPS, with
// several client threads keeping connections alive; and how long an ordinary request takes while 40
// slow clients trickle their request heads in.
#include "WebService.h"
#include "fakes/SlowHttpsClient.h"
#include "fakes/ThrowawayCA.h"

#ifndef Q_MOC_RUN
#include <httplib.h>
#endif

#include <QCoreApplication>
#include <QFile>
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

void reports(benchmark::State& state) {
    const int clients = int(state.range(0));
    QTemporaryDir dir;
    const WebService::Options o = optionsIn(dir);
    WebService service(o);
    const int port = service.bind("127.0.0.1", 0);
    if (port < 0) {
        state.SkipWithError("cannot listen");
        return;
    }
    service.start();
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
    const WebService::Options o = optionsIn(dir);
    {
        QFile v(dir.filePath("version.json"));
        if (v.open(QIODevice::WriteOnly))
            v.write("{\"version\":\"1.3.0\"}");
    }
    WebService service(o);
    const int port = service.bind("127.0.0.1", 0);
    if (port < 0) {
        state.SkipWithError("cannot listen");
        return;
    }
    service.start();
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
