// The log view's once-a-second work on a huge log: tail read, link search and rendering of the shown text.
#include "services/Linkify.h"
#include "services/LogTail.h"
#include "views/LogViewer.h"

#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// A 1 GB sparse file whose last 64 KiB are real log lines, so only the tail occupies disk.
struct HugeLog {
    QTemporaryDir dir;
    QString path = dir.filePath("dev-server.log");
    HugeLog() {
        QByteArray tail;
        for (int i = 0; tail.size() < 64 * 1024; ++i)
            tail +=
                QStringLiteral("[%1] GET http://localhost:5173/src/main.ts 200 — também em 127.0.0.1:5173\n")
                    .arg(i)
                    .toUtf8();
        const qint64 size = qint64(1) << 30;
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || ::ftruncate(fd, size - tail.size()) != 0 ||
            ::pwrite(fd, tail.constData(), size_t(tail.size()), off_t(size - tail.size())) != tail.size())
            qFatal("cannot create the sparse log");
        ::close(fd);
    }
};

HugeLog& hugeLog() {
    static HugeLog log;
    return log;
}

void BM_TailOf1GBLog(benchmark::State& state) {
    const QString path = hugeLog().path;
    for (auto _ : state) {
        auto text = LogTail::read(path);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_TailOf1GBLog)->Unit(benchmark::kMicrosecond);

void BM_LinksOfShownTail(benchmark::State& state) {
    const QString text = LogTail::read(hugeLog().path).value_or(QString());
    for (auto _ : state) {
        auto links = Linkify::links(text);
        benchmark::DoNotOptimize(links);
    }
}
BENCHMARK(BM_LinksOfShownTail)->Unit(benchmark::kMicrosecond);

// What the view does with a changed text: a fresh document with its link anchors.
void BM_RenderShownTail(benchmark::State& state) {
    const QString text = LogTail::read(hugeLog().path).value_or(QString());
    QTextDocument document;
    for (auto _ : state)
        LogViewer::linkified(text, &document);
}
BENCHMARK(BM_RenderShownTail)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts for the document
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
