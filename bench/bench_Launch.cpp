// The built program on a private X server: time from start to the island's panel being mapped, from
// start to the island drawn with an empty or a heavy home (and what the program then holds), and from the
// pointer reaching the notch to the island growing (what the idle program costs is bench_Idle's). Without
// a display it re-runs itself under tests/x11/with-xvfb.
#include "fakes/LogFixtures.h"
#include "model/ClipItem.h"
#include "model/Feed.h"
#include "model/NewsItem.h"
#include "model/SavedCommand.h"
#include "support/ProgramRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace ProgramRun;
using Clock = std::chrono::steady_clock;
const std::string kBinary = QUILLBAY_BINARY_DIR "/quillbay";

// The width of the black run across the panel's columns on row `y` of the screen: the island's width.
int blackRunWidth(xcb_connection_t* c, int16_t y) {
    constexpr int16_t left = 616;
    constexpr uint16_t width = 688;
    xcb_get_image_reply_t* r = xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, xcb_setup_roots_iterator(xcb_get_setup(c)).data->root,
                      left, y, width, 1, ~0u),
        nullptr);
    int black = 0;
    if (r && xcb_get_image_data_length(r) >= int(width) * 4) {
        const uint8_t* d = xcb_get_image_data(r);
        for (int x = 0; x < width; ++x)
            black += d[4 * x] == 0 && d[4 * x + 1] == 0 && d[4 * x + 2] == 0;
    }
    free(r);
    return black;
}

// The distinct widths the island shows on its way from collapsed to full, sampled as fast as the
// server answers; a jump shows one or none.
int widthsOnTheWay(xcb_connection_t* c, std::chrono::milliseconds timeout) {
    std::vector<int> seen;
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        const int w = blackRunWidth(c, 20);
        if (w >= 639)
            break;
        if (w > 197 && std::find(seen.begin(), seen.end(), w) == seen.end())
            seen.push_back(w);
    }
    return int(seen.size());
}

void BM_LaunchToPanelMapped(benchmark::State& state) {
    xcb_connection_t* c = watchRoot();
    if (!c) {
        state.SkipWithError("no X display");
        return;
    }
    for (auto _ : state) {
        const std::string home = makeHome();
        const auto started = Clock::now();
        const pid_t pid = startProgram(kBinary, home, false);
        const bool mapped = waitForPanel(c, std::chrono::seconds(10));
        const auto elapsed = Clock::now() - started;
        stopProgram(pid);
        if (!mapped) {
            state.SkipWithError("the panel was never mapped");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
    }
    xcb_disconnect(c);
}
BENCHMARK(BM_LaunchToPanelMapped)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// What a heavy home holds, by the bench's argument.
enum Heavy { kEmpty = 0, kNews = 1, kCommandsAndClips = 2, kAll = 3, kFeedsOnly = 4 };

bool writeStore(const std::string& home, const char* name, const QByteArray& bytes) {
    const QString dir = QString::fromStdString(home) + "/.local/share/Quillbay";
    QFile f(dir + "/" + name);
    return QDir().mkpath(dir) && f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// 50 followed sources of 200 entries each (about 5 MB); the sources point at a closed loopback port, so the
// launch's refresh fails at once and leaves the entries as they are.
bool writeNews(const std::string& home, int perFeed = 200) {
    QList<Feed> feeds;
    QList<NewsItem> items;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int f = 0; f < 50; ++f) {
        const Feed feed{QUuid::createUuid(), QString("Source %1").arg(f),
                        QString("http://127.0.0.1:9/s%1").arg(f),
                        QString("http://127.0.0.1:9/s%1/feed.xml").arg(f)};
        feeds << feed;
        for (int i = 0; i < perFeed; ++i) {
            const QString link =
                QString("https://source%1.example/posts/2026/%2-a-fairly-long-slug").arg(f).arg(i);
            items << NewsItem{
                QString("A summary of entry %1 that runs on for a while, as the first lines of an "
                        "article do when a source puts them in its feed: %2")
                    .arg(i)
                    .arg(QString(180, QChar('s'))),
                link,
                feed.id,
                feed.title,
                QString("Entry %1 of source %2, with a headline of ordinary length").arg(i).arg(f),
                link,
                now.addSecs(-60 * (f * 200 + i)),
                i % 3 != 0};
        }
    }
    return writeStore(home, "news-feeds.json", Feeds::encode(feeds)) &&
           writeStore(home, "news-items.json", NewsItems::encode(items));
}

// 5000 saved commands and 1000 clipboard entries (pinned, so that none is dropped for its age).
bool writeCommandsAndClips(const std::string& home) {
    QList<SavedCommand> commands;
    for (int i = 0; i < 5000; ++i)
        commands << SavedCommand{
            QUuid::createUuid(), QString("service %1").arg(i),
            QString("cd /srv/app%1 && exec ./run --port %2 --verbose").arg(i).arg(8000 + i),
            i % 2 ? std::optional<QString>(QString("/home/zuz/code/app%1").arg(i)) : std::nullopt};
    QList<ClipItem> clips;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (int i = 0; i < 1000; ++i)
        clips << ClipItem{QUuid::createUuid(), QString("copied text %1: ").arg(i) + QString(200, QChar('c')),
                          now.addSecs(-i), true};
    return writeStore(home, "commands.json", SavedCommandCodec::encodeList(commands)) &&
           writeStore(home, "clipboard.json", ClipItemCodec::encode(clips));
}

// 20,000 Claude Code logs of about 8 KB, written once and reached from each home through a link.
std::string claudeLogs() {
    static QTemporaryDir dir;
    static const bool made = [] {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (int f = 0; f < 20000; ++f) {
            const QByteArray ts = now.addSecs(-7200 - f).toString(Qt::ISODateWithMs).toUtf8();
            QByteArray body;
            while (body.size() < 8000)
                body +=
                    R"({"type":"assistant","timestamp":")" + ts + R"(","message":{"id":"msg_)" +
                    QByteArray::number(f) + "_" + QByteArray::number(body.size()) +
                    R"(","role":"assistant","content":[{"type":"text","text":")" + QByteArray(1500, 't') +
                    R"("}],"usage":{"input_tokens":4,"cache_creation_input_tokens":1234,"output_tokens":321}},"requestId":"req_1"})"
                    "\n";
            const QString path =
                dir.path() + QString("/projects/-home-zuz-projetos-app%1/s%2.jsonl").arg(f / 100).arg(f);
            if (!LogFixtures::write(path, body, now.addSecs(-7200 - f)))
                return false;
        }
        return true;
    }();
    return made ? dir.path().toStdString() : std::string();
}

double privateDirtyMB(pid_t pid) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    for (std::string line; std::getline(rollup, line);)
        if (line.rfind("Private_Dirty:", 0) == 0)
            return std::stod(line.substr(14)) / 1024.0;
    return -1;
}

double loadAverage() {
    std::ifstream loadavg("/proc/loadavg");
    double one = -1;
    loadavg >> one;
    return one;
}

// From start to the collapsed island's black showing on a white screen, with a home that is empty or
// heavy (argument: 0 empty, 1 news, 2 commands and clips, 3 all of them and 20,000 Claude logs, 4 the 50
// news sources without entries, what the news case costs beyond its entries); then, once
// the program has settled for 5 s, its private dirty memory.
void BM_LaunchToIslandDrawn(benchmark::State& state) {
    xcb_connection_t* c = watchRoot();
    if (!c) {
        state.SkipWithError("no X display");
        return;
    }
    const int heavy = int(state.range(0));
    const std::string logs = heavy == kAll ? claudeLogs() : std::string();
    const xcb_window_t backdrop = whiteBackdrop(c);
    movePointer(c, 200, 900);
    std::vector<double> dirty, load;
    for (auto _ : state) {
        const std::string home = makeHome();
        bool ok = !home.empty();
        if (ok && (heavy == kNews || heavy == kAll))
            ok = writeNews(home);
        if (ok && heavy == kFeedsOnly)
            ok = writeNews(home, 0);
        if (ok && (heavy == kCommandsAndClips || heavy == kAll))
            ok = writeCommandsAndClips(home);
        if (ok && heavy == kAll)
            ok = !logs.empty() && symlink(logs.c_str(), (home + "/.claude").c_str()) == 0;
        if (!ok) {
            state.SkipWithError("could not write the home");
            break;
        }
        load.push_back(loadAverage());
        const auto started = Clock::now();
        const pid_t pid = startProgram(kBinary, home, false);
        const bool drawn = waitForPixel(c, 960, 12, true, std::chrono::seconds(20));
        const auto elapsed = Clock::now() - started;
        if (drawn) {
            std::this_thread::sleep_for(std::chrono::seconds(5)); // the stores and first refreshes settle
            dirty.push_back(privateDirtyMB(pid));
        }
        stopProgram(pid);
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored); // the link to the shared logs goes, not the logs
        if (!drawn) {
            state.SkipWithError("the island was never drawn");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
    }
    if (!dirty.empty()) {
        std::sort(dirty.begin(), dirty.end());
        state.counters["private_dirty_MB"] = dirty[dirty.size() / 2];
    }
    if (!load.empty())
        state.counters["load_avg"] = *std::max_element(load.begin(), load.end());
    xcb_destroy_window(c, backdrop);
    xcb_disconnect(c);
}
BENCHMARK(BM_LaunchToIslandDrawn)
    ->ArgName("heavy")
    ->DenseRange(kEmpty, kFeedsOnly)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// From the pointer reaching the notch to the island visibly growing below the collapsed height (the
// row watched lies above the dashboard's tab bar, so only the island's black can cover it), and the
// widths the island then shows before it is full: its animation frames, as far as sampling sees them.
void BM_PointerToExpanding(benchmark::State& state) {
    xcb_connection_t* c = watchRoot();
    if (!c) {
        state.SkipWithError("no X display");
        return;
    }
    const xcb_window_t backdrop = whiteBackdrop(c);
    movePointer(c, 200, 900);
    const pid_t pid = startProgram(kBinary, makeHome(), false);
    if (!waitForPanel(c, std::chrono::seconds(10))) {
        stopProgram(pid);
        state.SkipWithError("the panel was never mapped");
        return;
    }
    std::vector<double> ms;  // the first opening after launch, then the warm ones
    std::vector<int> frames; // the widths seen on the way, likewise
    for (auto _ : state) {
        movePointer(c, 200, 900);
        if (!waitForPixel(c, 960, 35, false, std::chrono::seconds(5))) {
            state.SkipWithError("the island did not collapse");
            break;
        }
        const auto started = Clock::now();
        movePointer(c, 960, 5);
        if (!waitForPixel(c, 960, 35, true, std::chrono::seconds(5))) {
            state.SkipWithError("the island did not open");
            break;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
        frames.push_back(widthsOnTheWay(c, std::chrono::seconds(2)));
        state.SetIterationTime(seconds);
        ms.push_back(seconds * 1000.0);
    }
    if (!ms.empty()) {
        state.counters["first_ms"] = ms.front();
        std::vector<double> warm(ms.begin() + 1, ms.end());
        std::sort(warm.begin(), warm.end());
        if (!warm.empty())
            state.counters["warm_median_ms"] = warm[warm.size() / 2];
        state.counters["first_frames"] = frames.front();
        std::vector<int> warmFrames(frames.begin() + 1, frames.end());
        std::sort(warmFrames.begin(), warmFrames.end());
        if (!warmFrames.empty())
            state.counters["warm_median_frames"] = warmFrames[warmFrames.size() / 2];
    }
    stopProgram(pid);
    xcb_destroy_window(c, backdrop);
    xcb_disconnect(c);
}
BENCHMARK(BM_PointerToExpanding)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv) {
    if (!ProgramRun::ensureDisplay(argc, argv))
        return 1;
    QCoreApplication app(argc, argv); // the stores' codecs and the logs' fixtures use Qt's types
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
