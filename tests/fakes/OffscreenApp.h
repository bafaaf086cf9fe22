// The whole program over the fakes that keep it off the desktop: the test's clock, key grabs, pointer,
// screens and window calls, and no tray icon. Launch steps run only when the test asks.
#pragma once

#include "app/AppDelegate.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeDesktopWindows.h"
#include "fakes/FakeKeyGrabBackend.h"
#include "fakes/FakePointerSource.h"
#include "fakes/FakeScreenList.h"
#include "fakes/TestSupport.h"
#include "services/Defaults.h"

#include <memory>

struct OffscreenApp {
    explicit OffscreenApp(Defaults& defaults,
                          QList<ScreenInfo> screens = {FakeScreenList::screen("A", QRectF(0, 0, 1920, 1080))},
                          const QString& updateHost = {}) {
        screenList.list = std::move(screens);
        Platform seams;
        seams.clock = &clock;
        seams.keyGrab = &keys;
        seams.pointer = &pointer;
        seams.screens = &screenList;
        seams.desktop = &desktop;
        AppDelegate::Options options;
        options.trayIcon = false;
        options.model.updateHost =
            updateHost.isEmpty() ? QString::fromLatin1(TestSupport::kUnusedLoopbackHost) : updateHost;
        delegate = std::make_unique<AppDelegate>(defaults, TestSupport::folders(), seams, options);
    }
    Q_DISABLE_COPY_MOVE(OffscreenApp)

    FakeClock clock;
    FakeKeyGrabBackend keys;
    FakePointerSource pointer;
    FakeScreenList screenList;
    FakeDesktopWindows desktop;            // offscreen: nothing to ask, as on a desktop without X
    std::unique_ptr<AppDelegate> delegate; // declared last: gone before the fakes it uses
};
