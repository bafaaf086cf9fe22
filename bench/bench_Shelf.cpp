// Main-thread cost of the file shelf: loading a store of 200 entries (each one checked on disk), one
// drop that is saved at once, and the Shelf tab built over 200 entries.
#include "fakes/FakeClock.h"
#include "fakes/TestSupport.h"
#include "services/AppPaths.h"
#include "services/ShelfService.h"
#include "views/ShelfTab.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// A folder of `count` files and a shelf store that lists them all.
struct Fixture {
    QTemporaryDir files;
    QString store;
    explicit Fixture(int count) {
        FakeClock clock;
        store = QDir(files.path()).filePath("shelf.json");
        QList<QUrl> urls;
        for (int i = 0; i < count; ++i) {
            const QString path = files.filePath(QStringLiteral("document-%1.pdf").arg(i));
            QFile(path).open(QIODevice::WriteOnly);
            urls.append(QUrl::fromLocalFile(path));
        }
        ShelfService(clock, store).add(urls);
    }
};

} // namespace

static void shelfLoad200(benchmark::State& state) {
    Fixture fixture(200);
    FakeClock clock;
    for (auto _ : state) {
        ShelfService shelf(clock, fixture.store);
        benchmark::DoNotOptimize(shelf.items().size());
    }
}
BENCHMARK(shelfLoad200)->Unit(benchmark::kMillisecond);

static void shelfDropAndSave200(benchmark::State& state) {
    Fixture fixture(200);
    FakeClock clock;
    ShelfService shelf(clock, fixture.store);
    const QString extra = fixture.files.filePath("extra.txt");
    QFile(extra).open(QIODevice::WriteOnly);
    for (auto _ : state) {
        shelf.add({QUrl::fromLocalFile(extra)});
        state.PauseTiming();
        shelf.remove(shelf.items().constFirst().id);
        state.ResumeTiming();
    }
}
BENCHMARK(shelfDropAndSave200)->Unit(benchmark::kMillisecond);

static void shelfTabBuild200(benchmark::State& state) {
    Fixture fixture(200);
    FakeClock clock;
    ShelfService shelf(clock, fixture.store);
    for (auto _ : state) {
        ShelfTab tab(shelf);
        tab.resize(640, 280);
        benchmark::DoNotOptimize(&tab);
    }
}
BENCHMARK(shelfTabBuild200)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    auto home = TestSupport::isolateHome();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
