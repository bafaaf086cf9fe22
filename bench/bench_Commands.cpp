// Targets for services: the port lookup over a tree of 50 processes (under 20 ms) and a stop of a
// 50-process tree from the press until the root has taken its signal and ended (under 100 ms).
#include "fakes/TestSupport.h"
#include "platform/ServiceLauncher.h"
#include "platform/procfs/LinuxProcessTable.h"
#include "services/CommandsService.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <csignal>

namespace {

// A shell with 49 sleeping children: 50 processes.
const QString kTree = QStringLiteral("sh -c 'for i in $(seq 49); do sleep 100 & done; wait'");

void BM_PortLookupTree50(benchmark::State& state) {
    LinuxProcessTable table;
    const qint32 root = TestSupport::spawnDetached(kTree);
    if (!TestSupport::waitUntil([&] { return table.tree(root).size() == 50; }, 5000)) {
        state.SkipWithError("tree did not come up");
        return;
    }
    for (auto _ : state) {
        const QList<quint16> ports = table.listeningPorts(table.tree(root));
        benchmark::DoNotOptimize(ports);
    }
    for (qint32 pid : table.tree(root))
        ::kill(pid, SIGKILL);
}
BENCHMARK(BM_PortLookupTree50)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StopTree50(benchmark::State& state) {
    TestSupport::ServiceSandbox box;
    CommandsService& service = box.service();
    const LinuxProcessTable& table = box.table;
    service.add("tree", kTree, std::nullopt);
    const SavedCommand cmd = service.commands().first();
    for (auto _ : state) {
        service.start(cmd);
        qint32 pid = -1;
        const bool up = TestSupport::waitUntil(
            [&] {
                pid = table.tree(QCoreApplication::applicationPid()).value(1, -1);
                return pid > 0 && table.tree(pid).size() == 50;
            },
            5000);
        if (!up) {
            state.SkipWithError("tree did not come up");
            return;
        }
        QElapsedTimer timer;
        timer.start();
        service.stop(cmd);
        if (!TestSupport::waitUntil([&] { return !service.runningIDs().contains(cmd.id); }, 5000)) {
            state.SkipWithError("tree did not stop");
            return;
        }
        state.SetIterationTime(timer.nsecsElapsed() / 1e9);
    }
}
BENCHMARK(BM_StopTree50)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

} // namespace

int main(int argc, char** argv) {
    auto home = TestSupport::isolateHome();
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
