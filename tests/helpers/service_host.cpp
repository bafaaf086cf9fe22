// Test helper: hosts a CommandsService the way the program does, to show that services outlive it.
//   service_host start <id>        starts the saved command and exits normally
//   service_host start-wait <id>   starts it, prints "started" and runs until signalled
//   service_host adopt-stop <id>   re-adopts it from the last run, stops it and waits for its end
#include "fakes/TestSupport.h"
#include "platform/posix/PosixServiceLauncher.h"
#include "platform/procfs/LinuxProcessTable.h"
#include "platform/qt/QtTickerFactory.h"
#include "services/AppPaths.h"
#include "services/CommandsService.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QUuid id = QUuid::fromString(QString::fromLocal8Bit(argv[2]));

    PosixServiceLauncher launcher;
    LinuxProcessTable table;
    QtTickerFactory tickers;
    CommandsService service({launcher, table, tickers}, TestSupport::folders().supportDir(),
                            TestSupport::folders().logsDir());
    service.waitForAdoption();
    std::optional<SavedCommand> cmd;
    for (const SavedCommand& c : service.commands()) {
        if (c.id == id)
            cmd = c;
    }
    if (!cmd)
        return 2;

    if (mode == "start" || mode == "start-wait") {
        service.start(*cmd);
        if (!service.runningIDs().contains(id))
            return 1;
        if (mode == "start")
            return 0;
        std::printf("started\n");
        std::fflush(stdout);
        return app.exec();
    }
    if (mode == "adopt-stop") {
        if (!service.runningIDs().contains(id)) {
            std::printf("not-adopted\n");
            return 3;
        }
        service.stop(*cmd);
        if (!TestSupport::waitUntil([&] { return !service.runningIDs().contains(id); }, 5000))
            return 4;
        std::printf("stopped%s\n", service.crashedIDs().contains(id) ? " crashed" : "");
        return service.crashedIDs().contains(id) ? 5 : 0;
    }
    return 2;
}
