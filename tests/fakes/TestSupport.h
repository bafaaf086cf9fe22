// Small helpers shared by the test executables.
#pragma once

#include "fakes/FakeLanAddress.h"
#include "fakes/FakeTicker.h"
#include "platform/posix/PosixServiceLauncher.h"
#include "platform/procfs/LinuxProcessTable.h"
#include "services/AppFolders.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class CommandsService;

namespace TestSupport {

// A temporary folder laid out as a user's home, with HOME and the XDG variables pointing into it.
std::unique_ptr<QTemporaryDir> isolateHome();
// The folders this process's environment gives, as the program makes them at start: after isolateHome(),
// those of the isolated home.
AppPaths::Folders folders();

// The update host of a program under test: a loopback port nobody listens on, so that its update checks
// fail at once and never leave this machine.
inline constexpr char kUnusedLoopbackHost[] = "127.0.0.1:1";
// Turns the automatic update check and the usage reports off in the isolated home's settings, for a test
// that starts the built program, whose maker's host is a build setting.
void stayOffTheMakersHost();

// Runs the event loop until `done` holds or `timeoutMs` has passed; returns `done()` at the end.
bool waitUntil(const std::function<bool()>& done, int timeoutMs);
// The same for conditions that are costly to ask (a screen grab, another program's state): asked every
// `intervalMs` while the event loop runs. True once it holds, false when `timeoutMs` has passed first.
bool pollUntil(const std::function<bool()>& condition, int timeoutMs, int intervalMs = 20);

// Starts `shellLine` in the background of a shell that exits at once, so the process belongs to no one
// here (as a service left by an earlier run would); returns its pid, or 0.
qint32 spawnDetached(const QString& shellLine);

// The process has ended: it is gone, or a zombie nobody has collected yet.
bool isGone(const ProcessTable& table, qint32 pid);

// A fresh temporary folder for a CommandsService's files ("support" and "logs"), with the real launcher
// and /proc reader, a LAN address the test sets, and timers the test fires (`tickers`). Whatever the service
// still runs is stopped when the sandbox goes.
class ServiceSandbox {
public:
    ServiceSandbox();
    ~ServiceSandbox();

    QString path(const QString& name) const { return m_root.filePath(name); }
    // The sandbox's service, made on first use with its start-up adoption applied.
    CommandsService& service();
    // Another service over the same files, as the next run of the program would make it.
    std::unique_ptr<CommandsService> makeService();

    PosixServiceLauncher launcher;
    LinuxProcessTable table;
    FakeLanAddress lan;
    FakeTickerFactory tickers;
    // The log keeper the services made from here use; empty: none, services write their logs themselves.
    QString logKeeper;
    // The shell services start under; empty: the program's own rule.
    QString shell;

private:
    QTemporaryDir m_root;
    std::unique_ptr<CommandsService> m_service; // last, so it goes before what it refers to
};

// Stops every running command of `service` and waits for their ends; false when one outlives the wait.
bool stopAll(CommandsService& service, int timeoutMs = 10000);

// Collects the program's log lines (as Log::format gives them, debug lines included) while it lives, from
// every thread; other messages go on as before. Captures nest: the inner one takes the lines until it ends.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    QStringList lines() const;
    // Stops taking lines (the destructor does it too); what lines() holds then stays as it is.
    void end();

    struct State;

private:
    std::shared_ptr<State> m_state;
    std::shared_ptr<State> m_outer; // the capture this one stands in for, if any
    bool m_ended = false;
};

} // namespace TestSupport
