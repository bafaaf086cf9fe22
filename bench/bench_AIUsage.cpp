// The AI usage readers on large inputs: the Claude local estimate over 500 MB of project logs (first read,
// unchanged, after 1 MB appended); each reader against `cat FILES > /dev/null` of the same files, side by
// side, on a 1 GB log without a line feed and on 500 MB of realistic logs (first and second read, CPU, wall
// time and peak memory); the Codex reader with a 200 MB newest log; and an agents scan over 200 session
// logs. Also what the estimate keeps and costs for 20,000 small unchanged logs, and what it keeps of eight
// logs that each end in an unfinished 30 MB line.
#include "fakes/FakeClock.h"
#include "fakes/LogFixtures.h"
#include "platform/SecretStore.h"
#include "services/AIUsageService.h"
#include "services/AgentSessionScanner.h"
#include "services/ClaudeLocalEstimate.h"
#include "services/CodexUsageReader.h"
#include "services/RecentLogs.h"
#include "services/WorkPool.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>

#include <chrono>
#include <ctime>
#include <functional>
#include <malloc.h>
#include <optional>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QDateTime kNow = QDateTime::currentDateTimeUtc();

// One conversation turn: the user's line, the answer with its usage, and a tool result without one.
QByteArray turn(int i) {
    const QByteArray ts = kNow.addSecs(-(i % 500000)).toString(Qt::ISODateWithMs).toUtf8();
    QByteArray out;
    out += R"({"parentUuid":"a","type":"user","timestamp":")" + ts +
           R"(","message":{"role":"user","content":")" + QByteArray(220, 'u') + "\"}}\n";
    out +=
        R"({"parentUuid":"b","type":"assistant","timestamp":")" + ts +
        R"(","message":{"id":"msg_01","role":"assistant","model":"claude","content":[{"type":"text","text":")" +
        QByteArray(900, 't') +
        R"("}],"usage":{"input_tokens":4,"cache_creation_input_tokens":1234,"cache_read_input_tokens":5678,"output_tokens":321}},"requestId":"req_1","cwd":"/home/zuz/projetos/app"})"
        "\n";
    out += R"({"parentUuid":"c","type":"user","timestamp":")" + ts + R"(","toolUseResult":{"stdout":")" +
           QByteArray(3000, 'o') + "\"}}\n";
    return out;
}

struct ClaudeLogs {
    QTemporaryDir home;
    QString last;
    ClaudeLogs() {
        QByteArray chunk;
        for (int i = 0; chunk.size() < 5 * 1024 * 1024; ++i)
            chunk += turn(i);
        for (int f = 0; f < 100; ++f) {
            last = home.path() +
                   QString("/.claude/projects/-home-zuz-projetos-app%1/s%2.jsonl").arg(f % 10).arg(f);
            if (!LogFixtures::write(last, chunk, kNow.addSecs(-60)))
                qFatal("cannot write the logs");
        }
    }
};

ClaudeLogs& claudeLogs() {
    static ClaudeLogs logs;
    return logs;
}

void BM_ClaudeEstimateFirst(benchmark::State& state) {
    ClaudeLogs& logs = claudeLogs();
    for (auto _ : state) {
        ClaudeLocalEstimate estimate(logs.home.path());
        benchmark::DoNotOptimize(estimate.read(kNow));
        state.counters["MB"] = double(estimate.lastBytesRead()) / 1e6;
    }
}
BENCHMARK(BM_ClaudeEstimateFirst)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ClaudeEstimateUnchanged(benchmark::State& state) {
    ClaudeLogs& logs = claudeLogs();
    ClaudeLocalEstimate estimate(logs.home.path());
    estimate.read(kNow);
    for (auto _ : state)
        benchmark::DoNotOptimize(estimate.read(kNow));
}
BENCHMARK(BM_ClaudeEstimateUnchanged)->Unit(benchmark::kMillisecond);

void BM_ClaudeEstimateAppended1MB(benchmark::State& state) {
    ClaudeLogs& logs = claudeLogs();
    ClaudeLocalEstimate estimate(logs.home.path());
    estimate.read(kNow);
    QByteArray more;
    for (int i = 0; more.size() < 1024 * 1024; ++i)
        more += turn(i);
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        LogFixtures::append(logs.last, more, kNow.addSecs(-50 + round++));
        state.ResumeTiming();
        benchmark::DoNotOptimize(estimate.read(kNow));
    }
}
BENCHMARK(BM_ClaudeEstimateAppended1MB)->Unit(benchmark::kMillisecond)->Iterations(10);

// One 1 GB log without a single line feed (a sparse file: no disk space, all zero bytes), where each reader
// looks for it.
struct OneLineLogs {
    QTemporaryDir home;
    QStringList files;
    OneLineLogs() {
        const qint64 size = 1024LL * 1024 * 1024;
        for (const QString& rel : {QStringLiteral("/.claude/projects/-p/one.jsonl"),
                                   QStringLiteral("/.codex/sessions/2026/01/02/rollout-one.jsonl")}) {
            const QString path = home.path() + rel;
            LogFixtures::write(path, QByteArray(), kNow);
            const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
            if (fd < 0 || ::ftruncate(fd, size) != 0)
                qFatal("cannot create the 1 GB log");
            ::close(fd);
            LogFixtures::touch(path, kNow.addSecs(-30));
            files << path;
        }
    }
};

OneLineLogs& oneLineLogs() {
    static OneLineLogs logs;
    return logs;
}

// 500 MB of realistic logs of each tool: Claude projects whose replies are streamed as three lines each,
// and Codex sessions whose every token count has no rate limits (the case where a log is read whole).
struct RealisticLogs {
    QTemporaryDir home;
    QStringList claudeFiles;
    QStringList codexFiles;
    RealisticLogs() {
        for (int f = 0; f < 100; ++f)
            claudeFiles
                << home.path() +
                       QString("/.claude/projects/-home-zuz-projetos-app%1/s%2.jsonl").arg(f % 10).arg(f);
        for (int f = 0; f < 10; ++f)
            codexFiles << home.path() + QString("/.codex/sessions/2026/01/02/rollout-%1.jsonl").arg(f);
        // Written by a child process: the bench's own peak memory, which a process it starts inherits
        // until it execs, stays small, and cat's figure with it.
        const pid_t pid = ::fork();
        if (pid == 0) {
            write();
            ::_exit(0);
        }
        int status = 0;
        if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            qFatal("cannot write the logs");
    }

    void write() const {
        QByteArray claude;
        for (int i = 0; claude.size() < 5 * 1024 * 1024; ++i) {
            const QByteArray t = turn(i);
            claude += t;
            // The answer line of the turn twice more, as a streamed reply writes it.
            const qsizetype a = t.indexOf('\n') + 1;
            claude += t.mid(a, t.indexOf('\n', a) + 1 - a).repeated(2);
        }
        for (int f = 0; f < claudeFiles.size(); ++f) {
            if (!LogFixtures::write(claudeFiles[f], claude, kNow.addSecs(-60 - f)))
                ::_exit(1);
        }
        QByteArray codex =
            R"({"timestamp":"2026-01-02T11:53:16.120Z","type":"session_meta","payload":{"id":"019a","cwd":"/home/zuz/code/shop","originator":"codex_cli_rs","cli_version":"0.58.0"}})"
            "\n";
        while (codex.size() < 50 * 1024 * 1024) {
            codex +=
                R"({"timestamp":"2026-01-02T11:54:02.500Z","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":5200,"cached_input_tokens":2048,"output_tokens":14,"reasoning_output_tokens":0,"total_tokens":5214},"model_context_window":272000},"rate_limits":null}})"
                "\n";
            codex +=
                R"({"timestamp":"2026-01-02T11:54:03.000Z","type":"response_item","payload":{"type":"message","role":"assistant","content":[{"type":"output_text","text":")" +
                QByteArray(1500 + codex.size() % 3000, 't') + "\"}]}}\n";
        }
        for (int f = 0; f < codexFiles.size(); ++f) {
            if (!LogFixtures::write(codexFiles[f], codex, kNow.addSecs(-60 - f)))
                ::_exit(1);
        }
    }
};

RealisticLogs& realisticLogs() {
    static RealisticLogs logs;
    return logs;
}

double seconds(const timeval& t) {
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

double cpuOf(const rusage& u) {
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

double wallNow() {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Cost {
    double firstCpu = -1, firstWall = -1, secondCpu = -1, secondWall = -1, peakMB = -1;
};

// Runs `read` twice in a child process: the CPU and wall time of each run, and the child's peak memory.
Cost childCost(const std::function<void()>& read) {
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        rusage a{}, b{}, c{};
        ::getrusage(RUSAGE_SELF, &a);
        const double w0 = wallNow();
        read();
        const double w1 = wallNow();
        ::getrusage(RUSAGE_SELF, &b);
        read();
        const double w2 = wallNow();
        ::getrusage(RUSAGE_SELF, &c);
        const double out[4] = {cpuOf(b) - cpuOf(a), w1 - w0, cpuOf(c) - cpuOf(b), w2 - w1};
        const ssize_t written = ::write(fds[1], out, sizeof out);
        ::_exit(written == ssize_t(sizeof out) ? 0 : 1);
    }
    ::close(fds[1]);
    double in[4] = {-1, -1, -1, -1};
    const ssize_t got = pid > 0 ? ::read(fds[0], in, sizeof in) : -1;
    ::close(fds[0]);
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || got != ssize_t(sizeof in))
        return {};
    return {in[0], in[1], in[2], in[3], double(usage.ru_maxrss) / 1024.0};
}

// `cat FILES > /dev/null`: its CPU and wall time and peak memory.
Cost catCost(const QStringList& files) {
    std::vector<QByteArray> args{"cat"};
    for (const QString& f : files)
        args.push_back(QFile::encodeName(f));
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const double w0 = wallNow();
    const int rc = ::posix_spawnp(&pid, "cat", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (rc != 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {};
    return {cpuOf(usage), wallNow() - w0, -1, -1, double(usage.ru_maxrss) / 1024.0};
}

// One reader against cat on the same files, side by side: each run's CPU and wall time, the peak memory of
// both, and how many times cat's CPU the first read costs. The files are read by cat once first, so that
// both read from the page cache.
template <typename Reader>
void againstCat(benchmark::State& state, const QString& home, const QStringList& files) {
    catCost(files);
    for (auto _ : state) {
        // One reader for both runs (made in the child at its first run): the second run is a refresh.
        std::optional<Reader> r;
        const Cost reader = childCost([&] {
            if (!r)
                r.emplace(home);
            benchmark::DoNotOptimize(r->read(kNow));
        });
        const Cost cat = catCost(files);
        const Cost base = childCost([] {});
        state.counters["first_cpu_s"] = reader.firstCpu;
        state.counters["first_wall_s"] = reader.firstWall;
        state.counters["second_cpu_s"] = reader.secondCpu;
        state.counters["second_wall_s"] = reader.secondWall;
        state.counters["peak_MB"] = reader.peakMB - base.peakMB;
        state.counters["cat_cpu_s"] = cat.firstCpu;
        state.counters["cat_wall_s"] = cat.firstWall;
        state.counters["cat_peak_MB"] = cat.peakMB;
        state.counters["first_cpu_vs_cat"] = cat.firstCpu > 0 ? reader.firstCpu / cat.firstCpu : -1;
        state.counters["first_wall_vs_cat"] = cat.firstWall > 0 ? reader.firstWall / cat.firstWall : -1;
    }
}

void BM_VsCat_1GBNoLineFeed_Claude(benchmark::State& state) {
    OneLineLogs& logs = oneLineLogs();
    againstCat<ClaudeLocalEstimate>(state, logs.home.path(), {logs.files[0]});
}
BENCHMARK(BM_VsCat_1GBNoLineFeed_Claude)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_VsCat_1GBNoLineFeed_Codex(benchmark::State& state) {
    OneLineLogs& logs = oneLineLogs();
    againstCat<CodexUsageReader>(state, logs.home.path(), {logs.files[1]});
}
BENCHMARK(BM_VsCat_1GBNoLineFeed_Codex)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_VsCat_500MBRealistic_Claude(benchmark::State& state) {
    RealisticLogs& logs = realisticLogs();
    againstCat<ClaudeLocalEstimate>(state, logs.home.path(), logs.claudeFiles);
}
BENCHMARK(BM_VsCat_500MBRealistic_Claude)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_VsCat_500MBRealistic_Codex(benchmark::State& state) {
    RealisticLogs& logs = realisticLogs();
    againstCat<CodexUsageReader>(state, logs.home.path(), logs.codexFiles);
}
BENCHMARK(BM_VsCat_500MBRealistic_Codex)->Unit(benchmark::kMillisecond)->Iterations(1);

// An unchanged 1 GB log without a line feed, read again by each reader: what a refresh costs once the
// reader has seen it.
void BM_OneLineUnchanged_Claude(benchmark::State& state) {
    OneLineLogs& logs = oneLineLogs();
    ClaudeLocalEstimate estimate(logs.home.path());
    estimate.read(kNow);
    for (auto _ : state)
        benchmark::DoNotOptimize(estimate.read(kNow));
    state.counters["MB_read"] = double(estimate.lastBytesRead()) / 1e6;
}
BENCHMARK(BM_OneLineUnchanged_Claude)->Unit(benchmark::kMillisecond);

void BM_OneLineUnchanged_Codex(benchmark::State& state) {
    OneLineLogs& logs = oneLineLogs();
    CodexUsageReader reader(logs.home.path());
    reader.read(kNow);
    for (auto _ : state)
        benchmark::DoNotOptimize(reader.read(kNow));
    state.counters["MB_read"] = double(reader.lastBytesRead()) / 1e6;
}
BENCHMARK(BM_OneLineUnchanged_Codex)->Unit(benchmark::kMillisecond);

// A keyring that takes as long as a real one over the session bus to say it has nothing.
class SlowEmptyKeyring final : public SecretStore {
public:
    std::optional<QByteArray> lookup(const QString&, int, const std::atomic_bool&) const override {
        ++asked;
        std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the keyring's own delay, simulated
        return std::nullopt;
    }
    mutable std::atomic_int asked{0};
};

// The service's whole refresh over the 1 GB log's home (Claude Code's folder without a credentials file),
// once every reader has seen it: from refresh to the cards published, with a keyring that needs 100 ms to
// say it has nothing.
void BM_ServiceRefreshUnchanged1GB(benchmark::State& state) {
    OneLineLogs& logs = oneLineLogs();
    FakeClock clock(kNow);
    SlowEmptyKeyring keyring;
    const QString home = logs.home.path();
    AIUsageService service(clock,
                           AIUsageReaders::standard(home, ClaudeFolders(home), home + "/.config", &keyring));
    auto refresh = [&] {
        clock.advanceSeconds(300);
        service.refresh(false);
        while (service.isLoading())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    };
    refresh();
    for (auto _ : state)
        refresh();
    state.counters["keyring_questions"] = keyring.asked.load();
}
BENCHMARK(BM_ServiceRefreshUnchanged1GB)->Unit(benchmark::kMillisecond)->Iterations(20);

// Heap bytes in use, as the allocator counts them.
double heapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd);
}

// The heap bytes that `work` leaves in use, freed pages given back before and after.
template <typename Work> double heapKeptBy(Work&& work) {
    malloc_trim(0);
    const double before = heapInUse();
    work();
    malloc_trim(0);
    return heapInUse() - before;
}

// 20,000 logs of about 8 KB, each two turns of a session: what the estimate keeps per log after its first
// read, and an unchanged re-read; argument 1: with the helper threads the service lends it.
void BM_Claude20000SmallLogs(benchmark::State& state) {
    const bool helped = state.range(0) != 0;
    WorkPool pool(4);
    static QTemporaryDir home;
    static const bool made = [] {
        for (int f = 0; f < 20000; ++f) {
            // Two turns of a session, each reply with ids of its own.
            QByteArray body;
            for (int i = 0; i < 2; ++i)
                body += turn(f * 2 + i)
                            .replace("msg_01", "msg_" + QByteArray::number(f) + "_" + QByteArray::number(i))
                            .replace("req_1", "req_" + QByteArray::number(f) + "_" + QByteArray::number(i));
            if (!LogFixtures::write(
                    home.path() +
                        QString("/.claude/projects/-home-zuz-projetos-app%1/s%2.jsonl").arg(f / 100).arg(f),
                    body, kNow.addSecs(-3600 - f)))
                return false;
        }
        return true;
    }();
    if (!made) {
        state.SkipWithError("cannot write the logs");
        return;
    }
    std::optional<ClaudeLocalEstimate> estimate;
    std::optional<AIProviderUsage> card;
    const double kept = heapKeptBy([&] {
        estimate.emplace(ClaudeFolders(home.path()));
        if (helped)
            estimate->setHelpers(&pool);
        card = estimate->read(kNow);
    });
    if (!card || card->metrics.size() != 2)
        state.SkipWithError("no card");
    for (auto _ : state)
        benchmark::DoNotOptimize(estimate->read(kNow));
    // Of a re-read, the walk over the folders alone.
    const double w0 = wallNow();
    int files = 0;
    walkRecentLogs(home.path() + "/.claude/projects", 0, helped ? &pool : nullptr,
                   [&](const LogFile&) { ++files; });
    state.counters["walk_ms"] = (wallNow() - w0) * 1000.0;
    state.counters["kept_bytes_per_log"] = kept / 20000.0;
    state.counters["MB_read"] = double(estimate->lastBytesRead()) / 1e6;
}
BENCHMARK(BM_Claude20000SmallLogs)->ArgName("helpers")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Eight logs, each ending in a 30 MB line that is still being written: what the estimate keeps once it has
// read them, and a re-read while they stay as they are.
void BM_ClaudeUnfinishedLines(benchmark::State& state) {
    static QTemporaryDir home;
    static const bool made = [] {
        const QByteArray ts = kNow.addSecs(-600).toString(Qt::ISODateWithMs).toUtf8();
        const QByteArray done =
            R"({"type":"assistant","timestamp":")" + ts +
            R"(","message":{"id":"msg_a","usage":{"input_tokens":4,"output_tokens":321}},"requestId":"req_1"})"
            "\n";
        const QByteArray open = R"({"type":"assistant","timestamp":")" + ts +
                                R"(","message":{"content":[{"type":"text","text":")" +
                                QByteArray(30 * 1024 * 1024, 't');
        for (int f = 0; f < 8; ++f)
            if (!LogFixtures::write(home.path() + QString("/.claude/projects/-p/s%1.jsonl").arg(f),
                                    done + open, kNow.addSecs(-60)))
                return false;
        return true;
    }();
    if (!made) {
        state.SkipWithError("cannot write the logs");
        return;
    }
    std::optional<ClaudeLocalEstimate> estimate;
    const double kept = heapKeptBy([&] {
        estimate.emplace(ClaudeFolders(home.path()));
        benchmark::DoNotOptimize(estimate->read(kNow));
    });
    for (auto _ : state)
        benchmark::DoNotOptimize(estimate->read(kNow));
    state.counters["kept_MB"] = kept / 1e6;
    state.counters["MB_read"] = double(estimate->lastBytesRead()) / 1e6;
}
BENCHMARK(BM_ClaudeUnfinishedLines)->Unit(benchmark::kMillisecond);

// A 200 MB newest log, sparse but for its last megabyte of real lines, with older logs beside it.
struct CodexLogs {
    QTemporaryDir home;
    CodexLogs() {
        const QByteArray record =
            R"({"timestamp":"2026-01-02T11:54:02.500Z","type":"event_msg","payload":{"type":"token_count","info":{"total_token_usage":{"input_tokens":5200}},"rate_limits":{"primary":{"used_percent":42.0,"window_minutes":300,"resets_at":1767369600},"secondary":{"used_percent":7.0,"window_minutes":10080,"resets_at":1767900000},"plan_type":"plus"}}})"
            "\n";
        QByteArray tail;
        while (tail.size() < 1024 * 1024)
            tail += record + R"({"type":"response_item","payload":{"type":"message","content":")" +
                    QByteArray(6000, 'x') + "\"}}\n";
        tail += R"({"type":"response_item","payload":{"text":"last words"}})"
                "\n";
        const QString dir = home.path() + "/.codex/sessions/2026/01/02";
        for (int i = 0; i < 300; ++i)
            LogFixtures::write(QString("%1/old-%2.jsonl").arg(dir).arg(i), record, kNow.addDays(-10));
        const QString path = dir + "/rollout-newest.jsonl";
        LogFixtures::write(path, QByteArray(), kNow);
        const qint64 size = 200LL * 1024 * 1024;
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
        if (fd < 0 || ::ftruncate(fd, size - tail.size()) != 0 ||
            ::pwrite(fd, tail.constData(), size_t(tail.size()), off_t(size - tail.size())) != tail.size())
            qFatal("cannot create the sparse log");
        ::close(fd);
        LogFixtures::touch(path, kNow.addSecs(-30));
    }
};

void BM_CodexNewest200MB(benchmark::State& state) {
    static CodexLogs logs;
    for (auto _ : state) {
        // A first read each time: a reader that has seen the logs would not read them again.
        CodexUsageReader reader(logs.home.path());
        auto card = reader.read(kNow);
        if (!card || card->metrics.size() != 2)
            state.SkipWithError("no card");
        benchmark::DoNotOptimize(card);
    }
}
BENCHMARK(BM_CodexNewest200MB)->Unit(benchmark::kMillisecond);

// 100 Claude and 100 Codex sessions of 1 MB each, all active.
void BM_AgentsScan200(benchmark::State& state) {
    static QTemporaryDir home;
    static bool made = [] {
        const QByteArray assistant =
            R"({"type":"assistant","timestamp":"2026-01-02T11:00:01Z","message":{"role":"assistant","content":[{"type":"text","text":"pronto"}]}})"
            "\n";
        QByteArray body;
        while (body.size() < 1024 * 1024)
            body += turn(body.size());
        const QByteArray meta = R"({"type":"session_meta","payload":{"cwd":"/home/zuz/code/shop"}})"
                                "\n";
        for (int i = 0; i < 100; ++i) {
            LogFixtures::write(home.path() +
                                   QString("/.claude/projects/-home-zuz-projetos-app%1/s.jsonl").arg(i),
                               body + assistant, kNow.addSecs(-300 - i));
            LogFixtures::write(home.path() + QString("/.codex/sessions/2026/01/02/r%1.jsonl").arg(i),
                               meta + body, kNow.addSecs(-200 - i));
        }
        return true;
    }();
    benchmark::DoNotOptimize(made);
    for (auto _ : state) {
        auto sessions = AgentSessionScanner::scan(ClaudeFolders(home.path()), home.path(), kNow);
        if (sessions.size() != 8)
            state.SkipWithError("wrong count");
        benchmark::DoNotOptimize(sessions);
    }
}
BENCHMARK(BM_AgentsScan200)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
