// Refreshing 50 news sources served on loopback: the main thread's own CPU time for the whole refresh
// (its event loop, the merge and the stores), with the server on a thread of its own so that its work
// is not counted. The wall time is reported beside it.
#include "fakes/FakeClock.h"
#include "fakes/LoopbackHttp.h"
#include "fakes/TestSupport.h"
#include "services/NewsService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>

namespace {

constexpr int kSources = 50;
constexpr int kEntriesPerSource = 30;

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

QByteArray feedOf(int source, int round) {
    QByteArray doc =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?><rss version=\"2.0\"><channel><title>Source " +
        QByteArray::number(source) + "</title>";
    for (int i = 0; i < kEntriesPerSource; ++i) {
        const QByteArray id =
            QByteArray::number(source) + "-" + QByteArray::number(round * kEntriesPerSource + i);
        doc += "<item><title>Entry " + id + "</title><link>https://bench.example/" + id + "</link><guid>" +
               id + "</guid><pubDate>Tue, 03 Jun 2008 11:" + QByteArray::number(10 + i % 50) +
               ":30 +0000</pubDate><description>&lt;p&gt;A summary of a few words, &lt;b&gt;bold&lt;/b&gt; "
               "and plain, as feeds carry them.&lt;/p&gt;</description></item>";
    }
    return doc + "</channel></rss>";
}

} // namespace

static void newsRefresh50Sources(benchmark::State& state) {
    QThread serverThread;
    serverThread.start();
    auto* anchor = new QObject;
    anchor->moveToThread(&serverThread);
    LoopbackHttp* server = nullptr;
    QMetaObject::invokeMethod(
        anchor, [&] { server = new LoopbackHttp; }, Qt::BlockingQueuedConnection);
    auto serve = [&](int round) {
        QMetaObject::invokeMethod(
            server,
            [&, round] {
                for (int s = 0; s < kSources; ++s)
                    server->set(QStringLiteral("/feed%1.xml").arg(s), 200, feedOf(s, round));
            },
            Qt::BlockingQueuedConnection);
    };
    serve(0);

    // The server is stopped on every way out, so that a skipped run does not leave its thread running.
    auto stopServer = [&] {
        QMetaObject::invokeMethod(
            server, [server] { delete server; }, Qt::BlockingQueuedConnection);
        serverThread.quit();
        serverThread.wait();
    };

    FakeClock clock;
    // Stores of its own for each repetition, so that a repetition starts with no sources.
    static int run = 0;
    NewsWriter writer;
    auto news = std::make_unique<NewsService>(clock, writer, TestSupport::folders().supportDir(),
                                              QStringLiteral("benchnews%1").arg(++run));
    auto idle = [&] { return !news->adding() && !news->refreshing(); };
    for (int s = 0; s < kSources; ++s) {
        news->addFeed(server->url(QStringLiteral("/feed%1.xml").arg(s)).toString());
        if (!TestSupport::waitUntil(idle, 30000)) {
            state.SkipWithError("adding a source did not finish");
            news.reset();
            stopServer();
            return;
        }
    }
    if (news->feeds().size() != kSources) {
        state.SkipWithError("not every source was added");
        news.reset();
        stopServer();
        return;
    }

    int round = 0;
    double wall = 0;
    for (auto _ : state) {
        serve(++round); // fresh entries each time, so the merge has work to do
        QElapsedTimer timer;
        timer.start();
        const double cpu0 = threadCpuSeconds();
        news->refresh(true);
        if (!TestSupport::waitUntil(idle, 60000)) {
            state.SkipWithError("refresh did not finish");
            break;
        }
        state.SetIterationTime(threadCpuSeconds() - cpu0);
        wall += timer.nsecsElapsed() / 1e6;
    }
    state.counters["wall_ms"] = benchmark::Counter(wall, benchmark::Counter::kAvgIterations);
    state.counters["items"] = double(news->items().size());
    news.reset();
    stopServer();
}
// The time shown is the main thread's CPU time for one refresh of all 50 sources.
BENCHMARK(newsRefresh50Sources)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

int main(int argc, char** argv) {
    auto home = TestSupport::isolateHome();
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
