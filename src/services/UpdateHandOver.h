// The hand-over of a prepared update to the swap helper: the helper is started on its own, with the swap
// lock on its descriptor 3, and the program then quits so that it can swap the folders. When the helper
// cannot start, nothing is left half-done: the staged folder goes and the lock is let go.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class ServiceLauncher;
namespace UpdateInstaller {
struct Outcome;
}

namespace UpdateHandOver {

// Starts `program` with `arguments` without waiting for it, handing `handOverFd` over as its descriptor 3;
// true when it runs.
using Start = std::function<bool(const QString& program, const QStringList& arguments, int handOverFd)>;

// Starts the helper in a session of its own with the program's environment, through `launcher`; without
// one it cannot start (and says so in the log).
Start inOwnSession(ServiceLauncher* launcher);

// Hands the prepared update of `prepared` to its helper through `start`: true once the helper holds the
// lock (this copy of it is let go). False when it did not start: the staged folder is removed and the
// lock let go, so the next attempt starts clean.
bool handOver(const UpdateInstaller::Outcome& prepared, const Start& start);

} // namespace UpdateHandOver
