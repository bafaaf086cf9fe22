// A real dashboard over the test's private home, on a real island panel held open on the primary screen:
// what the drag tests drop files onto and drag them out of.
#pragma once

#include "app/NotchPanel.h"
#include "fakes/FakeClock.h"
#include "fakes/FakeTrustProbe.h"
#include "fakes/TestSupport.h"
#include "platform/Platform.h"
#include "platform/posix/PosixServiceLauncher.h"
#include "platform/procfs/LinuxProcessTable.h"
#include "platform/qt/QtTickerFactory.h"
#include "platform/x11/X11DesktopWindows.h"
#include "services/DashboardModel.h"
#include "services/Defaults.h"
#include "views/DashboardView.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtTest>

#include <memory>

struct OpenIsland {
    std::unique_ptr<Defaults> defaults;
    FakeClock clock;
    PosixServiceLauncher launcher;
    LinuxProcessTable processes;
    QtTickerFactory tickers;
    FakeTrustProbe trust;
    std::unique_ptr<Platform> platform;
    std::unique_ptr<DashboardModel> model;
    X11DesktopWindows desktop; // outlives the panel
    std::unique_ptr<NotchPanel> panel;
    DashboardView* view = nullptr; // the panel's

    // Builds the model with its settings at `defaultsPath` and shows the expanded panel; false when the
    // panel is never exposed.
    bool open(const QString& defaultsPath) {
        defaults = std::make_unique<Defaults>(defaultsPath);
        platform.reset(new Platform{.clock = &clock,
                                    .launcher = &launcher,
                                    .processTable = &processes,
                                    .trustProbe = &trust,
                                    .tickers = &tickers});
        model = std::make_unique<DashboardModel>(*platform, *defaults, TestSupport::folders());
        view = new DashboardView(*model);
        view->setQuitHandler([](int) {});
        panel = std::make_unique<NotchPanel>(desktop, view);
        panel->placeOn(QGuiApplication::primaryScreen()->geometry());
        panel->setIslandShape(QRectF(QPointF(0, 0), panel->size()), 24);
        panel->show();
        if (!QTest::qWaitForWindowExposed(panel.get()))
            return false;
        panel->applyExpanded(true);
        return true;
    }
    // The panel first: it holds views of the model.
    void close() {
        panel.reset();
        view = nullptr;
        model.reset();
        platform.reset();
        defaults.reset();
    }
};
