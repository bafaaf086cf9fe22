// Parsing a 10 MB feed (time and peak memory against the body) and merging fetched entries.
#include "services/FeedParser.h"

#include <QDateTime>

#include <benchmark/benchmark.h>
#include <sys/resource.h>

namespace {

// About `bytes` of RSS with entries of a few hundred bytes each, HTML summaries included.
QByteArray bigFeed(qsizetype bytes) {
    QByteArray doc = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Bench</title>";
    int i = 0;
    const QByteArray tail = "</channel></rss>";
    while (doc.size() < bytes - 600 - tail.size()) {
        ++i;
        doc += "<item><title>Entry " + QByteArray::number(i) + "</title><link>https://bench.example/" +
               QByteArray::number(i) + "</link><guid>g" + QByteArray::number(i) +
               "</guid><pubDate>Tue, 03 Jun 2008 11:05:30 +0000</pubDate><description>&lt;p&gt;Some "
               "&lt;b&gt;bold&lt;/b&gt; words &amp;amp; more words to fill the line.&lt;/p&gt;&lt;p&gt;And "
               "another paragraph.&lt;/p&gt;</description></item>\n";
    }
    return doc + tail;
}

long peakRssKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

} // namespace

static void BM_Parse10MB(benchmark::State& state) {
    const QByteArray doc = bigFeed(FeedParser::kMaxBodyBytes - 1024);
    const long before = peakRssKb();
    for (auto _ : state) {
        auto parsed = FeedParser::parse(doc);
        if (!parsed)
            state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(state.iterations() * doc.size());
    state.counters["body_MB"] = double(doc.size()) / (1024.0 * 1024.0);
    state.counters["peak_growth_x_body"] = double(peakRssKb() - before) * 1024.0 / double(doc.size());
}
BENCHMARK(BM_Parse10MB)->Unit(benchmark::kMillisecond)->UseRealTime();

static void BM_ParseDate(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(FeedParser::parseDate(u"Tue, 03 Jun 2008 11:05:30 +0000"));
}
BENCHMARK(BM_ParseDate);

BENCHMARK_MAIN();
