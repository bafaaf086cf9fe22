// The kit's costly steps: formatting 1 MB of JSON, detecting the tool of a 1 MB paste, recognising the text
// of a 1920 × 1080 area (and preparing it for Tesseract alone), and converting a 12-megapixel JPEG to HEIC
// (on a worker, as the kit does).
#include "platform/libheif/LibheifCodec.h"
#include "platform/tesseract/TesseractTextRecognizer.h"
#include "services/ImageConverter.h"
#include "services/KitTools.h"

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QThreadPool>

#include <benchmark/benchmark.h>

namespace {

QString megabyteOfJSON() {
    QString doc = QStringLiteral("[");
    int i = 0;
    while (doc.size() < 1024 * 1024) {
        doc += QStringLiteral(
                   "{\"id\":%1,\"name\":\"item %1\",\"tags\":[\"a\",\"b\"],\"price\":%2,\"ok\":true},")
                   .arg(i)
                   .arg(i * 1.25);
        ++i;
    }
    doc.chop(1);
    return doc + QStringLiteral("]");
}

void BM_FormatJSON_1MB(benchmark::State& state) {
    const QString doc = megabyteOfJSON();
    for (auto _ : state)
        benchmark::DoNotOptimize(KitTools::formatJSON(doc));
    state.SetBytesProcessed(state.iterations() * doc.size());
}
BENCHMARK(BM_FormatJSON_1MB)->Unit(benchmark::kMillisecond);

void BM_DetectTool_1MB(benchmark::State& state) {
    const QString doc = megabyteOfJSON();
    for (auto _ : state)
        benchmark::DoNotOptimize(KitTools::detectTool(doc));
}
BENCHMARK(BM_DetectTool_1MB)->Unit(benchmark::kMillisecond);

QImage screenOfText() {
    QImage img(1920, 1080, QImage::Format_RGB32);
    img.fill(QColor(30, 30, 34));
    QPainter p(&img);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(15);
    p.setFont(font);
    p.setPen(QColor(230, 230, 230));
    const QString line =
        QStringLiteral("Olá mundo: the quick brown fox jumps over the lazy dog, ação 2026 — %1");
    for (int row = 0; row < 40; ++row)
        p.drawText(40, 40 + row * 25, line.arg(row));
    return img;
}

void BM_OCR_1920x1080(benchmark::State& state) {
    const QImage img = screenOfText();
    TesseractTextRecognizer recognizer;
    for (auto _ : state)
        benchmark::DoNotOptimize(recognizer.recognizeImage(img));
}
BENCHMARK(BM_OCR_1920x1080)->Unit(benchmark::kMillisecond)->Iterations(3);

// What the recognition does before Tesseract: grey, dark on light, and enlarged to the size of the text
// found (its measure included).
void BM_OCRPrepared_1920x1080(benchmark::State& state) {
    const QImage img = screenOfText();
    for (auto _ : state)
        benchmark::DoNotOptimize(TesseractTextRecognizer::prepared(img));
}
BENCHMARK(BM_OCRPrepared_1920x1080)->Unit(benchmark::kMillisecond);

void BM_ConvertJPEG12MP_ToHEIC(benchmark::State& state) {
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("photo.jpg"));
    QImage img(4000, 3000, QImage::Format_RGB32);
    QPainter p(&img);
    QLinearGradient g(0, 0, 4000, 3000);
    g.setColorAt(0, Qt::darkBlue);
    g.setColorAt(1, Qt::yellow);
    p.fillRect(img.rect(), g);
    for (int i = 0; i < 400; ++i)
        p.fillRect(QRect((i * 97) % 3900, (i * 53) % 2900, 100, 100),
                   QColor::fromHsv((i * 13) % 360, 200, 220));
    p.end();
    img.save(src, "JPEG", 90);
    LibheifCodec heif;
    for (auto _ : state) {
        // On a pool thread, as the kit runs it; the wait is the benchmark's, not the main thread's.
        std::optional<QString> out;
        QThreadPool::globalInstance()->start(
            [&] { out = ImageConverter::convert(src, ImageOutputFormat::heic, &heif); });
        QThreadPool::globalInstance()->waitForDone();
        if (!out)
            state.SkipWithError("conversion failed");
    }
}
BENCHMARK(BM_ConvertJPEG12MP_ToHEIC)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
