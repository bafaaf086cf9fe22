// Small helpers shared by the test executables.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class ProcessTable;

namespace TestSupport {

// A temporary folder laid out as a user's home, with HOME and the XDG variables pointing into it.
// Set before the first use of AppPaths in the process.
std::unique_ptr<QTemporaryDir> isolateHome();

// Runs the event loop until `done` holds or `timeoutMs` has passed; returns `done()` at the end.
bool waitUntil(const std::function<bool()>& done, int timeoutMs);

// Starts `shellLine` in the background of a shell that exits at once, so the process belongs to no one
// here (as a service left by an earlier run would); returns its pid, or 0.
qint32 spawnDetached(const QString& shellLine);

// The process has ended: it is gone, or a zombie nobody has collected yet.
bool isGone(const ProcessTable& table, qint32 pid);

// Collects the log lines written while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    QStringList lines() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace TestSupport
