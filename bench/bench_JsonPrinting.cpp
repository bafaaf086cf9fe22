// The kit's JSON formatting at the sizes it is given: up to 64 K characters on the main thread as the user
// types, up to 32 MB on a worker. Each size twice: the one-pass printer, and the QJsonDocument round trip
// (read as the one element of an array, written indented) that gives the same text.
#include "services/JsonPrettyPrinter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <benchmark/benchmark.h>

namespace {

// Objects with the usual mix of members (numbers, text with escapes, nested arrays), `chars` long.
QString documentOf(qsizetype chars) {
    QString doc = QStringLiteral("[");
    int i = 0;
    while (doc.size() < chars) {
        doc += QStringLiteral(
                   "{\"id\":%1,\"name\":\"item \\\"%1\\\" \\u00e9\",\"tags\":[\"a\",\"b\",{\"z\":null,"
                   "\"k\":false}],\"price\":%2,\"ok\":true},")
                   .arg(i)
                   .arg(i * 1.25);
        ++i;
    }
    doc.chop(1);
    return doc + QStringLiteral("]");
}

QString qtPrinted(const QString& text) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson("[" + text.toUtf8() + "]", &error);
    const QJsonValue value = doc.array().at(0);
    QByteArray bytes = value.isObject() ? QJsonDocument(value.toObject()).toJson(QJsonDocument::Indented)
                                        : QJsonDocument(value.toArray()).toJson(QJsonDocument::Indented);
    if (bytes.endsWith('\n'))
        bytes.chop(1);
    return QString::fromUtf8(bytes);
}

void BM_Printer(benchmark::State& state) {
    const QString doc = documentOf(state.range(0));
    if (JsonPrettyPrinter::indented(doc) != qtPrinted(doc)) {
        state.SkipWithError("the printer and Qt disagree");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(JsonPrettyPrinter::indented(doc));
    state.SetBytesProcessed(state.iterations() * doc.size());
}

void BM_QtRoundTrip(benchmark::State& state) {
    const QString doc = documentOf(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(qtPrinted(doc));
    state.SetBytesProcessed(state.iterations() * doc.size());
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(1024)->Arg(64 * 1024)->Arg(1024 * 1024)->Arg(32 * 1024 * 1024)->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_Printer)->Apply(sizes);
BENCHMARK(BM_QtRoundTrip)->Apply(sizes);

BENCHMARK_MAIN();
