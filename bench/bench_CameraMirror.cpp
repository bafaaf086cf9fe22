// The camera mirror's cost on the main thread per picture at 1280 × 720 (a picture handed over by the
// camera, read by the service and painted into the window, per shape, mirrored), and what the mirror
// costs while it is off: CPU over an idle second, threads, and whether the multimedia libraries are
// mapped, before any start and after a start and stop. (The capture thread's share is in
// bench_CameraCapture, which links the multimedia libraries itself.)
#include "fakes/FakeCameraSource.h"
#include "platform/qtmm/QtMultimediaCamera.h"
#include "services/CameraService.h"
#include "services/Defaults.h"
#include "views/CameraContainerView.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include <sys/resource.h>

namespace {

QTemporaryDir& scratch() {
    static QTemporaryDir dir;
    return dir;
}

void mainThreadPerFrame(benchmark::State& state) {
    const auto shape = CameraShape(state.range(0));
    const bool composited = state.range(1) != 0;
    Defaults defaults(scratch().filePath("defaults.json"));
    FakeCameraSource camera;
    CameraService service(camera, defaults);
    service.setShape(shape);
    service.setMirrored(true);
    service.setBorderOn(true);
    service.start();
    CameraContainerView view(service, composited);
    view.setFrame(CameraGeometry::initialFrame(QRectF(0, 0, 1920, 1080), 0, shape));
    view.show();
    // Frames made ahead: the camera's own work happens elsewhere.
    const QImage frames[2] = {FakeCameraSource::pattern(QSize(1280, 720)),
                              FakeCameraSource::pattern(QSize(1280, 720)).mirrored(true, false)};
    // The window's own paint, into a surface of its size, as the backing store would take it.
    QImage surface(view.size(), QImage::Format_ARGB32_Premultiplied);
    int i = 0;
    for (auto _ : state) {
        camera.push(frames[i++ & 1]); // the notice the capture thread posts
        view.render(&surface);        // what the queued update paints
    }
    benchmark::DoNotOptimize(surface.constBits());
    state.counters["budget_ms_at_30fps"] = 1000.0 / 30;
    state.SetLabel(CameraShapes::rawValue(shape).toStdString() + (composited ? ", clipped" : ", masked") +
                   ", mirrored, bordered, " + std::to_string(view.width()) + "x" +
                   std::to_string(view.height()));
}

int threadCount() {
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

bool multimediaMapped() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6Multimedia.so");
}

double cpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// One idle second of the event loop with the mirror off; `cycle` first runs a start that finds no
// camera, and its stop.
void idleWhileOff(benchmark::State& state) {
    const bool cycle = state.range(0) != 0;
    Defaults defaults(scratch().filePath("idle.json"));
    QtMultimediaCamera camera(QStringLiteral(QUILLBAY_CAMERA_MODULE));
    CameraService service(camera, defaults);
    if (cycle) {
        service.start();
        QEventLoop loop;
        QObject::connect(&service, &CameraService::statusChanged, &loop, [&] {
            if (!service.isStarting())
                loop.quit();
        });
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        service.stop();
    }
    double cpu = 0;
    for (auto _ : state) {
        const double before = cpuMs();
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec();
        cpu = cpuMs() - before;
    }
    state.counters["cpu_ms_per_s"] = cpu;
    state.counters["threads"] = threadCount();
    state.counters["multimedia_mapped"] = multimediaMapped() ? 1 : 0;
    state.SetLabel(cycle ? "after a start (no camera) and stop" : "never started");
}

} // namespace

BENCHMARK(mainThreadPerFrame)
    ->ArgsProduct({{int(CameraShape::widescreen), int(CameraShape::square), int(CameraShape::circle)},
                   {0, 1}})
    ->Unit(benchmark::kMicrosecond);
// Never started first: the order matters, a start maps the libraries for good.
BENCHMARK(idleWhileOff)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
