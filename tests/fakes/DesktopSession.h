// Helpers for the tests that drive a real desktop on their private X server: running its tools
// (xdotool, xprop, xwininfo) and starting openbox as the window manager.
#pragma once

#include "fakes/TestSupport.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <csignal>

namespace DesktopSession {

// Runs a tool to its end (at most 10 s); whether it exited with 0. `out` receives its standard output.
inline bool run(const QString& program, const QStringList& args, QString* out = nullptr) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000))
        return false;
    if (out)
        *out = QString::fromLocal8Bit(p.readAllStandardOutput());
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Starts openbox in `wm` and waits until it manages the screen; false when it is missing or never does.
inline bool startOpenbox(QProcess& wm, int timeoutMs = 10000) {
    wm.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!wm.waitForStarted(5000))
        return false;
    return TestSupport::waitUntil(
        [] {
            QString out;
            return run(QStringLiteral("xprop"), {"-root", "_NET_SUPPORTING_WM_CHECK"}, &out) &&
                   out.contains(QLatin1String("window id"));
        },
        timeoutMs);
}

// Ends a program the test started: SIGTERM, then SIGKILL after 5 s; nothing when it is not running.
inline void stop(QProcess& p) {
    if (p.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(p.processId()), SIGTERM);
    if (!p.waitForFinished(5000))
        p.kill();
    p.waitForFinished(2000);
}

} // namespace DesktopSession
