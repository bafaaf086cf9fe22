// What the capture thread spends turning one camera picture of 1280 × 720 into an image, for the
// usual webcam formats (YUYV and NV12). At 30 pictures a second this is the mirror's main CPU cost,
// kept off the main thread.
#include <QGuiApplication>
#include <QImage>
#include <QVideoFrame>
#include <QVideoFrameFormat>

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

// The capture thread's share: a camera picture (YUYV and NV12, the usual webcam formats) made an image.
void captureThreadConversion(benchmark::State& state) {
    const auto format = QVideoFrameFormat::PixelFormat(state.range(0));
    int shade = 0;
    for (auto _ : state) {
        // A fresh picture each time, as the camera delivers: a frame keeps its converted image.
        state.PauseTiming();
        QVideoFrame frame(QVideoFrameFormat(QSize(1280, 720), format));
        if (frame.map(QVideoFrame::WriteOnly)) {
            for (int plane = 0; plane < frame.planeCount(); ++plane)
                std::memset(frame.bits(plane), 0x40 + (shade++ & 0x3f), size_t(frame.mappedBytes(plane)));
            frame.unmap();
        }
        state.ResumeTiming();
        QImage image = frame.toImage();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.SetLabel(format == QVideoFrameFormat::Format_NV12 ? "NV12" : "YUYV");
}

} // namespace

BENCHMARK(captureThreadConversion)
    ->Arg(int(QVideoFrameFormat::Format_YUYV))
    ->Arg(int(QVideoFrameFormat::Format_NV12))
    ->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
