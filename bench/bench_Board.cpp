// Main-thread cost of the task board and the focus timer: a board of 500 cards loaded, one card moved
// and the board saved; and one half-second tick of a running timer.
#include "fakes/FakeClock.h"
#include "fakes/FakeTicker.h"
#include "fakes/TestSupport.h"
#include "model/KanbanCard.h"
#include "services/AppPaths.h"
#include "services/Defaults.h"
#include "services/KanbanService.h"
#include "services/PomodoroService.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

static void boardLoadMoveSave500(benchmark::State& state) {
    Defaults defaults(TestSupport::folders().defaultsFile("com.farrowlight.quillbay"));
    FakeClock clock;
    QList<KanbanCard> cards;
    for (int i = 0; i < 500; ++i)
        cards.append({QUuid::createUuid(), QStringLiteral("Task number %1 with a typical title").arg(i),
                      i % 3 ? std::optional<QString>() : QStringLiteral("Some details for the task"),
                      KanbanCards::kColumns[i % 3], clock.now()});
    defaults.set(KanbanService::kStorageKey, KanbanCards::encode(cards));
    for (auto _ : state) {
        KanbanService board(defaults, clock);
        const QUuid first = board.cards().front().id;
        board.move(first, KanbanColumn::done, board.cards().back().id);
        benchmark::DoNotOptimize(board.cards().size());
    }
    QCoreApplication::processEvents();
}
BENCHMARK(boardLoadMoveSave500)->Unit(benchmark::kMillisecond);

static void pomodoroTick(benchmark::State& state) {
    FakeClock clock;
    FakeTickerFactory tickers;
    PomodoroService timer(clock, tickers);
    timer.toggle();
    for (auto _ : state) {
        clock.advanceMs(1);
        timer.tick();
        if (!timer.isRunning()) {
            timer.select(PomodoroPhase::focus);
            timer.toggle();
        }
    }
}
BENCHMARK(pomodoroTick)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    auto home = TestSupport::isolateHome();
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
