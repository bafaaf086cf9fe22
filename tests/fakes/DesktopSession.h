// Helpers for the tests that drive a real desktop on their private X server: running its tools
// (xdotool, xprop, xwininfo) and starting a window manager.
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

// Whether a window manager has taken the screen: it names its check window on the root, and that
// window exists (one that quit leaves the name behind).
inline bool windowManagerRunning() {
    QString out;
    if (!run(QStringLiteral("xprop"), {"-root", "_NET_SUPPORTING_WM_CHECK"}, &out))
        return false;
    const qsizetype at = out.indexOf(QLatin1String("window id # "));
    if (at < 0)
        return false;
    const QString id = out.mid(at + 12).section(u',', 0, 0).trimmed();
    return run(QStringLiteral("xwininfo"), {"-id", id});
}

// Starts the window manager `name` (openbox, fluxbox, icewm) in `wm` and waits until it manages the
// screen; false when it is missing or never does. Each starts without a session manager, panels or
// start-up programs of its own, so that nothing but the test's windows takes the keyboard.
inline bool startWindowManager(QProcess& wm, const QString& name, int timeoutMs = 10000) {
    QStringList args;
    if (name == QLatin1String("openbox"))
        args = {QStringLiteral("--sm-disable")};
    else if (name == QLatin1String("fluxbox"))
        args = {QStringLiteral("-no-slit"), QStringLiteral("-no-toolbar")};
    else if (name == QLatin1String("icewm"))
        args = {QStringLiteral("--replace")};
    // A manager that ran before leaves its name on the root: only the new one's counts.
    run(QStringLiteral("xprop"), {"-root", "-remove", "_NET_SUPPORTING_WM_CHECK"});
    wm.start(name, args);
    if (!wm.waitForStarted(5000))
        return false;
    return TestSupport::waitUntil([&wm] { return wm.state() == QProcess::Running && windowManagerRunning(); },
                                  timeoutMs);
}

// Starts openbox in `wm` and waits until it manages the screen; false when it is missing or never does.
inline bool startOpenbox(QProcess& wm, int timeoutMs = 10000) {
    return startWindowManager(wm, QStringLiteral("openbox"), timeoutMs);
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
