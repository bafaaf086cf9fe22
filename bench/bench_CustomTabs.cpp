// Custom tabs: what the idle program holds in memory with the web engine built but no web tab shown
// (and whether the engine is mapped at all), and the time from showing a web tab to its loopback page's
// load finished (the first iteration starts the engine). Without a display it re-runs itself under
// tests/x11/with-xvfb.
#include "model/CustomTab.h"
#include "support/ProgramRun.h"
#include "views/WebEngineLoader.h"
#include "views/WebTabView.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

double residentMiB(pid_t pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

bool engineMapped(pid_t pid) {
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("WebEngine");
}

void BM_IdleWithoutWebTab(benchmark::State& state) {
    for (auto _ : state) {
        const std::string home = ProgramRun::makeHome("quillbay-webtab");
        const pid_t pid = ProgramRun::startProgram(QUILLBAY_PROGRAM, home, false);
        std::this_thread::sleep_for(std::chrono::seconds(8)); // past the start-up work
        state.counters["rss_MiB"] = residentMiB(pid);
        state.counters["engine_mapped"] = engineMapped(pid) ? 1 : 0;
        ProgramRun::stopProgram(pid);
        std::filesystem::remove_all(home);
        state.SetIterationTime(8);
    }
}
BENCHMARK(BM_IdleWithoutWebTab)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);

void BM_ShowWebTabToLoadFinished(benchmark::State& state) {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server, &QTcpServer::newConnection, [&server] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                socket->readAll();
                const QByteArray body = "<html><head><title>bench</title></head><body>x</body></html>";
                socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                              QByteArray::number(body.size()) + "\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    const WebPageFactory factory = WebEngineLoader::factory(QUILLBAY_WEBPAGE_MODULE);
    CustomTab tab;
    tab.id = QUuid::createUuid();
    tab.kind = CustomTab::Kind::web;
    tab.url = QStringLiteral("127.0.0.1:%1").arg(server.serverPort());
    for (auto _ : state) {
        WebTabView view(tab, factory);
        view.resize(600, 400);
        QEventLoop loop;
        QElapsedTimer timer;
        timer.start();
        view.show();
        if (!view.page()) {
            state.SkipWithError("no page");
            break;
        }
        QObject::connect(view.page(), SIGNAL(loadFinished(bool)), &loop, SLOT(quit()));
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
}
// Registered twice: the first run starts the engine, the second finds it running.
BENCHMARK(BM_ShowWebTabToLoadFinished)
    ->Name("BM_ShowWebTabToLoadFinished/engineStart")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_ShowWebTabToLoadFinished)
    ->Name("BM_ShowWebTabToLoadFinished/engineRunning")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    if (!ProgramRun::ensureDisplay(argc, argv))
        return 1;
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    WebEngineLoader::prepareProcess();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
