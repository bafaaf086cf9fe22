// Process entry: refuses a second copy before touching the display, then hands the main thread to Qt.
#include "app/AppDelegate.h"
#include "platform/ExitDeadline.h"
#include "platform/FreeMemory.h"
#include "platform/QuitSignals.h"
#include "platform/SingleInstance.h"
#include "services/AppPaths.h"
#include "services/Defaults.h"
#include "services/LanguageService.h"
#include "services/Log.h"
#include "services/UpdateService.h"
#include "views/WebEngineLoader.h"

#include "QuillbayVersion.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <vector>

namespace {

constexpr auto bundleID = "com.farrowlight.quillbay";

// What the end of the process may take once the event loop has ended (the quit itself is at once).
constexpr std::chrono::milliseconds kShutdownBudget(1500);

// The island needs X11 (a global pointer, click-through, key grabs), so under a Wayland session it runs
// through XWayland. Chosen by argument rather than environment, so that programs started from here
// still pick their own platform. Holds the added words, since Qt may keep pointers into argv for the life
// of the application.
class QtArguments {
public:
    QtArguments(int argc, char* argv[])
        : m_args(argv, argv + argc) {
        const bool chosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
                            std::any_of(m_args.begin(), m_args.end(), [](const char* a) {
                                return std::strcmp(a, "-platform") == 0 || std::strcmp(a, "--platform") == 0;
                            });
        if (!chosen) {
            m_args.push_back(m_option);
            m_args.push_back(m_xcb);
        }
        m_count = int(m_args.size());
        m_args.push_back(nullptr);
    }
    Q_DISABLE_COPY_MOVE(QtArguments)

    // What QApplication takes: it may change the count and the words, as it removes the ones it reads.
    int& count() { return m_count; }
    char** words() { return m_args.data(); }

private:
    char m_option[10] = "-platform";
    char m_xcb[4] = "xcb";
    std::vector<char*> m_args;
    int m_count = 0;
};

} // namespace

int main(int argc, char* argv[]) {
    // First: every line below, down to the end of the process, is written as "[Quillbay] …".
    Log::useSystemOutput();
    limitRetainedFreeMemory();
    // Taken before QApplication so that a refused copy never connects to the display. Held until the
    // event loop ends.
    SingleInstance instance(QString::fromLatin1(bundleID));
    // Made when the event loop has ended; goes after everything below.
    std::optional<ExitDeadline> deadline;
    switch (instance.tryAcquire()) {
    case SingleInstance::Result::Acquired:
        break;
    case SingleInstance::Result::AlreadyRunning:
        Log::line(QStringLiteral("já existe uma instância rodando — encerrando esta."));
        return 0;
    case SingleInstance::Result::Failed:
        // Refusing to start over a broken lock folder would leave the user with nothing; run unguarded.
        Log::line(QStringLiteral("não foi possível verificar outra instância (%1) — iniciando mesmo assim.")
                      .arg(instance.error()));
        break;
    }

    // Before Qt reads where the program lives: a swap cut short may have left this copy as "X.old".
    UpdateService::restoreInstallFolder();

    // The folders are read from the environment once, here, and handed to whatever keeps files; the
    // earlier product's folders are taken over before any store is read.
    const AppPaths::Folders folders =
        AppPaths::Folders::fromEnvironment(QProcessEnvironment::systemEnvironment());
    AppPaths::prepareFolders(folders);

    WebEngineLoader::prepareProcess(folders.defaultsFile(QString::fromLatin1(bundleID)));
    QtArguments args(argc, argv);
    QApplication app(args.count(), args.words());
    QApplication::setApplicationName(QStringLiteral("Quillbay"));
    QApplication::setOrganizationName(QStringLiteral("com.farrowlight"));
    // What the usage report and every other reader of the application's version take.
    QApplication::setApplicationVersion(QStringLiteral(QUILLBAY_VERSION));
    app.setQuitOnLastWindowClosed(false);
    setWebPageFactory(WebEngineLoader::factory(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                                               QLatin1String(WebEngineLoader::kModuleName)));
    Defaults defaults(folders.defaultsFile(QString::fromLatin1(bundleID)));
    LanguageService::installTranslator(defaults, &app);

    // Ctrl-C and a service manager's stop end the event loop in order, so the quit path below runs. The
    // signal handler's pipe is the one piece of state the process keeps outside these objects.
    std::optional<QuitSignals> quitSignals(std::in_place);
    QObject::connect(&*quitSignals, &QuitSignals::received, &app, &QCoreApplication::quit);
    // Settings are saved in the background; whatever is pending reaches the disk before the process ends.
    Defaults::flushOnQuit(defaults, app);

    AppDelegate delegate(defaults, folders);
    QObject::connect(&delegate, &AppDelegate::terminateRequested, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    // The launch runs inside the event loop, so that ending the program from it works.
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);

    const int status = app.exec();

    // Quitting. A start from now on finds no other copy, a second SIGTERM ends the process at once, and
    // the rest of the end is bounded: cancelled work is not waited for beyond the budget.
    instance.release();
    quitSignals.reset();
    deadline.emplace(kShutdownBudget, status, [] {
        Log::line(QStringLiteral("a background task did not end in time; the process ends without it"));
    });
    delegate.cancelWork();
    return status;
}
