// Test helper: a process that assigns settings the way the program does, for kills and quit signals.
//   defaults_host <file> assign <count> <pauseMicros> [<saveDelayMs> <padBytes>]
//                                                       assigns "k<i>" = i then "n" = i for i = 1..count,
//                                                       letting the event loop run between, prints
//                                                       "started" before the first and "done" after
//                                                       the last, then runs until killed; a short
//                                                       save delay and a large "pad" value keep the
//                                                       writer busy, so that a kill lands mid-write
//   defaults_host <file> quit-on-signal <count>         saves only when quitting, makes <count>
//                                                       assignments, prints "ready" and runs until
//                                                       SIGTERM or SIGINT ends its event loop
#include "platform/QuitSignals.h"
#include "services/Defaults.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

namespace {

void assign(Defaults& defaults, int i) {
    defaults.set(QStringLiteral("k%1").arg(i), i);
    defaults.set(QStringLiteral("n"), i);
}

void say(const char* word) {
    std::printf("%s\n", word);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return 2;
    const QString file = QString::fromLocal8Bit(argv[1]);
    const QByteArray mode = argv[2];
    const int count = QByteArray(argv[3]).toInt();
    Defaults defaults(file);

    if (mode == "assign" && argc >= 5) {
        const int pauseMicros = QByteArray(argv[4]).toInt();
        if (argc >= 7) {
            defaults.setSaveDelay(QByteArray(argv[5]).toInt());
            defaults.set(QStringLiteral("pad"), QString(QByteArray(argv[6]).toInt(), QLatin1Char('x')));
        }
        say("started");
        for (int i = 1; i <= count; ++i) {
            assign(defaults, i);
            ::usleep(useconds_t(pauseMicros)); // the pace of the writes is the input
            QCoreApplication::processEvents();
        }
        say("done");
        return app.exec();
    }
    if (mode == "quit-on-signal") {
        // As the program wires it: a quit signal ends the event loop, and the quit path saves.
        QuitSignals quitSignals;
        QObject::connect(&quitSignals, &QuitSignals::received, &app, &QCoreApplication::quit);
        Defaults::flushOnQuit(defaults, app);
        defaults.setSaveDelay(3'600'000);
        for (int i = 1; i <= count; ++i)
            assign(defaults, i);
        say("ready");
        const int code = app.exec();
        // What quitting saved, before the store's own end could save anything.
        return code == 0 && !defaults.hasPendingSave() ? 0 : 3;
    }
    return 2;
}
