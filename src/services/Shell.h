// The search path that every child process gets, and the runner of short command lines.
#pragma once

#include <QByteArrayList>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

class CancelSignal;
class ServiceLauncher;

namespace Shell {

// The directories every child process gets as PATH, computed once per process.
const QString& path();
// The same list for a given home folder; `path()` is this for the user's home.
QString pathFor(const QString& home);

// The shell of every command line this program starts, services and short queries alike: the first of
// `zsh`, `loginShell` (the user's entry in the password database), `shellVariable` ($SHELL) and
// "/bin/sh" that is an absolute path to an executable file ("nologin" and "false" are no shells).
QString pickShell(const QString& zsh, const QString& loginShell, const QString& shellVariable);
// pickShell("/bin/zsh", the user's login shell, $SHELL); decided once per process.
const QString& shellProgram();
// The arguments that make `shell` run `command`; `login` asks for the user's profile to run first, for
// the shells known to take "-l" together with "-c".
QStringList shellArguments(const QString& shell, const QString& command, bool login);

// The whole environment of a child, byte for byte as this process has it (a value that is not UTF-8
// stays as it is), with each name of `replaced` set to its value (added where missing).
QByteArrayList childEnvironment(const QList<QPair<QByteArray, QByteArray>>& replaced);
// The same with PATH = path(), as every command line gets it.
QByteArrayList childEnvironment();

// Runs `command` with `shellProgram() -c` through `launcher` (PATH = path(), stdin /dev/null, stderr
// discarded, its own process group) and returns its standard output, or nothing on launch failure,
// time-out, cancellation or invalid UTF-8. The exit status is not consulted. On time-out the whole group
// gets SIGTERM, and SIGKILL shortly after in the background, so the call returns at the deadline; once
// `cancel` is raised the group is ended before the call returns. Safe from several threads at once.
// Blocks the calling thread: never call it on the main thread.
std::optional<QString> run(ServiceLauncher& launcher, const QString& command, double timeoutSeconds,
                           const CancelSignal* cancel = nullptr);
// The same with another shell executable (tests use it for a launch failure).
std::optional<QString> run(ServiceLauncher& launcher, const QString& shell, const QString& command,
                           double timeoutSeconds, const CancelSignal* cancel = nullptr);

// Single-quotes `text` for a POSIX shell command line: ' becomes '\''.
QString quote(const QString& text);

// Compares with digit runs taken as numbers ("v9" < "v10"), no locale. <0, 0, >0.
int naturalCompare(QStringView a, QStringView b);

} // namespace Shell
