// Latency of the island hot key: an X key event (sent through XTEST by another client) to the island's
// state having toggled, under a private Xvfb when no display is set; and the registry's own dispatch
// through the event loop.
#include "app/HotKeyManager.h"
#include "app/NotchState.h"
#include "fakes/FakeKeyGrabBackend.h"
#include "platform/x11/X11KeyGrabBackend.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>

#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

xcb_keycode_t keycodeOf(xcb_key_symbols_t* symbols, xcb_keysym_t sym) {
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, sym);
    const xcb_keycode_t code = codes ? codes[0] : 0;
    std::free(codes);
    return code;
}

void fake(xcb_connection_t* c, quint8 type, xcb_keycode_t code) {
    xcb_test_fake_input(c, type, code, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
}

void keyPressToIslandToggled(benchmark::State& state) {
    auto backend = X11KeyGrabBackend::create();
    if (!backend) {
        state.SkipWithError("no X11 display");
        return;
    }
    HotKeyManager manager(*backend);
    NotchState island;
    HotKeyActions actions;
    actions.isExpanded = [&] { return island.isExpanded(); };
    actions.setExpanded = [&](bool on) { island.setExpanded(on); };
    manager.setActions(actions);
    int toggles = 0;
    QObject::connect(&island, &NotchState::isExpandedChanged, [&] { ++toggles; });
    manager.registerHotkey(45, 0xC0000); // control + option + N, as stored
    if (!manager.isRegistered(HotKeyManager::islandID)) {
        state.SkipWithError("ctrl+alt+n is taken");
        return;
    }

    xcb_connection_t* sender = xcb_connect(nullptr, nullptr);
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(sender);
    const xcb_keycode_t ctrl = keycodeOf(symbols, 0xffe3), alt = keycodeOf(symbols, 0xffe9),
                        n = keycodeOf(symbols, 0x6e);
    xcb_key_symbols_free(symbols);
    fake(sender, XCB_KEY_PRESS, ctrl);
    fake(sender, XCB_KEY_PRESS, alt);
    xcb_flush(sender);

    for (auto _ : state) {
        // Distinct server timestamps, so that no press looks like the server's autorepeat.
        QThread::msleep(2);
        const int before = toggles;
        QElapsedTimer timer;
        timer.start();
        fake(sender, XCB_KEY_PRESS, n);
        fake(sender, XCB_KEY_RELEASE, n);
        xcb_flush(sender);
        while (toggles == before && timer.elapsed() < 2000)
            QCoreApplication::processEvents();
        if (toggles == before) {
            state.SkipWithError("the hot key did not fire");
            break;
        }
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }

    fake(sender, XCB_KEY_RELEASE, alt);
    fake(sender, XCB_KEY_RELEASE, ctrl);
    xcb_flush(sender);
    xcb_disconnect(sender);
}
BENCHMARK(keyPressToIslandToggled)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(200);

void registryDispatch(benchmark::State& state) {
    FakeKeyGrabBackend backend;
    HotKeyManager manager(backend);
    int fired = 0;
    manager.registerHotKey(1, Qt::Key_N, Qt::ControlModifier | Qt::AltModifier, [&] { ++fired; });
    for (auto _ : state) {
        backend.press(Qt::Key_N, Qt::ControlModifier | Qt::AltModifier);
        QCoreApplication::processEvents();
    }
    benchmark::DoNotOptimize(fired);
}
BENCHMARK(registryDispatch)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    // Without a display, run again under a private X server.
    if (!qEnvironmentVariableIsSet("DISPLAY") && !qEnvironmentVariableIsSet("QUILLBAY_BENCH_NO_XVFB")) {
        qputenv("QUILLBAY_BENCH_NO_XVFB", "1");
        std::vector<char*> args;
        static char runner[] = QUILLBAY_SOURCE_DIR "/tests/x11/with-xvfb";
        args.push_back(runner);
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execv(runner, args.data());
    }
    if (qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    else
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
