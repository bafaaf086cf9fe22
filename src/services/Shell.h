// The search path that every child process gets, and the runner of short command lines.
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

class ServiceLauncher;

namespace Shell {

// The directories every child process gets as PATH, computed once per process.
const QString& path();
// The same list for a given home folder; `path()` is this for the user's home.
QString pathFor(const QString& home);

// "/bin/zsh", or "/bin/sh" on a machine without zsh; decided once per process.
const QString& shellProgram();

// Runs `command` with `shellProgram() -c` through `launcher` (PATH = path(), stdin /dev/null, stderr
// discarded, its own process group) and returns its standard output, or nothing on launch failure,
// time-out or invalid UTF-8. The exit status is not consulted. On time-out the whole group gets SIGTERM,
// and SIGKILL shortly after in the background, so the call returns at the deadline. Safe from several
// threads at once. Blocks the calling thread: never call it on the main thread.
std::optional<QString> run(ServiceLauncher& launcher, const QString& command, double timeoutSeconds);
// The same with another shell executable (tests use it for a launch failure).
std::optional<QString> run(ServiceLauncher& launcher, const QString& shell, const QString& command,
                           double timeoutSeconds);

// Single-quotes `text` for a POSIX shell command line: ' becomes '\''.
QString quote(const QString& text);

// Compares with digit runs taken as numbers ("v9" < "v10"), no locale. <0, 0, >0.
int naturalCompare(QStringView a, QStringView b);

} // namespace Shell
