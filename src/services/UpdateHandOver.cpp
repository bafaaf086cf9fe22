#include "services/UpdateHandOver.h"

#include "platform/ServiceLauncher.h"
#include "services/Log.h"
#include "services/Shell.h"
#include "services/UpdateInstaller.h"

#include <QFile>

#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace UpdateHandOver {

Start inOwnSession(ServiceLauncher* launcher) {
    return [launcher](const QString& program, const QStringList& arguments, int handOverFd) {
        if (!launcher) {
            Log::line(QStringLiteral("update: nothing to start %1 with").arg(program));
            return false;
        }
        ServiceLauncher::Request request;
        request.program = program;
        request.arguments = arguments;
        request.environment = Shell::childEnvironment({});
        request.handOverFd = handOverFd;
        const ServiceLauncher::Launched launched = launcher->launch(request);
        if (launched.pidfd >= 0)
            ::close(launched.pidfd);
        if (launched.pid <= 0)
            Log::line(QStringLiteral("update: cannot start %1: %2").arg(program, launched.error));
        return launched.pid > 0;
    };
}

bool handOver(const UpdateInstaller::Outcome& prepared, const Start& start) {
    const bool started =
        start(prepared.program, prepared.arguments, prepared.lock ? prepared.lock->get() : -1);
    if (!started && !prepared.staging.isEmpty()) {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(QFile::encodeName(prepared.staging).toStdString()),
                                    ignored);
    }
    // Started, the helper holds the lock now; this copy goes with the program. Not started, it is let go.
    if (prepared.lock)
        prepared.lock->reset();
    return started;
}

} // namespace UpdateHandOver
