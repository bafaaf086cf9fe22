// The media and level indicator's main-thread costs: the look at both levels that each volume or
// backlight notice makes (an atomic load for the volume, two small file reads for the backlight), and one
// now-playing refresh with three players on a private session bus (the bus calls run on a worker; only
// starting the read and applying its result count).
#include "fakes/FakeTicker.h"
#include "fakes/PrivateBus.h"
#include "platform/dbus/DBusMediaPlayers.h"
#include "platform/posix/SystemClock.h"
#include "platform/pulse/PulseVolumeReader.h"
#include "platform/sysfs/SysfsBacklight.h"
#include "services/HUDService.h"
#include "services/MediaService.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>

namespace {

double threadCpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// A backlight folder like the kernel's, on the temporary file system.
std::unique_ptr<QTemporaryDir> backlightFixture() {
    auto dir = std::make_unique<QTemporaryDir>();
    QDir(dir->path()).mkpath(QStringLiteral("panel"));
    auto write = [&](const char* name, const char* text) {
        QFile f(dir->filePath(QStringLiteral("panel/") + QLatin1String(name)));
        if (f.open(QIODevice::WriteOnly))
            f.write(text);
    };
    write("type", "raw\n");
    write("brightness", "480\n");
    write("max_brightness", "960\n");
    return dir;
}

// The look as the program makes it: the Pulse reader's cached level (no server here: the same atomic
// load) and the backlight files.
void BM_LevelPoll(benchmark::State& state) {
    const auto fixture = backlightFixture();
    const QString root =
        QDir("/sys/class/backlight").isEmpty() ? fixture->path() : QStringLiteral("/sys/class/backlight");
    SysfsBacklight brightness(root);
    PulseVolumeReader volume(QByteArrayLiteral("unix:/nonexistent/quillbay-bench"));
    FakeTickerFactory tickers;
    HUDService hud(volume, brightness, tickers);
    for (auto _ : state)
        hud.poll();
    state.SetLabel(root == fixture->path() ? "backlight fixture on tmpfs" : "/sys/class/backlight");
}
BENCHMARK(BM_LevelPoll)->Unit(benchmark::kMicrosecond);

// The same look on a machine with neither reading (no backlight: its files are not even opened).
void BM_LevelPollNothingToRead(benchmark::State& state) {
    SysfsBacklight brightness(QStringLiteral("/nonexistent/backlight"));
    PulseVolumeReader volume(QByteArrayLiteral("unix:/nonexistent/quillbay-bench"));
    FakeTickerFactory tickers;
    HUDService hud(volume, brightness, tickers);
    for (auto _ : state)
        hud.poll();
}
BENCHMARK(BM_LevelPollNothingToRead)->Unit(benchmark::kMicrosecond);

// One refresh with three players: the main thread's processor time from the request to the applied
// result, the wait for the bus excluded (reported apart as the wall time).
void BM_MediaRefreshThreePlayers(benchmark::State& state) {
    if (!PrivateBus::available()) {
        state.SkipWithError("dbus-run-session is not installed");
        return;
    }
    PrivateBus bus;
    std::vector<std::unique_ptr<FakePlayerProcess>> players;
    for (const QStringList& args :
         {QStringList{"vlc", "VLC media player", "vlc", "Paused", "A"},
          QStringList{"rhythmbox", "Rhythmbox", "rhythmbox", "Playing", "B"},
          QStringList{"chromium.instance5", "Chromium", "chromium", "Playing", "C"}}) {
        players.push_back(std::make_unique<FakePlayerProcess>(bus, args));
        if (!players.back()->waitReady()) {
            state.SkipWithError("a fake player did not start");
            return;
        }
    }
    SystemClock clock;
    FakeTickerFactory tickers;
    DBusMediaPlayers mpris(bus.connection());
    MediaService media(&mpris, clock, tickers);
    // A real wait on the event loop: the main thread sleeps while the worker talks to the bus.
    QEventLoop loop;
    QObject::connect(&media, &MediaService::isLoadingChanged, &loop, [&] {
        if (!media.isLoading())
            loop.quit();
    });
    if (media.isLoading())
        loop.exec();
    double wall = 0;
    for (auto _ : state) {
        QElapsedTimer elapsed;
        elapsed.start();
        const double cpu0 = threadCpuSeconds();
        media.refresh();
        if (media.isLoading())
            loop.exec();
        state.SetIterationTime(threadCpuSeconds() - cpu0);
        wall += double(elapsed.nsecsElapsed()) / 1e6;
    }
    state.counters["wall_ms"] = benchmark::Counter(wall, benchmark::Counter::kAvgIterations);
    state.SetLabel(media.track() ? media.track()->app.toStdString() : std::string("no track"));
}
BENCHMARK(BM_MediaRefreshThreePlayers)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

// A read that must ask every player: eight paused players are asked before the browser video that
// plays. Wall time of the whole read on its worker.
void BM_MediaReadManyPausedPlayers(benchmark::State& state) {
    if (!PrivateBus::available()) {
        state.SkipWithError("dbus-run-session is not installed");
        return;
    }
    PrivateBus bus;
    std::vector<std::unique_ptr<FakePlayerProcess>> players;
    QList<QStringList> setups;
    for (int i = 0; i < 8; ++i)
        setups << QStringList{QStringLiteral("player%1").arg(i), QStringLiteral("Player %1").arg(i), "",
                              "Paused", QStringLiteral("Track %1").arg(i)};
    setups << QStringList{"chromium.instance99", "Chromium", "chromium", "Playing", "Video"};
    for (const QStringList& args : std::as_const(setups)) {
        players.push_back(std::make_unique<FakePlayerProcess>(bus, args));
        if (!players.back()->waitReady()) {
            state.SkipWithError("a fake player did not start");
            return;
        }
    }
    DBusMediaPlayers mpris(bus.connection());
    std::optional<MediaService::Read> read;
    for (auto _ : state)
        read = MediaService::readTrack(mpris);
    state.SetLabel(read ? read->track.title.toStdString() : std::string("no track"));
}
BENCHMARK(BM_MediaReadManyPausedPlayers)->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace

int main(int argc, char** argv) {
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
