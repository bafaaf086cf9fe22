// The AI usage readers on large inputs: the Claude local estimate over 500 MB of project logs (first read,
// unchanged, after 1 MB appended), the Claude estimate and the Codex reader on a 1 GB log without a line
// feed (peak memory of a process that reads it, and what a second read costs), the Codex reader with a
// 200 MB newest log, and an agents scan over 200 session logs.
#include "fakes/LogFixtures.h"
#include "services/AgentSessionScanner.h"
#include "services/ClaudeLocalEstimate.h"
#include "services/CodexUsageReader.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <functional>

#include <benchmark/benchmark.h>

#include <fcntl.h>
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
        }
    }
};

OneLineLogs& oneLineLogs() {
    static OneLineLogs logs;
    return logs;
}

// The peak resident memory, in MB, of a child process that runs `work` once.
double peakMegabytesOf(const std::function<void()>& work) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        work();
        ::_exit(0);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status))
        return -1;
    return double(usage.ru_maxrss) / 1024.0;
}

// Reads the one-line logs once with `Reader` in a child process; its peak memory, and what a child that
// reads nothing peaks at.
template <typename Reader> void peakOfOneRead(benchmark::State& state) {
    OneLineLogs& logs = oneLineLogs();
    for (auto _ : state) {
        state.counters["peakMB"] = peakMegabytesOf([&] {
            Reader reader(logs.home.path());
            benchmark::DoNotOptimize(reader.read(kNow));
        });
        state.counters["forkBaseMB"] = peakMegabytesOf([] {});
    }
}

void BM_ClaudeEstimate1GBOneLine(benchmark::State& state) {
    peakOfOneRead<ClaudeLocalEstimate>(state);
}
BENCHMARK(BM_ClaudeEstimate1GBOneLine)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ClaudeEstimate1GBOneLineAgain(benchmark::State& state) {
    OneLineLogs& logs = oneLineLogs();
    ClaudeLocalEstimate estimate(logs.home.path());
    estimate.read(kNow);
    for (auto _ : state) {
        benchmark::DoNotOptimize(estimate.read(kNow));
        state.counters["MB"] = double(estimate.lastBytesRead()) / 1e6;
    }
}
BENCHMARK(BM_ClaudeEstimate1GBOneLineAgain)->Unit(benchmark::kMillisecond)->Iterations(2);

// For comparison: the Codex reader on the same input.
void BM_Codex1GBOneLine(benchmark::State& state) {
    peakOfOneRead<CodexUsageReader>(state);
}
BENCHMARK(BM_Codex1GBOneLine)->Unit(benchmark::kMillisecond)->Iterations(1);

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
    CodexUsageReader reader(logs.home.path());
    for (auto _ : state) {
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
