// Downloading a 200 MB update over loopback HTTPS while it is hashed: the time, how much the process
// grows (it must not grow with the archive), and the longest the main thread went without running its
// events. The manifest's digest is deliberately wrong, so the run ends at the checksum step. The waits
// spin an event loop: QTest::qWaitFor sleeps 10 ms between looks, which the gap figure would count and
// which would hold back any work the main thread does for the transfer.
#include "fakes/FakeClock.h"
#include "fakes/HttpsFixture.h"
#include "fakes/ThrowawayCA.h"
#include "services/Defaults.h"
#include "services/UpdateService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>

#include <time.h>

namespace {

ThrowawayCA* g_ca = nullptr;

qint64 residentKB() {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

qint64 threadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Runs the event loop until the status is of kind `k`.
bool waitFor(UpdateService& updates, UpdateStatus::Kind k, int timeoutMs) {
    QEventLoop loop;
    QObject::connect(&updates, &UpdateService::statusChanged, &loop, [&] {
        if (updates.status().is(k))
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!updates.status().is(k))
        loop.exec();
    return updates.status().is(k);
}

void download(benchmark::State& state) {
    const qint64 size = state.range(0) * 1024 * 1024;
    QTemporaryDir dir;
    const QString archive = dir.filePath("big.tar.xz");
    {
        QFile f(archive);
        f.open(QIODevice::WriteOnly);
        QByteArray block(1 << 20, 'u');
        for (qint64 i = 0; i < size / block.size(); ++i)
            f.write(block);
    }
    HttpsFixture server(g_ca->certFile(), g_ca->keyFile());
    server.set("/downloads/big.tar.xz", HttpsFixture::Answer{200, {}, {}, {}, archive.toStdString()});
    server.set("/version.json", 200,
               QJsonDocument(QJsonObject{{"version", "9.0.0"},
                                         {"url", server.url("/downloads/big.tar.xz")},
                                         {"sha256", QString(64, 'c')}})
                   .toJson());
    Defaults defaults(dir.filePath("defaults.json"));
    FakeClock clock;
    UpdateService::Config c;
    c.host = server.authority();
    c.currentVersion = "1.0.0";
    c.workDir = dir.filePath("work");
    c.installDir = dir.filePath("install");
    UpdateService updates(defaults, clock, c);
    qint64 peakGrowthKB = 0;
    qint64 longestGapMs = 0;
    qint64 mainCpuNs = 0;
    for (auto _ : state) {
        updates.check();
        if (!waitFor(updates, UpdateStatus::Kind::available, 20000)) {
            state.SkipWithError("no offer");
            return;
        }
        const qint64 before = residentKB();
        QElapsedTimer gap;
        gap.start();
        QTimer tick;
        tick.setInterval(1);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            longestGapMs = std::max(longestGapMs, gap.restart());
            peakGrowthKB = std::max(peakGrowthKB, residentKB() - before);
        });
        tick.start();
        QElapsedTimer timer;
        timer.start();
        const qint64 cpuBefore = threadCpuNs();
        updates.downloadAndInstall();
        if (!waitFor(updates, UpdateStatus::Kind::error, 120000)) {
            state.SkipWithError("download did not end");
            return;
        }
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
        mainCpuNs += threadCpuNs() - cpuBefore;
        tick.stop();
    }
    state.counters["MB_per_s"] =
        benchmark::Counter(double(size) / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["rss_growth_MB"] = double(peakGrowthKB) / 1024.0;
    state.counters["main_thread_max_gap_ms"] = double(longestGapMs);
    // Per download; it includes the 1 ms tick's own work.
    state.counters["main_thread_cpu_ms"] = double(mainCpuNs) / 1e6 / double(state.iterations());
}
BENCHMARK(download)->Arg(50)->Arg(200)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ThrowawayCA ca;
    if (!ca.make())
        return 1;
    g_ca = &ca;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
