// Starting, watching and signalling child processes: long-lived services, each started in a session of its
// own so that neither the program's end nor a Ctrl-C in its terminal reaches it, and short commands whose
// output is awaited.
#pragma once

#include <QtGlobal>

#include <QByteArrayList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

class ServiceLauncher {
public:
    struct Request {
        QString program;
        QStringList arguments;
        QString workingDir;
        QByteArrayList environment; // "NAME=value" entries, the whole environment of the child
        int outputFd = -1;          // becomes stdout and stderr; -1 keeps the program's own
        int handOverFd = -1;        // becomes descriptor 3 of the child; -1 passes nothing beyond 0-2
        int cancelFd = -1;          // collectOutput only: once readable, the run is abandoned
    };
    // How a collected child ended.
    struct Ended {
        bool failed = true;  // by a signal or with a status other than 0, or not seen
        int exitStatus = -1; // the status it exited with, or -1
        int signal = 0;      // the signal that ended it, or 0
    };
    struct Launched {
        qint32 pid = -1;
        int pidfd = -1; // readable once the process has ended; -1 when the kernel offers none
        QString error;  // set when pid is -1
    };

    ServiceLauncher() = default;
    virtual ~ServiceLauncher() = default;
    Q_DISABLE_COPY_MOVE(ServiceLauncher)

    // Starts `request.program`; the returned pidfd belongs to the caller.
    virtual Launched launch(const Request& request) = 0;
    // A descriptor that becomes readable when `pid` ends, or -1. The caller closes it.
    virtual int openPidfd(qint32 pid) = 0;
    // Collects an ended child of this program; true when `pid` is no longer running. When it was
    // collected here, `ended` (if given) tells how it ended; an end collected elsewhere, or never seen,
    // counts as failed with neither a status nor a signal.
    virtual bool reap(qint32 pid, Ended* ended) = 0;
    // Sends `sig`, through `pidfd` when one is given (immune to pid reuse), else by pid. Signal 0 only
    // asks whether the process exists and may be signalled.
    virtual bool signal(qint32 pid, int pidfd, int sig) = 0;
    // True once the process behind `pidfd` has ended; never blocks.
    virtual bool hasEnded(int pidfd) = 0;
    // Sends `sig` to every process of the process group `pgid`.
    virtual bool signalGroup(qint32 pgid, int sig) = 0;
    // Starts the log keeper `keeper` in a session of its own: it copies what arrives on a new pipe into
    // `logPath`, keeping that file under `capBytes` by dropping its oldest part. Returns the pipe's write
    // end (the caller's), or -1 when the keeper could not be started.
    virtual int startLogKeeper(const QString& keeper, const QString& logPath, qint64 capBytes) = 0;
    // Runs `request` to its end and returns all it wrote to stdout, or nothing when it could not start or
    // still runs at `deadline`. It leads a process group of its own (in this program's session), with
    // stdin and stderr on /dev/null; `outputFd` and `handOverFd` are not used. At the deadline the whole
    // group gets SIGTERM, and SIGKILL a moment later in the background, so the call returns at once.
    // Output left in the pipe by a background job of the command is not waited for. When `cancelFd`
    // becomes readable first, the group gets SIGTERM and, after a short grace, SIGKILL; the call returns
    // nothing once the command is collected. Blocks the calling thread; safe from several threads at once.
    virtual std::optional<QByteArray> collectOutput(const Request& request,
                                                    std::chrono::steady_clock::time_point deadline) = 0;
};
