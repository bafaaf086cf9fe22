// The clipboard history's costs: the idle poll that runs every second for the life of the program, one
// very large copy processed (cut, filter, insert, save; the X transfer excluded), a full save, and a
// long copy of xclip through the X server: how soon the history has its start, and how soon the rest is
// received and dropped; and how long an owner that never answers keeps the main thread from its events.
#include "fakes/FakeClock.h"
#include "fakes/FakePasteboard.h"
#include "model/ClipItem.h"
#include "platform/x11/X11Pasteboard.h"
#include "services/AppPaths.h"
#include "services/ClipboardService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

namespace {

// Resident set size and its high-water mark, in bytes.
qint64 statusField(const char* name) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(name))
            return line.mid(qstrlen(name)).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}
void resetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

void BM_IdlePoll(benchmark::State& state) {
    QTemporaryDir dir;
    FakePasteboard board;
    FakeClock clock;
    ClipboardService service(board, clock, dir.filePath(QStringLiteral("c.json")));
    for (auto _ : state)
        service.poll();
    state.counters["text_reads"] = board.textReads;
}
BENCHMARK(BM_IdlePoll);

// The same against the real X clipboard: the count is kept by the reading thread, so an idle poll
// never asks the X server anything.
// The real X clipboard, or null (and the benchmark skipped) without one.
std::unique_ptr<X11Pasteboard> x11Board(benchmark::State& state) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        state.SkipWithError("no X display");
        return nullptr;
    }
    auto board = X11Pasteboard::create();
    if (!board)
        state.SkipWithError("no XFixes");
    return board;
}

// A history over the real X clipboard; without one, neither (and the benchmark skipped).
struct X11History {
    explicit X11History(benchmark::State& state)
        : board(x11Board(state)) {
        if (board)
            service =
                std::make_unique<ClipboardService>(*board, clock, dir.filePath(QStringLiteral("c.json")));
    }
    std::unique_ptr<X11Pasteboard> board;
    QTemporaryDir dir;
    FakeClock clock;
    std::unique_ptr<ClipboardService> service; // last: it refers to the others
};

void BM_IdlePollX11(benchmark::State& state) {
    X11History history(state);
    if (!history.service)
        return;
    for (auto _ : state)
        history.service->poll();
}
BENCHMARK(BM_IdlePollX11);

void BM_ProcessLargeCopy(benchmark::State& state) {
    const qsizetype bytes = state.range(0);
    QTemporaryDir dir;
    FakePasteboard board;
    FakeClock clock;
    ClipboardService service(board, clock, dir.filePath(QStringLiteral("c.json")));
    // 10 MB of text as it arrives: UTF-8 bytes of mostly ASCII with some wider characters.
    QString text = QString::fromUtf8(QByteArray(bytes, 'x'));
    for (qsizetype i = 0; i < text.size(); i += 997)
        text[i] = QChar(0x00e9);
    qint64 peakExtra = 0;
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        text[0] = QChar(u'a' + (round++ % 26)); // a new text each time, so it is recorded
        board.copy(text);
        const qint64 before = statusField("VmRSS:");
        resetPeak();
        state.ResumeTiming();
        service.poll();
        service.flush();
        state.PauseTiming();
        peakExtra = std::max(peakExtra, statusField("VmHWM:") - before);
        state.ResumeTiming();
    }
    state.counters["text_bytes"] = double(bytes);
    state.counters["peak_extra_bytes"] = double(peakExtra);
    state.counters["peak_over_text"] = double(peakExtra) / double(bytes);
}
BENCHMARK(BM_ProcessLargeCopy)->Arg(10 * 1024 * 1024)->Unit(benchmark::kMillisecond)->Iterations(20);

// Waits for `done` while the event loop runs; the milliseconds it took, or -1 past the limit.
double msUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs)
            return -1;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(200);
    }
    return double(t.nsecsElapsed()) / 1e6;
}

// `head -c N | base64 | xclip -selection clipboard`: the time from xclip's start to the history's
// text (its first 4 MiB), and on to the end of the transfer, which xclip needs to go on serving.
void BM_LongCopyX11(benchmark::State& state) {
    if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty()) {
        state.SkipWithError("xclip is not installed");
        return;
    }
    auto board = x11Board(state);
    if (!board)
        return;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("copy.txt"));
    QProcess::execute(
        QStringLiteral("sh"),
        {QStringLiteral("-c"),
         QStringLiteral("head -c %1 /dev/urandom | base64 > '%2'").arg(state.range(0)).arg(file)});
    double drainMs = 0;
    qint64 peak = 0;
    for (auto _ : state) {
        const quint64 count = board->changeCount();
        resetPeak();
        QProcess xclip;
        xclip.start(QStringLiteral("xclip"), {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                                              QStringLiteral("clipboard"), QStringLiteral("-i"), file});
        xclip.waitForStarted(5000);
        const double readMs = msUntil([&] { return board->changeCount() != count; }, 30000);
        const double endMs = msUntil([&] { return board->drainingTransfers() == 0; }, 30000);
        if (readMs < 0 || endMs < 0) {
            state.SkipWithError("the copy was not read in time");
            return;
        }
        state.SetIterationTime(readMs / 1000);
        drainMs += endMs;
        peak = std::max(peak, statusField("VmHWM:"));
        xclip.kill();
        xclip.waitForFinished(5000);
    }
    state.counters["rest_received_ms"] = benchmark::Counter(drainMs, benchmark::Counter::kAvgIterations);
    state.counters["peak_rss_bytes"] = double(peak);
}
BENCHMARK(BM_LongCopyX11)
    ->Arg(20 * 1024 * 1024)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// An owner that never answers: the longest the main thread goes without serving a 5 ms timer while the
// history polls every 10 ms and the read waits for the owner, up to its giving up (given_up_ms).
void BM_SilentOwnerStallX11(benchmark::State& state) {
    X11History history(state);
    if (!history.service)
        return;
    X11Pasteboard* board = history.board.get();
    double givenUpMs = 0;
    for (auto _ : state) {
        const quint64 count = board->changeCount();
        QProcess owner;
        owner.start(QStringLiteral(QUILLBAY_CLIP_OWNER), {QStringLiteral("silent")});
        if (!owner.waitForStarted(5000) || !owner.waitForReadyRead(5000)) {
            state.SkipWithError("the silent owner did not start");
            return;
        }
        QTimer poller, tick;
        QObject::connect(&poller, &QTimer::timeout, history.service.get(), &ClipboardService::poll);
        QElapsedTimer gap;
        qint64 longest = 0;
        QObject::connect(&tick, &QTimer::timeout, [&] { longest = std::max(longest, gap.restart()); });
        poller.start(10);
        gap.start();
        tick.start(5);
        const double ms =
            msUntil([&] { return board->changeCount() != count; }, X11Pasteboard::kReadTimeoutMs + 10000);
        if (ms < 0) {
            state.SkipWithError("the read never gave up");
            return;
        }
        state.SetIterationTime(double(longest) / 1000);
        givenUpMs += ms;
        owner.kill();
        owner.waitForFinished(5000);
    }
    state.counters["given_up_ms"] = benchmark::Counter(givenUpMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_SilentOwnerStallX11)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

QList<ClipItem> fullHistory() {
    QList<ClipItem> items;
    FakeClock clock;
    for (int i = 0; i < 60; ++i) {
        QString text(10000, QChar(u'a' + i % 26));
        text[5] = u'"';
        text[9] = u'\n';
        items.append({QUuid::createUuid(), text, clock.now().addSecs(-i), i >= 40});
    }
    return items;
}

// Encoding and writing the file as the save thread does it.
void BM_SaveFullHistory(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("clipboard.json"));
    const QList<ClipItem> items = fullHistory();
    for (auto _ : state) {
        const QByteArray bytes = ClipItemCodec::encode(items);
        benchmark::DoNotOptimize(AppPaths::writePrivate(bytes, path));
    }
}
BENCHMARK(BM_SaveFullHistory)->Unit(benchmark::kMillisecond);

void BM_EncodeFullHistory(benchmark::State& state) {
    const QList<ClipItem> items = fullHistory();
    for (auto _ : state)
        benchmark::DoNotOptimize(ClipItemCodec::encode(items));
}
BENCHMARK(BM_EncodeFullHistory)->Unit(benchmark::kMillisecond);

// What a save costs the main thread: a pin toggle hands the list to the save thread and returns.
// The count is fixed: the untimed wait for each save (an fsync) is far longer than the timed part, so a
// count chosen to fill the benchmark's minimum time would take hours.
void BM_SaveMainThreadPart(benchmark::State& state) {
    QTemporaryDir dir;
    FakePasteboard board;
    FakeClock clock;
    const QString path = dir.filePath(QStringLiteral("clipboard.json"));
    AppPaths::writePrivate(ClipItemCodec::encode(fullHistory()), path);
    ClipboardService service(board, clock, path);
    for (auto _ : state) {
        service.togglePin(service.items().first());
        state.PauseTiming();
        service.flush();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SaveMainThreadPart)->Unit(benchmark::kMicrosecond)->Iterations(200);

} // namespace

int main(int argc, char** argv) {
    std::unique_ptr<QCoreApplication> app;
    int qtArgc = 1;
    if (qEnvironmentVariableIsSet("DISPLAY"))
        app = std::make_unique<QGuiApplication>(qtArgc, argv);
    else
        app = std::make_unique<QCoreApplication>(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
