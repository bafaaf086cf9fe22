// What a saved command costs the Terminal tab: resident memory per extra command (goal under 10 KB), and
// the time from building the tab over 1000 commands to its first painted frame (goal under 100 ms).
//
// Memory is read in fresh child processes (this executable with --rows-child=N), so that one run's
// caches and heap do not flatter the next: resident size with N commands minus that with none, over N.
#include "fakes/FakeClock.h"
#include "fakes/FakePasteboard.h"
#include "fakes/TestSupport.h"
#include "model/SavedCommand.h"
#include "services/ClipboardService.h"
#include "services/CommandsService.h"
#include "views/Spring.h"
#include "views/TerminalTab.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>

namespace {

// Writes `count` saved commands straight into the sandbox's store, as an earlier run would have left them.
void seedCommands(TestSupport::ServiceSandbox& box, int count) {
    QList<SavedCommand> commands;
    commands.reserve(count);
    for (int i = 0; i < count; ++i)
        commands.append({QUuid::createUuid(), QStringLiteral("service %1").arg(i),
                         QStringLiteral("npm run dev -- --port %1").arg(3000 + i),
                         i % 2 ? std::optional<QString>(QStringLiteral("/srv/app%1").arg(i)) : std::nullopt});
    QDir().mkpath(box.path(QStringLiteral("support")));
    QFile f(box.path(QStringLiteral("support/commands.json")));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(SavedCommandCodec::encodeList(commands));
}

long residentKB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// What a tab copies through; nothing is copied while measuring.
struct BenchClipboard {
    FakePasteboard pasteboard;
    FakeClock clock;
    ClipboardService service{pasteboard, clock,
                             QDir::temp().filePath(QStringLiteral("bench-clipboard.json"))};
};

// The child: the tab over `count` commands, laid out and painted, then its resident size in KB on stdout.
int runChild(int count) {
    TestSupport::ServiceSandbox box;
    seedCommands(box, count);
    CommandsService& service = box.service();
    BenchClipboard clipboard;
    TerminalTab tab(service, clipboard.service);
    tab.resize(640, 320);
    tab.show();
    QCoreApplication::processEvents();
    tab.grab();
    QCoreApplication::processEvents();
    std::printf("%ld\n", residentKB());
    return service.commands().size() == count ? 0 : 1;
}

long childResidentKB(int count) {
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--rows-child=%1").arg(count)});
    if (!child.waitForFinished(120000) || child.exitCode() != 0)
        return -1;
    return child.readAllStandardOutput().trimmed().toLong();
}

} // namespace

static void BM_ResidentPerCommand(benchmark::State& state) {
    const int count = int(state.range(0));
    long base = -1, loaded = -1;
    for (auto _ : state) {
        base = childResidentKB(0);
        loaded = childResidentKB(count);
    }
    if (base < 0 || loaded < 0) {
        state.SkipWithError("child failed");
        return;
    }
    state.counters["rss_none_MB"] = double(base) / 1024.0;
    state.counters["rss_all_MB"] = double(loaded) / 1024.0;
    state.counters["KB_per_command"] = double(loaded - base) / count;
}
BENCHMARK(BM_ResidentPerCommand)->Arg(1000)->Arg(5000)->Iterations(1)->Unit(benchmark::kMillisecond);

// Built, laid out and painted once, as the dashboard shows the tab; torn down outside the timing.
static void BM_TerminalTabShown(benchmark::State& state) {
    TestSupport::ServiceSandbox box;
    seedCommands(box, int(state.range(0)));
    CommandsService& service = box.service();
    BenchClipboard clipboard;
    for (auto _ : state) {
        auto tab = std::make_unique<TerminalTab>(service, clipboard.service);
        tab->resize(640, 320);
        tab->show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(tab->grab());
        state.PauseTiming();
        tab.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TerminalTabShown)->Arg(1000)->Unit(benchmark::kMillisecond);

// A change of the running set re-renders the rows that show.
static void BM_RunningStateChange(benchmark::State& state) {
    TestSupport::ServiceSandbox box;
    seedCommands(box, int(state.range(0)));
    CommandsService& service = box.service();
    BenchClipboard clipboard;
    TerminalTab tab(service, clipboard.service);
    tab.resize(640, 320);
    tab.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        emit service.runningIDsChanged();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        benchmark::DoNotOptimize(tab.grab());
    }
}
BENCHMARK(BM_RunningStateChange)->Arg(1000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--rows-child=", 13) == 0) {
            auto home = TestSupport::isolateHome();
            QApplication app(argc, argv);
            Animations::setEnabled(false);
            return runChild(std::atoi(argv[i] + 13));
        }
    }
    auto home = TestSupport::isolateHome();
    QApplication app(argc, argv);
    Animations::setEnabled(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
